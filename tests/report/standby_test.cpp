// Standby-aware watching on simulated drives: a spun-down ATA drive is
// asked its power mode and left asleep, an NVMe drive is read as ever.
#include "report/monitor.h"

#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

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
