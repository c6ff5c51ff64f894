// The change monitor on simulated drives: due drives, log lines, pending
// notices and the overall health; and standby-aware watching, where a
// spun-down ATA drive is asked its power mode and left asleep while an
// NVMe drive is read as ever. Faults of the drives during a run are in
// tests/faults/fault_matrix_test.cpp, a tick inside a box of a tick in
// tests/faults/shutdown_test.cpp.
#include "report/monitor.h"

#include <cstdio>

#include "app/log_option.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

using MonitorTest = MonitorSimTest;

constexpr char kDrive[] =
    "[Platform]\nClock = 2026-12-07 09:00:00\n"
    "[Drive0]\nModel = M\n"
    "Attribute.01 = 0x000B 100 100 0 50\n"
    "Attribute.05 = 0x0033 100 100 7 36\n";

// Uptime 4294967 s is 2^32 ms less 296 ms: the counter wraps within the
// first second, and the interval holds across the wrap.
TEST_F(MonitorTest, DriveIsDueWhenTheTickCounterReachesTheIntervalAcrossTheWrap) {
  struct Case {
    int uptime;
    int idleTicks;  // before the first reading
  };
  for (const Case c : {Case{10, 20}, Case{4294967, 0}}) {
    SCOPED_TRACE(c.uptime);
    ScanAndStart(std::string(kDrive) + "[Platform]\nUptime = " + std::to_string(c.uptime) + "\n");
    Tick(c.idleTicks);
    EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 0);
    Tick();
    EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
    Tick(29);
    EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 1);
    Tick();
    EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 2);
    ShutdownDrives();
  }
}

// Raw falling to 0 is a change; two marks of one slot give two lines at
// once and two notices six ticks apart. The log is flushed when it grows
// into a further 512-byte block (1000 -> 1151 crossed 1024), not before.
TEST_F(MonitorTest, ChangesAreLoggedInMarkOrderAndAnnouncedSixTicksApart) {
  ScanAndStart(std::string(kDrive) +
               "[At 30]\nDrive0.Attribute.01 = 0x000B 90 95 0 50\n"
               "Drive0.Attribute.05 = 0x0033 100 100 0 36\n"
               "[At 60]\nDrive0.Attribute.01 = 0x000B 85 85 0 50\n");
  OpenLog(std::string(1000, 'x'));
  Tick(30);
  host.notices.clear();
  Tick();  // second 30: due again
  const std::string log = ReadFile(logPath);
  EXPECT_EQ(log, std::string(1000, 'x') +
                     "2026/12/07 09:00\tATA#0\t01\t現在値\t90\r\n"
                     "2026/12/07 09:00\tATA#0\t01\t最悪値\t95\r\n"
                     "2026/12/07 09:00\tATA#0\t01\t良好度\t19\r\n"
                     "2026/12/07 09:00\tATA#0\t05\tロウデータ\t0\r\n");
  EXPECT_EQ(TheMonitorState().logBytes, static_cast<std::int64_t>(log.size()));
  EXPECT_EQ(host.status[1], "取得時刻: 2026-12-07 09:00");
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
  Tick(7);  // second 60
  EXPECT_GT(TheMonitorState().logBytes, static_cast<std::int64_t>(ReadFile(logPath).size()))
      << "still in the buffer";
}

// Without a log (its name could not be opened), and then with one on a
// full disk, the monitor goes on. An error shows in the tray and in the
// balloon's icon; the drive's marks of levels seen are cleared once logged.
TEST_F(MonitorTest, LogThatCannotBeOpenedOrWrittenDoesNotStopTheMonitor) {
  ScanAndStart(std::string(kDrive) +
               "[At 30]\nDrive0.Attribute.01 = 0x000B 51 51 0 50\n"
               "[At 60]\nDrive0.Attribute.01 = 0x000B 80 85 0 50\n");
  OpenLogFromCommandLine("kestrel /l /nonexistent/kestrel/x.log", TheMonitorState(), nullptr);
  ASSERT_EQ(TheMonitorState().logFile, nullptr);
  Tick(31);
  ASSERT_EQ(host.notices.size(), 1u) << "the first of three";
  EXPECT_EQ(host.notices[0].second, 3);
  EXPECT_EQ(host.icons, (std::vector<int>{2}));
  EXPECT_EQ(Drive(0).status & (StatusWarningSeen | StatusErrorSeen), 0u);
  TheMonitorState().logFile = std::fopen("/dev/full", "ab");
  if (TheMonitorState().logFile == nullptr) GTEST_SKIP() << "no /dev/full here";
  Tick(30);
  EXPECT_EQ(TheMonitorState().trayState, 1) << "goodness 14 is a warning";
  EXPECT_GE(host.notices.size(), 3u) << "notices go on";
  EXPECT_EQ(Drive(0).attributes[0].current, 80) << "readings go on";
}

using StandbyTest = MonitorSimTest;

// Drive 0 spins down at second 40 and up again at 100; its raw value
// changes at 50, while it sleeps. Drive 1 is an NVMe drive.
constexpr char kDrives[] =
    "[Drive0]\nModel = A\nAttribute.05 = 0x0033 100 100 1 36\n"
    "[Drive1]\nTransport = nvme\nModel = N\nHealth.Temperature = 310\n"
    "[At 40]\nDrive0.Power = standby\n"
    "[At 50]\nDrive0.Attribute.05 = 0x0033 100 100 3 36\n"
    "[At 100]\nDrive0.Power = idle\n";

TEST_F(StandbyTest, ASleepingDriveIsLeftAloneUntilFoundAwake) {
  ScanAndStart(kDrives);
  TheMonitorState().standbyAware = true;
  Tick(41);  // readings at 0 and 30
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 2);
  Tick(59);  // checks at 60 and 90 find it asleep
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kPower), 4);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 2) << "no RETURN STATUS either";
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 2);
  EXPECT_EQ(TheMonitorState().slots[0].asleep, 1);
  EXPECT_EQ(sim->CommandCount(1, SimCommand::kPower), 0) << "NVMe: no check";
  EXPECT_EQ(Drive(1).lastEvaluated.second, 30) << "read at every period (1:30)";

  Tick(21);  // second 120: awake, read, and the change of 50 logged
  EXPECT_EQ(TheMonitorState().slots[0].asleep, 0);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 3);
  EXPECT_EQ(Drive(0).attributes[0].raw, 3u);
  EXPECT_EQ(Drive(0).lastEvaluated.minute * 60 + Drive(0).lastEvaluated.second, 120);
  EXPECT_EQ(sim->WakeUps(0), 0);
  EXPECT_TRUE(Drive(0).attributes[0].changeBits & RawChanged);
}

// Without the check (the Windows program, kestrel-cli --wake) the same
// reading spins the drive up, and a drive that cannot tell its mode is
// read as before.
TEST_F(StandbyTest, ReadingWithoutTheCheckWakesTheDrive) {
  for (const char* extra : {"", "[Drive0]\nFail = power\n"}) {
    SCOPED_TRACE(extra);
    ScanAndStart(std::string(kDrives) + extra);
    TheMonitorState().standbyAware = *extra != '\0';
    Tick(61);
    EXPECT_EQ(sim->WakeUps(0), 1);
    EXPECT_EQ(TheMonitorState().slots[0].asleep, 0);
    EXPECT_EQ(Drive(0).attributes[0].raw, 3u);
    Tick(30);
    EXPECT_EQ(sim->WakeUps(0), 1) << "up until the scenario sets its mode again";
    ShutdownDrives();
  }
}

}  // namespace
}  // namespace kestrel
