// The command line's options as "/l" and "/d" find them, and what the log
// option does with its value.
#include "app/log_option.h"

#include <tuple>

#include "base/command_line.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// An option is a "/" after a blank, found by whole characters; the first
// one counts; a value of more than 259 bytes is refused, not cut.
TEST(CommandLineOption, FoundAfterABlankByWholeCharacters) {
  std::string junk;
  for (int i = 0; i < 50000; ++i) junk += i % 7 ? "x" : " /";
  const std::string fits(kMaxOptionValue, 'f');
  struct Case {
    std::string line;
    bool found, tooLong;
    std::string value;
  };
  const Case cases[] = {
      {"prog.exe /Lfile", true, false, "file"},
      {"prog.exe   /l \"a b.txt\" x", true, false, "a b.txt"},
      {"prog.exe /l \"a b.txt", true, false, "a b.txt"},
      {"prog.exe /d x.dat\t/l first /l other.txt", true, false, "first"},
      {"prog.exe /l", true, false, ""},
      {"prog.exe x/lfile", false, false, ""},
      {"C:/Tools/prog.exe", false, false, ""},
      {"prog.exe \x81 /lfile", false, false, ""},  // the lead byte takes the blank
      {"prog.exe " + junk + " /l\"file\"" + junk, true, false, "file"},
      {"prog.exe /l " + fits, true, false, fits},
      {"prog.exe /l " + fits + "g", true, true, fits},
  };
  for (const Case& c : cases) {
    const CommandLineOption o = FindCommandLineOption(c.line, 'l');
    EXPECT_EQ(std::tie(o.found, o.tooLong), std::tie(c.found, c.tooLong)) << c.line.substr(0, 40);
    EXPECT_EQ(o.value, c.value) << c.line.substr(0, 40);
  }
}

// That an opened log keeps and counts what it held is checked where the
// monitor writes into it (tests/report, tests/faults).
class LogOptionTest : public SimTest {
 protected:
  void SetUp() override { Install(""); }
  void TearDown() override { CloseLog(state_); }

  bool Opens(const std::string& commandLine) {
    CloseLog(state_);
    OpenLogFromCommandLine(commandLine, state_, nullptr);
    return state_.logFile != nullptr;
  }

  TestDirectory dir_;
  const std::string dir = dir_.root().string() + "/";
  MonitorState state_{};
};

// A name of 300 double-byte bytes is shown by its first 258 bytes, cut
// between characters.
TEST_F(LogOptionTest, MissingUnopenableOrOverlongNameShowsItsBox) {
  EXPECT_FALSE(Opens("prog.exe /l"));
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "/lオプションにファイルが指定されてません.");
  EXPECT_EQ(sink.boxes[0].caption, "Kestrelハードディスク故障診断プログラム");
  EXPECT_EQ(sink.boxes[0].style, 0x40);

  const std::string missing = dir + "no_such_dir/x.log";
  EXPECT_FALSE(Opens("prog.exe /l " + missing));
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "表";
  EXPECT_FALSE(Opens("prog.exe /l " + wide));
  ASSERT_EQ(sink.boxes.size(), 3u);
  EXPECT_EQ(sink.boxes[1].text, "ログファイル" + missing + "がオープンできません.");
  EXPECT_EQ(sink.boxes[1].style, 0x20);
  EXPECT_EQ(sink.boxes[2].text, "ログファイル" + wide.substr(0, 258) + "がオープンできません.");
}

}  // namespace
}  // namespace kestrel
