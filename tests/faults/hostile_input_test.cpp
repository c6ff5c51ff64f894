// Hostile definition files, each with a clear outcome and nothing lost:
// huge ones, broken bytes, alias cycles and chains. The big inputs are
// written at run time into the test's own directory. Over-long command
// lines and option values are in tests/app/log_option_test.cpp.
#include <cstdio>
#include <string>

#include "defs/definitions.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr char kUnknown[] = "不明な属性";

using HostileInputTest = DefinitionFileTest;

// 200000 sections, then 50 MB of lines of 100 kB: a long name, comments,
// a long section name, many long values. Every section is found, and what
// follows them is read as ever.
TEST_F(HostileInputTest, TwoHundredThousandSectionsAndFiftyMegabytesOfLongLines) {
  const std::string big(100000, 'n');
  std::string text;
  text.reserve(51 << 20);
  text += "[Default Drive]\n01=" + big + "|" + big + "\n09=Default nine\n";
  char line[64];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(line, sizeof line, "[M%06d]\n05=Five %d\n", i, i);
    text += line;
  }
  text += "[" + std::string(100000, 's') + "]\n05=Long section\n[FILL]\n";
  for (int i = 0; text.size() < 50'000'000; ++i) {
    if (i % 2 == 0) text.append("K").append(std::to_string(i));
    text.append(i % 2 ? ";" : "=").append(big).append("\n");
  }
  text += "[LAST]\n09=Last nine|Still here\n";
  Load(text);
  EXPECT_EQ(TheDriveTable().sectionNames.sorted.size(), 200004u);
  for (int i : {0, 99999, 199999}) {
    std::snprintf(line, sizeof line, "m%06dXYZ", i);
    EXPECT_EQ(Name(5, line), "Five " + std::to_string(i));
    EXPECT_EQ(Name(9, line), "Default nine");
  }
  EXPECT_FALSE(HasSection("M200000"));
  EXPECT_EQ(Name(1, "X"), std::string(64, 'n'));
  EXPECT_TRUE(HasSection(std::string(100000, 's')));
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
  // Shortened byte by byte, "LAST\x82" becomes "LAST".
  EXPECT_EQ(Name(9, "AL"), "Last nine");
  EXPECT_EQ(Name(9, "LAST\x82"), "Last nine");
}

// Cycles end at the default drive; chains are followed to their end.
TEST_F(HostileInputTest, AliasCyclesAndChainsOfEveryLengthUpTo40) {
  std::string text = "[Default Drive]\n09=Default nine\n";
  for (int n = 1; n <= 40; ++n) {
    const std::string at = std::to_string(n) + "_";
    for (int i = 0; i < n; ++i) {
      text += "[CYCLE" + at + std::to_string(i) + "]\nAlias=CYCLE" + at +
              std::to_string((i + 1) % n) + "\n[CHAIN" + at + std::to_string(i) + "]\n" +
              (i + 1 < n ? "Alias=CHAIN" + at + std::to_string(i + 1) : "09=Chain " + at) + "\n";
    }
  }
  Load(text);
  for (int n = 1; n <= 40; ++n) {
    const std::string at = std::to_string(n) + "_";
    EXPECT_EQ(Name(9, ("CYCLE" + at + "0").c_str()), "Default nine") << n;
    EXPECT_EQ(Name(9, ("CHAIN" + at + "0").c_str()), "Chain " + at) << n;
  }
}

}  // namespace
}  // namespace kestrel
