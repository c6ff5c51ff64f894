// Hostile inputs, each with a clear outcome and nothing lost: huge and
// broken definition files, alias cycles, long command lines and option
// values. The big inputs are written at run time into the test's own
// directory.
#include <cstdio>
#include <string>

#include "app/log_option.h"
#include "base/command_line.h"
#include "defs/definitions.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr char kUnknown[] = "不明な属性";

// Each test loads its definitions from a directory of its own.
using HostileInputTest = DefinitionFileTest;

TEST_F(HostileInputTest, TwoHundredThousandSectionsAreAllFound) {
  std::string text = "[Default Drive]\n09=Default nine\n";
  char line[64];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(line, sizeof line, "[M%06d]\n05=Five %d\n", i, i);
    text += line;
  }
  Load(text);
  EXPECT_EQ(TheDriveTable().sectionNames.sorted.size(), 200001u);
  for (int i : {0, 1, 99999, 123456, 199999}) {
    std::snprintf(line, sizeof line, "M%06dXYZ", i);
    EXPECT_EQ(Name(5, line), "Five " + std::to_string(i));
    EXPECT_TRUE(HasSection(std::string(line, 7)));
    EXPECT_EQ(Name(9, line), "Default nine");
  }
  EXPECT_FALSE(HasSection("M200000"));
  EXPECT_EQ(Name(5, "m000007"), "Five 7") << "case folded";
}

// 50 MB of lines of 100 kB: a long name, comments, a long section name,
// many long values; what follows them is read as ever.
TEST_F(HostileInputTest, FiftyMegabytesOfHundredKilobyteLines) {
  const std::string big(100000, 'n');
  std::string text;
  text.reserve(51 << 20);
  text += "[Default Drive]\n01=" + big + "|" + big + "\n";
  text += "[" + std::string(100000, 's') + "]\n05=Long section\n";
  text += "[FILL]\n";
  for (int i = 0; text.size() < 50'000'000; ++i) {
    text += (i % 2 ? ";" : "K" + std::to_string(i) + "=") + big + "\n";
  }
  text += "[LAST]\n09=Last nine|Still here\n";
  Load(text);
  EXPECT_EQ(Name(1, "X"), std::string(64, 'n'));
  EXPECT_TRUE(HasSection(std::string(100000, 's')));
  EXPECT_TRUE(HasSection("fill"));
  EXPECT_EQ(Name(9, "LAST ONE"), "Last nine");
}

TEST_F(HostileInputTest, NulBytesAndLoneLeadBytes) {
  using namespace std::string_literals;
  Load(
      "[Default Drive]\n"
      "01=Na\0me|Meaning\n"s      // the value ends at its NUL byte
      "02=Name\x82\n"             // a lone lead byte ends the value
      "03=N\x82|M\n"              // the lead byte takes the bar
      "[A\0B]\n05=Nul header\n"s  // no model number holds a NUL byte
      "[AB\x82]\n"                // the lead byte takes the "]": no header
      "06=Under the broken header\n"
      "[C\x82]x]\n07=Second byte\n"
      "[AL]\nAlias=LAST\x82\n"  // a lone lead byte ends the alias
      "[LAST]\n09=Last nine\n");
  const DriveAttribute slot = Define(1, "X");
  EXPECT_STREQ(slot.name, "Na");
  EXPECT_STREQ(slot.meaning, "");
  EXPECT_EQ(Name(2, "X"), "Name\x82");
  EXPECT_EQ(Name(3, "X"), "N\x82|M");
  EXPECT_EQ(Name(5, "A"), kUnknown);
  EXPECT_EQ(Name(5, "AB"), kUnknown);
  EXPECT_FALSE(HasSection("AB\x82"));
  EXPECT_EQ(Name(6, "AB\x82"), kUnknown) << "the line went to the section before";
  EXPECT_EQ(Name(7, "C\x82]x"), "Second byte");
  // Shortened byte by byte, "LAST\x82" becomes "LAST".
  EXPECT_EQ(Name(9, "AL"), "Last nine");
  EXPECT_EQ(Name(9, "LAST\x82"), "Last nine");
}

TEST_F(HostileInputTest, AliasCyclesAndChainsOfEveryLengthUpTo40) {
  std::string text = "[Default Drive]\n09=Default nine\n";
  for (int n = 1; n <= 40; ++n) {
    for (int i = 0; i < n; ++i) {
      const std::string at = std::to_string(n) + "_" + std::to_string(i);
      const std::string next = std::to_string(n) + "_" + std::to_string(i + 1);
      text += "[CYCLE" + at + "]\nAlias=CYCLE" + std::to_string(n) + "_" +
              std::to_string((i + 1) % n) + "\n";
      text += "[CHAIN" + at + "]\n" +
              (i + 1 < n ? "Alias=CHAIN" + next : "09=Chain " + std::to_string(n)) + "\n";
    }
  }
  Load(text);
  for (int n = 1; n <= 40; ++n) {
    const std::string first = std::to_string(n) + "_0";
    EXPECT_EQ(Name(9, ("CYCLE" + first).c_str()), "Default nine") << n;
    EXPECT_EQ(Name(9, ("CHAIN" + first).c_str()), "Chain " + std::to_string(n)) << n;
  }
}

TEST_F(HostileInputTest, LongCommandLinesAndOptionValues) {
  const std::string defs = (dir_.root() / "defs.ini").string();
  WriteFile(defs, "[Default Drive]\n09=From the file\n");
  std::string junk;
  for (int i = 0; i < 50000; ++i) junk += i % 7 ? "x" : " /";
  // 100 kB before the option: found all the same.
  sim->SetCommandLine("kestrel " + junk + " /d \"" + defs + "\"" + junk);
  LoadDefinitions();
  EXPECT_EQ(TheDriveTable().definitionPath, defs);

  // A path of 259 bytes is taken; one of 260 is refused, not cut, and the
  // definition file is searched for as without the option.
  const std::string base = dir_.root().string() + "/";
  const std::string fits = base + std::string(kMaxOptionValue - base.size(), 'f');
  const std::string over = base + std::string(kMaxOptionValue + 1 - base.size(), 'f');
  ASSERT_EQ(fits.size(), 259u);
  WriteFile(fits, "[Default Drive]\n09=Fits\n");
  WriteFile(over, "[Default Drive]\n09=Over\n");
  sim->SetCommandLine("kestrel /d \"" + fits + "\"");
  LoadDefinitions();
  EXPECT_EQ(Name(9, "M"), "Fits");
  sim->SetCommandLine("kestrel /d \"" + over + "\"");
  LoadDefinitions();
  EXPECT_NE(TheDriveTable().definitionPath, over);
  EXPECT_NE(Name(9, "M"), "Over");

  // A log name of 300 double-byte bytes is refused; the message shows its
  // first 258 bytes, cut between characters.
  MonitorState state{};
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "表";
  OpenLogFromCommandLine("kestrel /l " + wide, state, nullptr);
  EXPECT_EQ(state.logFile, nullptr);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "ログファイル" + wide.substr(0, 258) + "がオープンできません.");
  // 100 kB of line and then the log: opened.
  OpenLogFromCommandLine("kestrel " + junk + " /l\"" + base + "x.log\"", state, nullptr);
  EXPECT_NE(state.logFile, nullptr);
  CloseLog(state);
}

}  // namespace
}  // namespace kestrel
