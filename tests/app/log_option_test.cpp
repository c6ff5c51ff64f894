// The "/l" option: which command lines open a log, and what a log keeps.
// Over-long names are in tests/faults/hostile_input_test.cpp.
#include "app/log_option.h"

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

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

TEST_F(LogOptionTest, CommandLinesThatOpenALogAndSlashesThatAreNoOption) {
  const std::string log = dir + "log.txt";
  EXPECT_TRUE(Opens("prog.exe /L" + log));
  EXPECT_TRUE(Opens("prog.exe /l \"" + dir + "a b.txt\""));
  EXPECT_TRUE(Opens("prog.exe   /l " + log));
  EXPECT_TRUE(Opens("prog.exe /l \"" + dir + "a b.txt"));
  EXPECT_TRUE(Opens("prog.exe /d x.dat /l " + log + " /l other.txt"));

  EXPECT_FALSE(Opens("prog.exe x/l" + log));
  EXPECT_FALSE(Opens("C:/Tools/prog.exe"));
  // A lead byte takes the blank after it as its second byte.
  EXPECT_FALSE(Opens("prog.exe \x81 /l" + log));
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(LogOptionTest, ExistingContentStaysAndIsCounted) {
  const std::string log = dir + "log.txt";
  WriteFile(log, std::string(1000, 'x'));
  ASSERT_TRUE(Opens("prog.exe /l" + log));
  EXPECT_EQ(state_.logBytes, 1000);
  std::fputs("new\r\n", state_.logFile);
  CloseLog(state_);
  EXPECT_EQ(ReadFile(log), std::string(1000, 'x') + "new\r\n");
}

TEST_F(LogOptionTest, MissingOrUnopenableNameShowsItsBox) {
  EXPECT_FALSE(Opens("prog.exe /l"));
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "/lオプションにファイルが指定されてません.");
  EXPECT_EQ(sink.boxes[0].caption, "Kestrelハードディスク故障診断プログラム");
  EXPECT_EQ(sink.boxes[0].style, 0x40);

  const std::string missing = dir + "no_such_dir/x.log";
  EXPECT_FALSE(Opens("prog.exe /l " + missing));
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[1].text, "ログファイル" + missing + "がオープンできません.");
  EXPECT_EQ(sink.boxes[1].style, 0x20);
}

}  // namespace
}  // namespace kestrel
