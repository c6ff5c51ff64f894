// What the table lock's callers do when another thread holds the lock for
// longer than LockDriveTable waits (1000 waits of 10 ms): the change
// monitor's tick, the re-read and the health report, waiting side by side
// so that the test waits once. Each gives up with the lock's own box.
#include <filesystem>
#include <thread>  // std::chrono without <chrono>: see CMakeLists.txt

#include "report/health_report.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

using LockCallersTest = MonitorSimTest;

TEST_F(LockCallersTest, TickRereadAndReportGiveUpWithoutReadingWritingOrOpening) {
  TestDirectory dir;
  fs::create_directories("html/normal");
  ScanAndStart("[Drive0]\nModel = A\nAttribute.01 = 0x000B 100 100 0 51\n");
  OpenLog();
  sink.Clear();

  std::chrono::steady_clock::duration waited;
  {
    LockHolder holder;
    const auto start = std::chrono::steady_clock::now();
    std::thread report([] { WriteHealthReport(); });
    std::thread reread([&] { EXPECT_EQ(RereadSmart(1), 0u); });
    MonitorTick();  // drive 0 is due
    report.join();
    reread.join();
    waited = std::chrono::steady_clock::now() - start;
  }

  EXPECT_GE(waited, std::chrono::seconds(9));
  EXPECT_LT(waited, std::chrono::seconds(19)) << "each caller waits once";
  // One box from each caller, and nothing else.
  EXPECT_EQ(sink.notes.size(), 3u);
  ASSERT_EQ(sink.boxes.size(), 3u);
  for (const RecordingSink::Box& box : sink.boxes) {
    EXPECT_EQ(box.text, "SMART情報管理データにアクセス失敗");
    EXPECT_EQ(box.caption, "Varnel");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style, kStylePlain);
  }
  EXPECT_TRUE(host.Untouched()) << "no tray, notice, status or page";
  // The report is left empty; nothing was read, nothing logged.
  EXPECT_TRUE(fs::exists("html/normal/report.html"));
  EXPECT_EQ(fs::file_size("html/normal/report.html"), 0u);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
  EXPECT_EQ(LogText(), "");

  // The drive stayed due: the next tick, at the same moment, reads it.
  MonitorTick();
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  EXPECT_EQ(sink.boxes.size(), 3u);
}

}  // namespace
}  // namespace kestrel
