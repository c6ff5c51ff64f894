// The NVMe bridge: Identify data and the health log read at their offsets,
// then NVMe drives of the simulator through scan, monitor and the shipped
// definitions (their text table and JSON: tests/sim/nvme_cli_check.cmake).
#include "ata/nvme_bridge.h"

#include <cstring>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

void Put(std::uint8_t* at, int bytes, std::uint64_t v) {
  for (int k = 0; k < bytes; ++k) at[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

TEST(NvmeBridge, ReadsTheIdentityInEachBlockSizeAndRefusesGarbage) {
  const struct {
    std::uint8_t fill, format, shift;  // controller bytes 0-71, FLBAS, its LBADS
    std::uint64_t sectors;             // 0: refused
  } cases[] = {{0, 0, 9, 1000}, {0, 1, 12, 8000}, {0, 0, 8, 0}, {0x07, 0, 9, 0}};
  for (const auto& c : cases) {
    std::uint8_t ctrl[4096] = {}, ns[4096] = {};
    std::memset(ctrl, c.fill, 72);
    if (c.fill == 0) std::memcpy(ctrl + 4, "SN42", 4), std::memcpy(ctrl + 24, "NV 1", 4);
    if (c.fill == 0) std::memcpy(ctrl + 64, "FW1", 3);
    Put(ns, 8, 1000);
    ns[26] = c.format;
    ns[128 + 4 * c.format + 2] = c.shift;
    NvmeIdentity id{};
    ASSERT_EQ(ParseNvmeIdentity(ctrl, ns, &id), c.sectors != 0) << int(c.shift) << int(c.fill);
    if (c.sectors == 0) continue;
    EXPECT_EQ(id.sectors, c.sectors);
    EXPECT_EQ(std::string(id.model), "NV 1" + std::string(36, ' '));
    EXPECT_EQ(std::string(id.serial) + id.firmware, "SN42" + std::string(16, ' ') + "FW1     ");
  }
}

// Each field at its offset; 2^48 and bit 127 of a counter read as 2^48 - 1.
TEST(NvmeBridge, ReadsTheHealthLogAtItsOffsets) {
  const std::uint64_t max = (std::uint64_t{1} << 48) - 1;
  std::uint8_t log[512] = {4, 0x36, 0x01, 7, 10, 91};  // 310 kelvin
  for (int k = 0; k < 10; ++k) Put(log + 32 + 16 * k, 8, 100 + k);
  Put(log + 32, 8, max), Put(log + 48, 8, max + 1), log[64 + 15] = 0x80;
  Put(log + 192, 4, 0x10203040), Put(log + 196, 4, 13);
  const NvmeHealth h = ParseNvmeHealth(log);
  // clang-format off
  const std::uint64_t read[] = {h.criticalWarning, h.temperatureKelvin, h.availableSpare,
      h.spareThreshold, h.percentageUsed, h.dataUnitsRead, h.dataUnitsWritten, h.hostReads,
      h.hostWrites, h.busyMinutes, h.powerCycles, h.powerOnHours, h.unsafeShutdowns, h.mediaErrors,
      h.errorLogEntries, h.warningTemperatureMinutes, h.criticalTemperatureMinutes};
  const std::uint64_t want[] = {4, 310, 7, 10, 91, max, max, max, 103, 104, 105, 106, 107, 108,
      109, 0x10203040, 13};
  // clang-format on
  for (int i = 0; i < 17; ++i) EXPECT_EQ(read[i], want[i]) << "field " << i;
}

// Drive 0 wears out and warns; drive 1's log never reads; drive 2's stops
// reading at second 30. Readings at seconds 0, 30, 60 and 90.
constexpr char kDrives[] =
    "[Drive0]\nTransport = nvme\nModel = TSUBAME NV2000\nHealth.Temperature = 311\n"
    "Health.DataUnitsWritten = 38500000\n[Drive1]\nTransport = nvme\nModel = X\nFail = log\n"
    "[Drive2]\nTransport = nvme\nModel = Y\n[At 30]\nDrive0.Health.PercentageUsed = 90\n"
    "Drive0.Health.MediaErrors = 1\nDrive2.Fail = log\n[At 60]\n"
    "Drive0.Health.CriticalWarning = 0x02\n[At 90]\nDrive0.Health.CriticalWarning = 0\n"
    "Drive0.Health.PercentageUsed = 100\nDrive0.Health.AvailableSpare = 0\n";

class NvmeSimTest : public MonitorSimTest {
 protected:
  void TearDown() override { MonitorSimTest::TearDown(), ShutdownDrives(); }
};

TEST_F(NvmeSimTest, ShippedDefinitionsNameAndJudgeTheHealthLog) {
  Install(kDrives);
  sim->SetCommandLine("kestrel /d \"" KESTREL_BINARY_DIR "/smart.dat\"");
  ScanDrives(nullptr, nullptr);
  StartMonitor(*LockDriveTable());
  UnlockDriveTable();
  const DriveRecord& r = Drive(0);
  EXPECT_EQ(r.transport, DriveTransport::kNvme);
  ASSERT_EQ(r.attributeCount, 17);
  const struct {
    std::uint32_t second;
    int levels[4];  // of 01 critical warning, 03 spare, 05 percentage used, 0E media errors
    int tray;
  } steps[] = {
      {0, {0, 0, 0, 0}, 0}, {30, {0, 0, 1, 1}, 1}, {60, {2, 0, 1, 1}, 2}, {90, {0, 2, 2, 1}, 2}};
  constexpr int kSlots[] = {0, 2, 4, 13};
  for (const auto& s : steps) {
    while (sim->ElapsedMs() <= s.second * 1000u) Tick();
    for (int k = 0; k < 4; ++k) {
      const std::uint8_t bits = r.attributes[kSlots[k]].changeBits;
      EXPECT_EQ(bits & AttrError ? 2 : bits & AttrWarning, s.levels[k]) << s.second << " " << k;
    }
    EXPECT_EQ(TheMonitorState().trayState, s.tray) << s.second;
    EXPECT_EQ((r.status & SmartFailing) != 0, s.second == 60) << s.second;
  }
  EXPECT_STREQ(r.attributes[0].name, "重大警告");
  EXPECT_STREQ(r.attributes[6].rawText, "19.712TB");
  // A log that does not read at the scan: a drive without SMART, said once
  // and never read again. One that stops reading later: silence.
  EXPECT_EQ(Drive(1).state, Present);
  EXPECT_EQ(sink.CountNotes("ドライブ1はSMARTをサポートしません."), 1);
  EXPECT_EQ(sim->CommandCount(1, SimCommand::kLog), 1);
  EXPECT_EQ(Drive(2).status & SmartEnabled, 0u);
  EXPECT_TRUE(sink.boxes.empty()) << sink.boxes[0].text;
}

}  // namespace
}  // namespace kestrel
