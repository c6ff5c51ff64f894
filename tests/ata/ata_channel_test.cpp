// The command channel's registers as each platform record carries them,
// what the Windows SMART record gives back, and the 9x family's shared
// driver device. The result rules and messages of the channel are in
// tests/faults/fault_matrix_test.cpp.
#include "ata/ata_channel.h"

#include <cstring>
#include <string>
#include <vector>

#include "ata/ata_platform.h"
#include "ata/sat_passthrough.h"
#include "ata/smart_ioctl.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// A platform that keeps each command it is sent and answers with a sector
// of 0xAB bytes.
class TapPlatform final : public AtaPlatform {
 public:
  struct Sent {
    DeviceHandle handle;
    AtaRegisters regs;
    std::uint8_t driveNumber;
    AtaDataMode mode;
  };
  // Asked by the scan after it has reset the table.
  bool IsWin9xFamily() override {
    for (const DriveRecord& r : TheDriveTable().records) unset += r.handle != kInvalidDeviceHandle;
    return false;
  }
  DeviceHandle OpenDevice(const char*, std::uint32_t*) override { return kInvalidDeviceHandle; }
  bool ProbeDevice(DeviceHandle, std::uint8_t*) override { return false; }
  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t number,
                         AtaDataMode mode, std::uint8_t* sector) override {
    sent.push_back({handle, regs, number, mode});
    if (sector != nullptr && outcome.callSucceeded) std::memset(sector, 0xAB, 512);
    return outcome;
  }
  bool CloseDevice(DeviceHandle) override { return true; }
  bool SystemDirectory(char*, std::size_t) override { return false; }
  bool FileExists(const char*) override { return false; }

  std::vector<Sent> sent;
  AtaOutcome outcome{true, 0, 0, 0, {}};
  int unset = 0;  // slots the reset left with a handle
};

class ChannelTest : public SimTest {
 protected:
  void SetUp() override {
    Install("");
    InstallServices(Services{&tap, sim.get(), &sink});
    for (int d = 0; d < kMaxDrives; ++d) TheDriveTable().records[d].handle = 0x40 + d;
  }
  void TearDown() override {
    for (DriveRecord& r : TheDriveTable().records) r.handle = kInvalidDeviceHandle;
    TheDriveTable().isWin9x = false;
  }
  TapPlatform tap;
};

// What the channel hands the platform, as the Linux pass-through CDB (the
// bytes after the first four are the registers) and as the Windows SMART
// record (its first 16 bytes; the rest stay 0). On the 9x family an odd
// drive is the slave of its channel and travels in the record.
TEST_F(ChannelTest, RegistersOfEachCommandInBothPlatformRecords) {
  EXPECT_EQ(SendAtaCommand(0xE7, 0, nullptr), kAtaFailed);
  EXPECT_TRUE(tap.sent.empty()) << "an unknown command is not sent";
  struct Case {
    std::uint8_t command;
    int drive;
    bool win9x;
    const char* cdb;
    std::uint32_t code, outputSize;
    const char* ioctl;
  };
  const Case cases[] = {
      {kIdentifyDevice, 0, false, "85 08 0E 00 EC 00 01 00 00 00 00 00 00 A0 EC 00 ", 0x7C088,
       16 + 512, "00 02 00 00 EC 01 00 00 00 A0 EC 00 00 00 00 00 "},
      {kIdentifyPacketDevice, 1, false, "85 08 0E 00 A1 00 01 00 00 00 00 00 00 A0 A1 00 ", 0x7C088,
       16 + 512, "00 02 00 00 A1 01 00 00 00 A0 A1 00 00 00 00 00 "},
      {kSmartReadThresholds, 5, false, "85 08 0E 00 D1 00 01 00 01 00 4F 00 C2 A0 B0 00 ", 0x7C088,
       16 + 512, "00 02 00 00 D1 01 01 4F C2 A0 B0 00 00 00 00 00 "},
      {kSmartReadData, 3, true, "85 08 0E 00 D0 00 01 00 01 00 4F 00 C2 B0 B0 00 ", 0x7C088,
       16 + 512, "00 02 00 00 D0 01 01 4F C2 B0 B0 00 03 00 00 00 "},
      {kSmartEnableOperations, 2, true, "85 06 00 00 D8 00 00 00 01 00 4F 00 C2 A0 B0 00 ", 0x7C084,
       16, "00 00 00 00 D8 00 01 4F C2 A0 B0 00 02 00 00 00 "},
      // RETURN STATUS asks for the registers back (CK_COND).
      {kSmartReturnStatus, 0, false, "85 06 20 00 DA 00 00 00 00 00 4F 00 C2 A0 B0 00 ", 0x7C084,
       16 + 8, "00 00 00 00 DA 00 00 4F C2 A0 B0 00 00 00 00 00 "},
  };
  const std::string zeros = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cdb);
    tap.sent.clear();
    TheDriveTable().isWin9x = c.win9x;
    std::uint8_t buffer[512] = {};
    SendAtaCommand(c.command, c.drive, buffer);
    ASSERT_EQ(tap.sent.size(), 1u);
    const TapPlatform::Sent& s = tap.sent[0];
    EXPECT_EQ(s.handle, 0x40 + (c.win9x ? 0 : c.drive)) << "9x: the one driver device";
    const PassThroughCommand cdb = BuildPassThrough(s.regs, s.mode);
    EXPECT_EQ(Hex(cdb.cdb, sizeof cdb.cdb), c.cdb);
    const bool data = c.outputSize == 16 + 512;
    EXPECT_EQ(cdb.transferLength, data ? 512u : 0u);
    EXPECT_EQ(cdb.direction, data ? TransferDirection::kFromDevice : TransferDirection::kNone);
    const SmartIoctl io = BuildSmartIoctl(s.regs, s.driveNumber, s.mode);
    EXPECT_EQ(io.controlCode, c.code);
    EXPECT_EQ(io.outputSize, c.outputSize);
    EXPECT_EQ(Hex(io.input, sizeof io.input), c.ioctl + zeros);
    EXPECT_EQ(buffer[511], data ? 0xAB : 0) << "the sector comes back";
  }
  tap.outcome.callSucceeded = false;
  std::uint8_t buffer[512] = {};
  EXPECT_EQ(SendAtaCommand(kSmartReadData, 0, buffer), kAtaFailed);
  EXPECT_EQ(buffer[0], 0) << "nothing comes back from a failed call";
}

// CHECK POWER MODE is a non-data command that asks the registers back;
// the count register tells the mode. Only a ready status with a known
// count is believed: a bridge that answers without registers, or a drive
// that fails the command, must not read as asleep for ever.
TEST_F(ChannelTest, PowerModeFromTheCountRegister) {
  struct Case {
    bool call;
    std::uint8_t driverError, status, count;
    PowerMode mode;
  };
  const Case cases[] = {
      {true, 0, 0x50, 0x00, PowerMode::kStandby},    {true, 0, 0x40, 0x01, PowerMode::kStandby},
      {true, 0, 0x50, 0x80, PowerMode::kActive},     {true, 0, 0x50, 0x83, PowerMode::kActive},
      {true, 0, 0x50, 0xFF, PowerMode::kActive},     {true, 0, 0x50, 0x41, PowerMode::kActive},
      {true, 0, 0x50, 0x7F, PowerMode::kUnknown},    {true, 0, 0x00, 0x00, PowerMode::kUnknown},
      {true, 0x51, 0x51, 0x00, PowerMode::kUnknown}, {false, 0, 0x50, 0x00, PowerMode::kUnknown},
  };
  for (const Case& c : cases) {
    tap.outcome = AtaOutcome{c.call, 5, c.driverError, 0x04, {}};
    tap.outcome.returned.sectorCount = c.count;
    tap.outcome.returned.command = c.status;
    EXPECT_EQ(CheckPowerMode(4), c.mode) << int(c.count) << " status " << int(c.status);
  }
  const PassThroughCommand cdb = BuildPassThrough(tap.sent[0].regs, tap.sent[0].mode);
  EXPECT_EQ(Hex(cdb.cdb, sizeof cdb.cdb), "85 06 20 00 00 00 00 00 00 00 00 00 00 A0 E5 00 ");
  EXPECT_EQ(tap.sent[0].handle, 0x44);
  EXPECT_TRUE(sink.boxes.empty() && sink.notes.empty()) << "a power check reports nothing";
  // The slots a scan resets hold no handle (0 is standard input on Linux)
  // by the time it asks the platform anything.
  ScanDrives(nullptr, nullptr);
  EXPECT_EQ(tap.unset, 0);
  ShutdownDrives();
}

// On the 9x family one driver device serves drives 0-3; its device map
// leaves out packet devices, and a drive without SMART keeps the device
// open for the others.
using Win9xTest = SimTest;

TEST_F(Win9xTest, ScanUsesTheSharedDriverHandle) {
  Scan(
      "[Platform]\nFamily = 9x\n[Drive0]\nModel = A\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive1]\nModel = B\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive2]\nPacket = 5\n[Drive3]\nModel = D\nSmartSupported = 0\n");
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(Drive(1).state, Present | Usable);
  EXPECT_EQ(Drive(2).state, 0u) << "the device map marks it a packet device";
  EXPECT_EQ(Drive(3).state, Present);
  EXPECT_EQ(sim->OpenHandles(), 1);
  EXPECT_EQ(RereadSmart(0xF), 0b11u);
  ShutdownDrives();
  EXPECT_EQ(sim->OpenHandles(), 0);
}

// The driver device not found: where its file lies says why. Other open
// failures are silent.
TEST_F(Win9xTest, MissingDriverIsDiagnosedByWhereItsFileLies) {
  struct Case {
    const char* platform;
    const char* text;  // nullptr: no box
    int style;
  };
  const Case cases[] = {
      {"Driver = unloaded",
       "ドライバ \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\\SMARTVSD.VXD\" はロードされていません."
       "\rおそらくIDE/ATAデバイスが存在しません.",
       kStyleQuestion},
      {"Driver = misplaced",
       "ドライバが正しくインストールされていません.\r\"C:\\WINDOWS\\SYSTEM\"の "
       "SMARTVSD.VXD を \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\"に移動して\r"
       "Windowsを再起動して下さい.",
       kStyleInformation},
      {"Driver = missing", "SMARTVSD.VXD が \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\"に存在しません.",
       kStyleStop},
      {"Fail = open", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    sink.Clear();
    int owner;
    Scan(std::string("[Platform]\nFamily = 9x\n") + c.platform + "\n[Drive0]\nModel = A\n", &owner);
    EXPECT_EQ(Drive(0).state, 0u);
    ASSERT_EQ(sink.boxes.size(), c.text ? 1u : 0u);
    if (c.text == nullptr) continue;
    EXPECT_EQ(sink.boxes[0].text, c.text);
    EXPECT_EQ(sink.boxes[0].caption, "Varne");
    EXPECT_EQ(sink.boxes[0].owner, nullptr) << "not the scan's owner window";
    EXPECT_EQ(sink.boxes[0].style, c.style);
    ShutdownDrives();
  }
}

// The output: error bytes 4 and 5 of the header, then the sector or the
// registers.
TEST(SmartIoctl, OutputGivesErrorBytesAndDataOrRegisters) {
  std::uint8_t out[16 + 512] = {0, 0, 0, 0, 0x01, 0x04};
  for (int i = 0; i < 512; ++i) out[16 + i] = static_cast<std::uint8_t>(0x10 + i);
  AtaOutcome outcome{};
  std::uint8_t sector[512] = {};
  ReadSmartOutput(out, AtaDataMode::kSectorIn, &outcome, sector);
  EXPECT_EQ(outcome.driverError, 0x01);
  EXPECT_EQ(outcome.ideError, 0x04);
  EXPECT_EQ(Hex(sector, 512), Hex(out + 16, 512));
  ReadSmartOutput(out, AtaDataMode::kReturnRegisters, &outcome, nullptr);
  EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(&outcome.returned), 8),
            "10 11 12 13 14 15 16 17 ");
}

}  // namespace
}  // namespace kestrel
