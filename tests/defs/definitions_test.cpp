// Loading the definition and limit files, and the attribute lookup.
#include "defs/definitions.h"

#include "defs/definition_check.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "base/ini.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Each test runs in a directory of its own, which is also the current
// directory (where the limit files are read).
class DefinitionsTest : public SimTest {
 protected:
  void SetUp() override {
    char cwd[1024];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = testing::TempDir() + "kestrel_" + info->name();
    std::remove((dir_ + "/error.dat").c_str());
    std::remove((dir_ + "/warning.dat").c_str());
    std::remove((dir_ + "/Smart.dat").c_str());
#ifdef _WIN32
    (void)std::system(("mkdir \"" + dir_ + "\" 2>NUL").c_str());
#else
    (void)std::system(("mkdir -p '" + dir_ + "'").c_str());
#endif
    ASSERT_EQ(chdir(dir_.c_str()), 0) << dir_;
    Install("");
  }
  void TearDown() override {
    ReleaseDefinitions();
    ASSERT_EQ(chdir(oldDir_.c_str()), 0);
  }

  // Writes `text` as the definition file and loads it through "/d".
  void Load(std::string_view text) {
    WriteFile(dir_ + "/defs.ini", text);
    sim->SetCommandLine("kestrel /d \"" + dir_ + "/defs.ini\"");
    LoadDefinitions();
  }

  DriveAttribute Define(int id, const char* model) {
    DriveAttribute slot{};
    slot.id = static_cast<std::uint8_t>(id);
    DefineAttribute(slot, model);
    return slot;
  }

  std::string dir_;
  std::string oldDir_;
};

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
[LOOP1]
Alias=LOOP2
[LOOP2]
Alias=LOOP1
[SELF]
Alias=SELF
)";

TEST_F(DefinitionsTest, LongestLeadingPartThatDefinesTheIdWins) {
  Load(kModels);
  EXPECT_STREQ(Define(0x09, "ABC77").name, "ABC nine");
  EXPECT_STREQ(Define(0x09, "ABC77").meaning, "ABC meaning");
  EXPECT_STREQ(Define(0x05, "ABC77").name, "Default five");
}

TEST_F(DefinitionsTest, AliasContinuesTheLookupUnderAnotherName) {
  Load(kModels);
  EXPECT_STREQ(Define(0x05, "ABC123").name, "Own five");
  EXPECT_STREQ(Define(0x09, "ABC123").name, "XY nine") << "XYZ, then its part XY";
}

TEST_F(DefinitionsTest, DefaultDriveAliasInAnyCaseSkipsShorterNames) {
  Load(kModels);
  EXPECT_STREQ(Define(0x09, "QQ1").name, "Default nine") << "empty 09 counts as absent";
  EXPECT_STREQ(Define(0x09, "QQ2").name, "QQ nine");
}

TEST_F(DefinitionsTest, AliasCyclesEnd) {
  Load(kModels);
  EXPECT_STREQ(Define(0x09, "LOOP1").name, "Default nine");
  EXPECT_STREQ(Define(0x09, "SELF").name, "Default nine");
}

TEST_F(DefinitionsTest, EmptyModelAndUnknownIdFallBack) {
  Load(kModels);
  EXPECT_STREQ(Define(0x09, "").name, "Default nine");
  DriveAttribute unknown = Define(0xAA, "ABC123");
  EXPECT_STREQ(unknown.name, "不明な属性");
  EXPECT_STREQ(unknown.meaning, "");
  EXPECT_STREQ(unknown.rawFormat, "");
  EXPECT_EQ(unknown.rawMask, 0u);
}

TEST_F(DefinitionsTest, FieldsAreSplitByWholeCharactersAndCut) {
  // ポ is 0x83 0x7C: its second byte is a "|" that must not split.
  std::string longName(70, 'n');
  std::string longMeaning(300, 'm');
  Load("[Default Drive]\n01=ポ名|ポ意味\n02=" + longName + "|" + longMeaning + "\n03=Name only\n");
  EXPECT_STREQ(Define(0x01, "M").name, "ポ名");
  EXPECT_STREQ(Define(0x01, "M").meaning, "ポ意味");
  EXPECT_EQ(std::string(Define(0x02, "M").name), longName.substr(0, 64));
  EXPECT_EQ(std::string(Define(0x02, "M").meaning), longMeaning.substr(0, 256));
  EXPECT_STREQ(Define(0x03, "M").name, "Name only");
  EXPECT_STREQ(Define(0x03, "M").meaning, "");
}

TEST_F(DefinitionsTest, SectionIndexIsSortedAndSearchedAlike) {
  Load("[b]\n[A]\n[ｱ]\n[ab]\n[Default Drive]\n");
  const std::vector<const char*>& names = TheDriveTable().sectionNames.sorted;
  ASSERT_EQ(names.size(), 5u);
  for (std::size_t i = 1; i < names.size(); ++i) {
    EXPECT_LT(MbsICompare(names[i - 1], names[i]), 0);
  }
  EXPECT_TRUE(HasSection("a"));
  EXPECT_TRUE(HasSection("AB"));
  EXPECT_TRUE(HasSection("ｱ"));
  EXPECT_TRUE(HasSection("default drive"));
  EXPECT_FALSE(HasSection("c"));
  EXPECT_FALSE(HasSection(""));
}

TEST_F(DefinitionsTest, FileWithoutSectionsStillAnswersEveryLookup) {
  Load("; nothing\n");
  EXPECT_TRUE(HasSection("anything"));
  EXPECT_STREQ(Define(0x09, "ABC").name, "不明な属性");
}

TEST_F(DefinitionsTest, LevelsKeepTheirLowEightBits) {
  Load("[Error Level]\nError=300\nWarning=-3\n");
  EXPECT_EQ(TheDriveTable().errorLevel, 44);
  EXPECT_EQ(TheDriveTable().warningLevel, -3);
  Load("[Other]\n");
  EXPECT_EQ(TheDriveTable().errorLevel, 0);
  EXPECT_EQ(TheDriveTable().warningLevel, 5);
}

TEST_F(DefinitionsTest, LimitFilesReplaceOnlyTheBytesTheyHave) {
  WriteFile("error.dat", std::string(10, '\xCE'));  // -50
  WriteFile("warning.dat", std::string(10000, '\x02'));
  Load("");
  const DriveTable& t = TheDriveTable();
  EXPECT_EQ(t.errorLimits[0], -50);
  EXPECT_EQ(t.errorLimits[9], -50);
  EXPECT_EQ(t.errorLimits[10], 1);
  EXPECT_EQ(t.warningLimits[255], 2);
  std::remove("error.dat");
  std::remove("warning.dat");
  Load("");
  EXPECT_EQ(t.errorLimits[0], 1);
  EXPECT_EQ(t.warningLimits[0], 15);
}

TEST_F(DefinitionsTest, OptionChoosesTheFileAndFallsBackToTheSearch) {
  WriteFile(dir_ + "/foo.ini", "[Default Drive]\n01=From foo\n");
  WriteFile(dir_ + "/Smart.dat", "[Default Drive]\n01=From Smart\n");

  sim->SetCommandLine("kestrel /D\"" + dir_ + "/foo.ini\"");
  LoadDefinitions();
  EXPECT_STREQ(Define(0x01, "M").name, "From foo");

  sim->SetCommandLine("kestrel /dfoo.ini");  // a bare name: searched for
  LoadDefinitions();
  EXPECT_STREQ(Define(0x01, "M").name, "From foo");

  sim->SetCommandLine("kestrel /d \"" + dir_ + "/missing.ini\"");
  LoadDefinitions();
  EXPECT_STREQ(Define(0x01, "M").name, "From Smart");

  std::remove((dir_ + "/Smart.dat").c_str());
  sim->SetCommandLine("kestrel");
  LoadDefinitions();
  EXPECT_STREQ(TheDriveTable().definitionPath, "smart.dat");
  EXPECT_STREQ(Define(0x01, "M").name, "不明な属性");
}

TEST_F(DefinitionsTest, CommentComesOnlyFromTheWholeModelSection) {
  std::string comment(300, 'c');
  WriteFile(dir_ + "/defs.ini", "[ABC]\nComment=Family\n[ABC123]\nComment=" + comment + "\n");
  std::string scenario = "[Drive0]\nModel = ABC123\n[Drive1]\nModel = ABC124\n";
  Install(scenario);
  sim->SetCommandLine("kestrel /d \"" + dir_ + "/defs.ini\"");
  ScanDrives(nullptr, nullptr);
  EXPECT_EQ(std::string(Drive(0).comment), comment.substr(0, 256));
  EXPECT_STREQ(Drive(1).comment, "");
  ShutdownDrives();
}

// The shipped files, written by the build from data/src: every definition
// parses without a fault, the limits are those of the readable table, and
// every attribute of the demo drives has a name.
TEST_F(DefinitionsTest, ShippedDefinitionsLoadCleanlyAndNameTheDemoDrives) {
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

  sim->SetCommandLine("kestrel /d \"" + built + "smart.dat\"");
  LoadDefinitions();
  IniFile definitions;
  ASSERT_TRUE(definitions.Load(built + "smart.dat"));
  int defined = 0;
  for (const IniSection& section : definitions.sections()) {
    for (const IniEntry& e : section.entries) {
      if (e.key.size() != 2) continue;
      int id = static_cast<int>(std::strtol(std::string(e.key).c_str(), nullptr, 16));
      DriveAttribute slot = Define(id, std::string(section.name).c_str());
      EXPECT_NE(slot.rawFormat[0], '\0') << section.name << " " << e.key;
      ++defined;
    }
  }
  EXPECT_GE(defined, 40);
  EXPECT_TRUE(sink.boxes.empty()) << sink.boxes[0].text;

  Scenario demo;
  std::string parseError;
  ASSERT_TRUE(LoadScenario(KESTREL_SOURCE_DIR "/data/demo.scenario", &demo, &parseError));
  for (const SimDriveState& d : demo.epochs[0].drives) {
    if (!d.defined || d.packet) continue;
    char model[41];
    for (int i = 0; i < 20; ++i) {
      model[2 * i] = static_cast<char>(d.identify[2 * (27 + i) + 1]);
      model[2 * i + 1] = static_cast<char>(d.identify[2 * (27 + i)]);
    }
    model[40] = '\0';
    for (int i = 39; i >= 0 && model[i] == ' '; --i) model[i] = '\0';
    for (int e = 0; e < 30 && d.data[2 + 12 * e] != 0; ++e) {
      DriveAttribute slot = Define(d.data[2 + 12 * e], model);
      EXPECT_STRNE(slot.name, "不明な属性") << model << " " << e;
    }
  }
}

TEST_F(DefinitionsTest, CheckFindsFaultsAndSilentMistakesWithTheirLines) {
  WriteFile(dir_ + "/check.ini",
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
            "Colour=red\n");
  sim->SetCommandLine("kestrel /d \"" + dir_ + "/check.ini\"");
  std::vector<DefinitionProblem> problems = CheckDefinitions(dir_ + "/check.ini");
  ASSERT_EQ(problems.size(), 5u);
  EXPECT_EQ(problems[0].line, 3);
  EXPECT_EQ(problems[0].text,
            "モデルナンバDefault Drive(Default Drive)の属性02のロウデータフォーマットの"
            "分割数が7を超えています.");
  EXPECT_EQ(problems[1].line, 5);
  EXPECT_EQ(problems[1].text, "Aliasのセクション[NOWHERE]がありません.");
  EXPECT_EQ(problems[2].line, 8);
  EXPECT_EQ(problems[2].text, "Aliasが循環しています.");
  EXPECT_EQ(problems[3].line, 10);
  EXPECT_EQ(problems[4].line, 11);
  EXPECT_EQ(problems[4].text, "キーColourは属性IDではありません.");
  EXPECT_TRUE(sink.notes.empty()) << "nothing reaches the installed sink";
}

}  // namespace
}  // namespace kestrel
