// Loading the definition and limit files, and the attribute lookup.
#include "defs/definitions.h"

#include <cstdio>

#include "base/command_line.h"
#include "base/cp932.h"
#include "base/ini.h"
#include "defs/definition_check.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr char kModels[] = R"(
[Default Drive]
05=Default five
09=Default nine|Default meaning
[ABC]
09=ABC nine|ABC meaning
[ABC123]
05=Own five
Alias=XYZ
[XY]
09=XY nine
[QQ1]
09=
Alias=dEfAuLt DrIvE
[QQ]
09=QQ nine
[Error Level]
Error=300
Warning=-3
[b]
[ｱ]
[ab]
)";

// A meaning and a comment are cut to 256 bytes (a name's cut is in
// tests/faults/hostile_input_test.cpp); the comment comes only from the
// section of the whole model number. Repeated sections merge.
TEST_F(DefinitionFileTest, LookupByLeadingPartsAliasesAndTheDefaultDrive) {
  const std::string text(300, 't');
  Install("[Drive0]\nModel = ABC123\n[Drive1]\nModel = ABC124\n");
  Load(kModels + ("[Default Drive]\n01=N|" + text +
                  "\n[ABC]\nComment=Family\n[ABC123]\nComment=" + text + "\n"));
  struct Case {
    int id;
    const char* model;
    const char* name;
    const char* meaning;
  };
  const Case cases[] = {
      // The longest leading part of the model that defines the id wins.
      {0x09, "ABC77", "ABC nine", "ABC meaning"},
      {0x05, "ABC77", "Default five", ""},
      // An alias continues the lookup under another name and its parts.
      {0x05, "ABC123", "Own five", ""},
      {0x09, "ABC123", "XY nine", ""},
      // An empty value counts as absent; an alias of the default drive, in
      // any case, skips the shorter names.
      {0x09, "QQ1", "Default nine", "Default meaning"},
      {0x09, "QQ2", "QQ nine", ""},
      // Alias loops are in tests/faults/hostile_input_test.cpp.
      {0x09, "", "Default nine", "Default meaning"},
      {0xAA, "ABC123", "不明な属性", ""},
  };
  for (const Case& c : cases) {
    const DriveAttribute slot = Define(c.id, c.model);
    EXPECT_STREQ(slot.name, c.name) << c.id << " " << c.model;
    EXPECT_STREQ(slot.meaning, c.meaning) << c.id << " " << c.model;
  }
  // The section index is sorted and searched alike, ignoring case.
  const std::vector<const char*>& names = TheDriveTable().sectionNames.sorted;
  ASSERT_EQ(names.size(), 10u);
  for (std::size_t i = 1; i < names.size(); ++i) EXPECT_LT(MbsICompare(names[i - 1], names[i]), 0);
  for (const char* name : {"B", "AB", "ｱ", "default drive"}) EXPECT_TRUE(HasSection(name)) << name;
  EXPECT_FALSE(HasSection("c"));
  EXPECT_FALSE(HasSection(""));
  // Only the low eight bits of a level count.
  EXPECT_EQ(TheDriveTable().errorLevel, 44);
  EXPECT_EQ(TheDriveTable().warningLevel, -3);
  EXPECT_EQ(Define(0x01, "M").meaning, text.substr(0, 256));
  ScanDrives(nullptr, nullptr);
  EXPECT_EQ(std::string(Drive(0).comment), text.substr(0, 256));
  EXPECT_STREQ(Drive(1).comment, "");
  ShutdownDrives();
  // A file without sections answers every lookup with the unknown name,
  // and its levels are the defaults again.
  Load("; nothing\n");
  EXPECT_TRUE(HasSection("anything"));
  EXPECT_STREQ(Define(0x09, "ABC").name, "不明な属性");
  EXPECT_EQ(TheDriveTable().errorLevel, 0);
  EXPECT_EQ(TheDriveTable().warningLevel, 5);
}

TEST_F(DefinitionFileTest, LimitFilesReplaceOnlyTheBytesTheyHave) {
  WriteFile("error.dat", std::string(10, '\xCE'));       // -50
  WriteFile("warning.dat", std::string(10000, '\x02'));  // the first 256 bytes count
  Load("");
  const DriveTable& t = TheDriveTable();
  EXPECT_EQ(t.errorLimits[9], -50);
  EXPECT_EQ(t.errorLimits[10], 1);
  EXPECT_EQ(t.warningLimits[255], 2);
  WriteFile("error.dat", "");  // empty: the defaults, as without a file
  std::remove("warning.dat");
  Load("");
  EXPECT_EQ(t.errorLimits[0], 1);
  EXPECT_EQ(t.warningLimits[0], 15);
}

// "/d" names a path, or a bare name that is searched for; without a usable
// value (no such file, a path too long to hold) Smart.dat is searched for,
// and without one the name is smart.dat.
TEST_F(DefinitionFileTest, OptionChoosesTheFileAndFallsBackToTheSearch) {
  const std::string dir = dir_.root().string() + "/";
  const std::string over = dir + std::string(kMaxOptionValue + 1 - dir.size(), 'f');
  WriteFile(dir + "foo.ini", "[Default Drive]\n01=From foo\n");
  WriteFile(over.substr(0, kMaxOptionValue), "[Default Drive]\n01=Cut\n");
  WriteFile(dir + "Smart.dat", "[Default Drive]\n01=From Smart\n");
  const std::pair<std::string, const char*> cases[] = {
      {"/D\"" + dir + "foo.ini\"", "From foo"},
      {"/dfoo.ini", "From foo"},
      {"/d \"" + dir + "missing.ini\"", "From Smart"},
      {"/d " + over, "From Smart"},
  };
  for (const auto& [option, name] : cases) {
    sim->SetCommandLine("kestrel " + option);
    LoadDefinitions();
    EXPECT_STREQ(Define(0x01, "M").name, name) << option;
  }
  std::remove((dir + "Smart.dat").c_str());
  sim->SetCommandLine("kestrel");
  LoadDefinitions();
  EXPECT_STREQ(TheDriveTable().definitionPath, "smart.dat");
  EXPECT_STREQ(Define(0x01, "M").name, "不明な属性");
}

// The shipped files, written by the build from data/src: the limits are
// those of the readable table, and every attribute of the demo drives has
// a name (that smart.dat passes the check is the test
// shipped_definitions_check).
TEST_F(DefinitionFileTest, ShippedLimitsAndDefinitionsNameTheDemoDrives) {
  const std::string built = KESTREL_BINARY_DIR "/";
  IniFile limits;
  ASSERT_TRUE(limits.Load(KESTREL_SOURCE_DIR "/data/src/limits.ini"));
  std::string error = ReadFile(built + "error.dat");
  std::string warning = ReadFile(built + "warning.dat");
  ASSERT_EQ(error.size(), 256u);
  ASSERT_EQ(warning.size(), 256u);
  for (int id = 0; id < 256; ++id) {
    char key[3];
    std::snprintf(key, sizeof key, "%02X", id);
    EXPECT_EQ(static_cast<std::int8_t>(error[id]), limits.GetInt("Error", key, 1)) << key;
    EXPECT_EQ(static_cast<std::int8_t>(warning[id]), limits.GetInt("Warning", key, 15)) << key;
  }

  Install(ReadFile(KESTREL_SOURCE_DIR "/data/demo.scenario"));
  sim->SetCommandLine("kestrel /d \"" + built + "smart.dat\"");
  ScanDrives(nullptr, nullptr);
  RereadSmart(0x3FF);
  for (const DriveRecord& r : TheDriveTable().records) {
    for (int i = 0; i < r.attributeCount; ++i) {
      EXPECT_STRNE(r.attributes[i].name, "不明な属性") << r.modelNumber << " " << i;
    }
  }
  ShutdownDrives();
}

// Faults, and mistakes that loading passes over in silence.
TEST_F(DefinitionFileTest, CheckFindsFaultsAndSilentMistakesWithTheirLines) {
  const std::string check = (dir_.root() / "check.ini").string();
  WriteFile(check,
            "[Default Drive]\n"
            "01=Fine|ok|,,,\"#\"\n"
            "02=Bad|count|,,7,\"#\"\n"
            "[A]\n"
            "Alias=NOWHERE\n"
            "Comment=fine\n"
            "[B]\n"
            "Alias=C\n"
            "[C]\n"
            "Alias=B\n"
            "Colour=red\n"
            "[ST3]\n"
            "01=Errors|m|,,2,4294967296,\"#\"\n"
            "05.Count=1,50\n"
            "[F]\n"
            "Alias=G\n"
            "[G]\n"
            "Comment=never shown\n"
            "C5.Count=some\n"
            "[G100]\n"
            "Comment=shown\n");
  sim->SetCommandLine("kestrel /d \"" + check + "\"");
  std::vector<std::string> found;
  for (const DefinitionProblem& p : CheckDefinitions(check)) {
    found.push_back(std::to_string(p.line) + " " + p.text);
  }
  EXPECT_EQ(found,
            (std::vector<std::string>{
                "3 モデルナンバDefault Drive(Default Drive)の属性02のロウデータ"
                "フォーマットの分割数が7を超えています.",
                "5 Aliasのセクション[NOWHERE]がありません.", "8 Aliasが循環しています.",
                "10 Aliasが循環しています.", "11 キーColourは属性IDではありません.",
                "13 ロウデータフォーマットの数値4294967296は32ビットの符号付き整数に収まりません.",
                "18 このセクションのCommentは表示されることがありません.",
                "19 キーC5.Countの値は件数(警告,エラー)ではありません."}));
  EXPECT_TRUE(sink.notes.empty()) << "nothing reaches the installed sink";
  // Its table holds no handle: 0 would be standard input to a later close.
  for (const DriveRecord& r : TheDriveTable().records) EXPECT_EQ(r.handle, kInvalidDeviceHandle);
}

}  // namespace
}  // namespace kestrel
