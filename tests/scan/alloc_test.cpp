// The re-read runs every second for up to ten drives: it must not touch the
// heap. Global operator new is counted while a re-read runs.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "ata/ata_channel.h"
#include "report/monitor.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

// A replacement allocation pair; GCC's mismatch warning cannot see that
// both halves are replaced together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// Every unaligned form is replaced, so that what one form allocates
// another may free (the sanitizers check that the pairs match).
namespace {
void* CountedAlloc(std::size_t size) noexcept {
  if (g_counting) ++g_allocations;
  return std::malloc(size ? size : 1);
}
void* CountedAllocOrThrow(std::size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
}  // namespace
void* operator new(std::size_t size) { return CountedAllocOrThrow(size); }
void* operator new[](std::size_t size) { return CountedAllocOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAlloc(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace kestrel {
namespace {

// A sink and a host that keep nothing, so that only the engine's own
// allocations count.
class Silent final : public MessageSink, public MonitorHost {
 public:
  void ShowMessageBox(WindowHandle, const char*, const char*, int) override {}
  void GetWindowTitle(WindowHandle, char* out, std::size_t) override { out[0] = 0; }
  void SetStatusText(WindowHandle, int, const char*) override {}
  void ChangeTrayIcon(int) override {}
  void ShowNotice(const char*, int) override { ++notices; }
  void SetStatusText(int, const char*) override {}
  void OpenPage(const char*) override {}
  int notices = 0;
};

// Nine drives of thirty attributes and an NVMe drive, which answers
// through the bridge from its health log, scanned; at second 30 the first
// attribute of each ATA drive changes, and the NVMe drive's wear.
class AllocationTest : public SimTest {
 protected:
  void SetUp() override {
    std::string scenario = "[Platform]\nClock = 2026-01-01 00:00:00\n";
    for (int d = 0; d < 9; ++d) {
      const std::string drive = "Drive" + std::to_string(d);
      scenario += "[" + drive + "]\nModel = M" + std::to_string(d) + "\n";
      for (int a = 1; a <= 30; ++a) {
        char line[64];
        std::snprintf(line, sizeof line, "Attribute.%02X = 0x000B %d 100 %d 50\n", a, 100 + d,
                      a * 1000);
        scenario += line;
      }
      scenario += "[At 30]\n" + drive + ".Attribute.01 = 0x000B 70 65 8 50\n";
    }
    Scan(scenario +
         "[Drive9]\nTransport = nvme\nModel = N\n[At 30]\nDrive9.Health.PercentageUsed = 7\n");
    InstallServices(Services{sim.get(), sim.get(), &silent_});
  }
  void TearDown() override {
    if (TheMonitorState().logFile != nullptr) std::fclose(TheMonitorState().logFile);
    TheMonitorState().logFile = nullptr;
    InstallMonitorHost(nullptr);
    SimTest::TearDown();
  }

  Silent silent_;
};

// A tick with every drive due again, after the first: it asks each drive
// for its status and re-reads them all.
TEST_F(AllocationTest, TickWithTenDueDrivesAllocatesNothing) {
  InstallMonitorHost(&silent_);
  StartMonitor(*LockDriveTable());
  UnlockDriveTable();
  MonitorState& state = TheMonitorState();
  state.logFile = std::tmpfile();
  ASSERT_NE(state.logFile, nullptr);
  std::fputs("the file's buffer exists from here on\r\n", state.logFile);
  MonitorTick();  // the first reading
  sim->Advance(30000);
  g_counting = true;
  MonitorTick();
  g_counting = false;
  EXPECT_EQ(g_allocations, 0) << "every drive changed";
  EXPECT_EQ(Drive(8).attributeCount, 30);
  EXPECT_GT(TheMonitorState().logBytes, 9 * 40) << "nine drives logged their changes";
  EXPECT_TRUE(Drive(9).attributes[4].changeBits & CurrentChanged) << "the NVMe drive's wear";
  EXPECT_EQ(silent_.notices, 1);
}

}  // namespace
}  // namespace kestrel
