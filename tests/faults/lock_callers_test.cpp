// What the table lock's callers do when another thread holds the lock for
// longer than LockDriveTable waits (1000 waits of 10 ms): the change
// monitor's tick and the health report, waiting side by side so that the
// test waits once.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>  // std::chrono without <chrono>: see CMakeLists.txt

#include "app/log_option.h"
#include "report/health_report.h"
#include "report/monitor.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Two callers report from two threads.
class LockedSink final : public RecordingSink {
 public:
  void Note(int style, const char* text) override {
    std::lock_guard<std::mutex> hold(mutex_);
    RecordingSink::Note(style, text);
  }
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override {
    std::lock_guard<std::mutex> hold(mutex_);
    RecordingSink::ShowMessageBox(owner, caption, text, style);
  }

 private:
  std::mutex mutex_;
};

class CountingHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int) override { ++calls; }
  void ShowNotice(const char*, int) override { ++calls; }
  void SetStatusText(int, const char*) override { ++calls; }
  void OpenPage(const char*) override { ++calls; }
  std::atomic<int> calls{0};
};

using LockCallersTest = SimTest;

TEST_F(LockCallersTest, TickAndReportGiveUpWithoutReadingWritingOrOpening) {
  const fs::path dir = fs::path(testing::TempDir()) / "kestrel_lock_callers";
  fs::remove_all(dir);
  fs::create_directories(dir / "html" / "normal");
  const fs::path oldDir = fs::current_path();
  fs::current_path(dir);

  Scan("[Drive0]\nModel = A\nAttribute.01 = 0x000B 100 100 0 51\n");
  CountingHost host;
  InstallMonitorHost(&host);
  MonitorState& state = TheMonitorState();
  StartMonitor(TheDriveTable());
  OpenLogFromCommandLine("kestrel /l tick.log", state, nullptr);
  ASSERT_NE(state.logFile, nullptr);
  LockedSink locked;
  InstallServices(Services{sim.get(), sim.get(), &locked});

  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    TheDriveTable().lock->lock();
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TheDriveTable().lock->unlock();
  });
  while (!held) std::this_thread::yield();

  const auto start = std::chrono::steady_clock::now();
  std::thread report([] { WriteHealthReport(); });
  MonitorTick();  // drive 0 is due
  report.join();
  const auto waited = std::chrono::steady_clock::now() - start;
  release = true;
  holder.join();

  EXPECT_GE(waited, std::chrono::seconds(9));
  EXPECT_LT(waited, std::chrono::seconds(19)) << "each caller waits once";
  // One message from each caller, and nothing else.
  EXPECT_EQ(locked.CountNotes("SMART情報管理データにアクセス失敗"), 2);
  EXPECT_EQ(locked.notes.size(), 2u);
  EXPECT_EQ(locked.boxes.size(), 2u);
  EXPECT_EQ(host.calls, 0) << "no tray, notice, status or page";
  // The report is left empty; the tick read nothing and logged nothing.
  EXPECT_TRUE(fs::exists("html/normal/report.html"));
  EXPECT_EQ(fs::file_size("html/normal/report.html"), 0u);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
  std::fflush(state.logFile);
  EXPECT_EQ(fs::file_size("tick.log"), 0u);

  // The drive stayed due: the next tick, at the same moment, reads it.
  MonitorTick();
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  EXPECT_EQ(locked.boxes.size(), 2u);

  CloseLog(state);
  InstallServices(Services{sim.get(), sim.get(), &sink});
  InstallMonitorHost(nullptr);
  fs::current_path(oldDir);
}

}  // namespace
}  // namespace kestrel
