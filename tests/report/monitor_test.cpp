// The change monitor on simulated drives: due drives, log lines, pending
// notices, the overall health and the re-entry guard.
#include "report/monitor.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/log_option.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

class RecordingHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int state) override { icons.push_back(state); }
  void ShowNotice(const char* text, int icon) override { notices.emplace_back(text, icon); }
  void SetStatusText(int part, const char* text) override { status[part] = text; }
  void OpenPage(const char* path) override { pages.emplace_back(path); }

  std::vector<int> icons;
  std::vector<std::pair<std::string, int>> notices;
  std::string status[2];
  std::vector<std::string> pages;
};

class MonitorTest : public SimTest {
 protected:
  void SetUp() override { InstallMonitorHost(&host); }
  void TearDown() override {
    CloseLog(TheMonitorState());
    SimTest::TearDown();
  }

  // Scans `scenario`, starts the monitor, and logs into a fresh file.
  void Start(const std::string& scenario, std::string_view oldLog = "") {
    Scan(scenario);
    DriveTable* table = LockDriveTable();
    StartMonitor(*table);
    UnlockDriveTable();
    logPath = testing::TempDir() + "kestrel_monitor.log";
    std::ofstream(logPath, std::ios::binary) << oldLog;
    OpenLogFromCommandLine("kestrel /l \"" + logPath + "\"", TheMonitorState(), nullptr);
    ASSERT_NE(TheMonitorState().logFile, nullptr);
  }

  // One tick, then the virtual clock moves on by a second.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      MonitorTick();
      sim->Advance(1000);
    }
  }

  std::string Log() {
    std::fflush(TheMonitorState().logFile);
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  RecordingHost host;
  std::string logPath;
};

constexpr char kDrive[] =
    "[Platform]\nClock = 2026-12-07 09:00:00\n"
    "[Drive0]\nModel = M\n"
    "Attribute.01 = 0x000B 100 100 0 50\n"
    "Attribute.05 = 0x0033 100 100 7 36\n";

TEST_F(MonitorTest, FirstTickReadsButLogsAndAnnouncesNothing) {
  Start(kDrive);
  Tick();
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(host.notices.empty());
  EXPECT_TRUE(host.icons.empty());
  EXPECT_EQ(host.status[1], "取得時刻: 2026-12-07 09:00");
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
}

TEST_F(MonitorTest, DriveBecomesDueWhenTheTickCounterReachesTheInterval) {
  Start(std::string(kDrive) + "[Platform]\nUptime = 10\n");
  Tick(20);  // tick counter 10000 to 29000
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 0);
  Tick();  // 30000
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  Tick(29);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  Tick();
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 2);
}

TEST_F(MonitorTest, IntervalHoldsAcrossTheCounterWrap) {
  // 4294967 s is 2^32 ms less 296 ms: the counter wraps within a second.
  Start(std::string(kDrive) + "[Platform]\nUptime = 4294967\n");
  Tick();
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  Tick(29);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  Tick();
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 2);
}

TEST_F(MonitorTest, ChangesAreLoggedInMarkOrderAndAnnouncedSixTicksApart) {
  Start(std::string(kDrive) +
            "[At 30]\nDrive0.Attribute.01 = 0x000B 90 95 0 50\n"
            "Drive0.Attribute.05 = 0x0033 100 100 0 36\n",
        std::string(1000, 'x'));
  Tick(30);
  host.notices.clear();
  Tick();  // second 30: due again
  EXPECT_EQ(Log(), std::string(1000, 'x') +
                       "2026/12/07 09:00\tATA#0\t01\t現在値\t90\r\n"
                       "2026/12/07 09:00\tATA#0\t01\t最悪値\t95\r\n"
                       "2026/12/07 09:00\tATA#0\t01\t良好度\t19\r\n"
                       "2026/12/07 09:00\tATA#0\t05\tロウデータ\t0\r\n");
  EXPECT_EQ(TheMonitorState().logBytes, static_cast<std::int64_t>(Log().size()));
  Tick(17);
  ASSERT_EQ(host.notices.size(), 3u);
  EXPECT_EQ(host.notices[0].first, "ドライブATA#0の属性01(Attribute 01)の現在値が変化しました.");
  EXPECT_EQ(host.notices[1].first, "ドライブATA#0の属性01(Attribute 01)の良好度が変化しました.");
  EXPECT_EQ(host.notices[2].first, "ドライブATA#0の属性01(Attribute 01)の最悪値が変化しました.");
  EXPECT_EQ(host.status[0], host.notices[2].first);
  Tick(6);
  ASSERT_EQ(host.notices.size(), 4u);
  EXPECT_EQ(host.notices[3].first,
            "ドライブATA#0の属性05(Attribute 05)のロウデータが変化しました.");
}

TEST_F(MonitorTest, HealthChangesTheTrayIconAndTheBalloonIcon) {
  Start(std::string(kDrive) + "[At 30]\nDrive0.Attribute.01 = 0x000B 51 51 0 50\n");
  Tick(31);
  EXPECT_EQ(host.icons, (std::vector<int>{2}));
  EXPECT_EQ(TheMonitorState().trayState, 2);
  ASSERT_FALSE(host.notices.empty());
  EXPECT_EQ(host.notices[0].second, 3);
  EXPECT_EQ(Drive(0).status & (StatusWarningSeen | StatusErrorSeen), 0u) << "cleared once logged";
}

TEST_F(MonitorTest, DriveWhoseStatusFailsIsNotReadAndAskedAgainEveryTick) {
  Start(std::string(kDrive) + "Fail = status\n");
  Tick(5);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 5);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
}

TEST_F(MonitorTest, FailedRereadDoesNotLogThePreviousMarksAgain) {
  Start(std::string(kDrive) +
        "[At 30]\nDrive0.Attribute.01 = 0x000B 90 100 0 50\n"
        "[At 60]\nDrive0.DataChecksum = bad\n");
  Tick(31);
  std::string once = Log();
  EXPECT_NE(once.find("現在値\t90"), std::string::npos);
  Tick(30);
  EXPECT_EQ(Log(), once);
}

TEST_F(MonitorTest, LogIsFlushedWhenItGrowsIntoAFurther512ByteBlock) {
  Start(std::string(kDrive) +
            "[At 30]\nDrive0.Attribute.05 = 0x0033 100 100 9 36\n"
            "[At 60]\nDrive0.Attribute.05 = 0x0033 100 100 8 36\n",
        std::string(1000, 'x'));
  auto onDisk = [&] {
    std::ifstream in(logPath, std::ios::binary | std::ios::ate);
    return static_cast<std::int64_t>(in.tellg());
  };
  Tick(31);
  EXPECT_EQ(onDisk(), TheMonitorState().logBytes) << "1000 -> 1040 crossed 1024";
  Tick(30);
  EXPECT_GT(TheMonitorState().logBytes, onDisk()) << "still in the buffer";
}

TEST_F(MonitorTest, LogOnAFullDiskDoesNotStopTheMonitor) {
  Start(std::string(kDrive) +
        "[At 30]\nDrive0.Attribute.01 = 0x000B 90 95 0 50\n"
        "[At 60]\nDrive0.Attribute.01 = 0x000B 80 85 0 50\n");
  CloseLog(TheMonitorState());
  TheMonitorState().logFile = std::fopen("/dev/full", "ab");
  if (TheMonitorState().logFile == nullptr) GTEST_SKIP() << "no /dev/full here";
  Tick(61);
  EXPECT_EQ(TheMonitorState().trayState, 1) << "goodness 14 is a warning";
  EXPECT_GE(host.notices.size(), 3u) << "notices go on";
  EXPECT_EQ(Drive(0).attributes[0].current, 80) << "readings go on";
}

// A message box during a re-read runs a nested message loop in which the
// timer fires again; that nested tick must return at once.
class ReenteringSink final : public RecordingSink {
 public:
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override {
    RecordingSink::ShowMessageBox(owner, caption, text, style);
    MonitorTick();
  }
};

TEST_F(MonitorTest, NestedTickReturnsAtOnce) {
  Start(std::string(kDrive) + "Attribute.C2 = 0x0022 40 40 30 -\n");
  ReenteringSink reentering;
  InstallServices(Services{sim.get(), sim.get(), &reentering});
  Tick();
  ASSERT_EQ(reentering.boxes.size(), 1u) << "the slot without threshold";
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 1);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
  InstallServices(Services{sim.get(), sim.get(), &sink});
}

}  // namespace
}  // namespace kestrel
