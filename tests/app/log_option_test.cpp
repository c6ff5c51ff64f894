// The "/l" option: which command lines open a log, and what a log keeps.
#include "app/log_option.h"

#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

class LogOptionTest : public SimTest {
 protected:
  void SetUp() override {
    Install("");
    dir_ = testing::TempDir();
    std::remove((dir_ + "log.txt").c_str());
    std::remove((dir_ + "a b.txt").c_str());
  }
  void TearDown() override { CloseLog(state_); }

  bool Opens(const std::string& commandLine) {
    CloseLog(state_);
    OpenLogFromCommandLine(commandLine, state_, nullptr);
    return state_.logFile != nullptr;
  }

  MonitorState state_{};
  std::string dir_;
};

TEST_F(LogOptionTest, CommandLinesThatOpenALog) {
  const std::string log = dir_ + "log.txt";
  EXPECT_TRUE(Opens("prog.exe /L" + log));
  EXPECT_TRUE(Opens("prog.exe /l \"" + dir_ + "a b.txt\""));
  EXPECT_TRUE(Opens("prog.exe   /l " + log));
  EXPECT_TRUE(Opens("prog.exe /l \"" + dir_ + "a b.txt"));
  EXPECT_TRUE(Opens("prog.exe /d x.dat /l " + log + " /l other.txt"));
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(LogOptionTest, SlashesThatAreNoOption) {
  EXPECT_FALSE(Opens("prog.exe x/l" + dir_ + "log.txt"));
  EXPECT_FALSE(Opens("C:/Tools/prog.exe"));
  // A lead byte takes the blank after it as its second byte.
  EXPECT_FALSE(Opens("prog.exe \x81 /l" + dir_ + "log.txt"));
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(LogOptionTest, ExistingContentStaysAndIsCounted) {
  const std::string log = dir_ + "log.txt";
  std::ofstream(log, std::ios::binary) << std::string(1000, 'x');
  ASSERT_TRUE(Opens("prog.exe /l" + log));
  EXPECT_EQ(state_.logBytes, 1000);
  std::fputs("new\r\n", state_.logFile);
  CloseLog(state_);
  std::ifstream in(log, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), std::string(1000, 'x') + "new\r\n");
}

TEST_F(LogOptionTest, MissingOrUnopenableNameShowsItsBox) {
  EXPECT_FALSE(Opens("prog.exe /l"));
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "/lオプションにファイルが指定されてません.");
  EXPECT_EQ(sink.boxes[0].caption, "Kestrelハードディスク故障診断プログラム");
  EXPECT_EQ(sink.boxes[0].style, 0x40);

  std::string dir = dir_ + "no_such_dir/x.log";
  EXPECT_FALSE(Opens("prog.exe /l " + dir));
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[1].text, "ログファイル" + dir + "がオープンできません.");
  EXPECT_EQ(sink.boxes[1].style, 0x20);

  EXPECT_FALSE(Opens("prog.exe /l " + dir_ + std::string(300, 'n')));
  EXPECT_EQ(sink.boxes.size(), 3u) << "a name over 259 bytes is refused";
}

}  // namespace
}  // namespace kestrel
