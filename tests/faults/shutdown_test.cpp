// A message box during a monitor step runs a nested message loop: a tick
// of the timer there returns at once, and the program's end asked for
// there waits for the step. (A one-shot reading right after boot is the
// command-line check's, tests/app/cli_demo_check.cmake; a drive that stops
// answering is the fault matrix's.)
#include "app/log_option.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// Two drives; drive 0's status command fails while it is due, so the
// first step shows a box and then goes on to read drive 1.
constexpr char kTwoDrives[] =
    "[Drive0]\nModel = A\nDriverError = status, 1, 4\nAttribute.01 = 0x000B 100 100 0 51\n"
    "[Drive1]\nModel = B\nAttribute.09 = 0x0032 099 099 1234 0\n";

// A sink whose boxes do what the window does when its timer fires and the
// user chooses 終了 while the box is open.
class EndingSink final : public RecordingSink {
 public:
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override {
    RecordingSink::ShowMessageBox(owner, caption, text, style);
    handlesInBox = sim->OpenHandles();
    if (boxes.size() < 3) MonitorTick();  // a runaway nesting ends here
    if (MonitorBusy()) EndAfterMonitorTick(&EndingSink::End, this);
  }
  static void End(void* self) {
    auto* sink = static_cast<EndingSink*>(self);
    ++sink->ends;
    sink->busyAtEnd = MonitorBusy();
    CloseLog(TheMonitorState());
    ShutdownDrives();
  }

  SimDrives* sim = nullptr;
  int handlesInBox = -1;
  int ends = 0;
  bool busyAtEnd = true;
};

class ShutdownTest : public MonitorSimTest {};

TEST_F(ShutdownTest, TickInABoxReturnsAtOnceAndEndWaitsForTheStep) {
  EndingSink ending;
  Install(kTwoDrives);
  ending.sim = sim.get();
  InstallServices(Services{sim.get(), sim.get(), &ending});
  ScanDrives(nullptr, nullptr);
  ASSERT_NE(LockDriveTable(), nullptr);
  StartMonitor(TheDriveTable());
  UnlockDriveTable();
  OpenLog();

  MonitorTick();

  ASSERT_EQ(ending.boxes.size(), 1u);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kStatus), 1);
  EXPECT_EQ(ending.handlesInBox, 2) << "nothing closed under the open box";
  EXPECT_EQ(ending.ends, 1);
  EXPECT_FALSE(ending.busyAtEnd);
  // The step went on after the box with drive 1 on its open handle and
  // showed its time of reading; only then was everything closed.
  EXPECT_EQ(sim->CommandCount(1, SimCommand::kData), 1);
  EXPECT_EQ(TheDriveTable().records[1].attributes[0].current, 99);
  EXPECT_FALSE(host.status[1].empty());
  EXPECT_EQ(sim->OpenHandles(), 0);
  EXPECT_EQ(TheMonitorState().logFile, nullptr);
  EXPECT_EQ(TheDriveTable().lock, nullptr);

  // A later step has nothing left to end.
  MonitorTick();
  EXPECT_EQ(ending.ends, 1);
  InstallServices(Services{sim.get(), sim.get(), &sink});
}

}  // namespace
}  // namespace kestrel
