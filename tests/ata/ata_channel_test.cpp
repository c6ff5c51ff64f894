// The command channel's register values, result rules, messages, the two
// platform families and the 9x driver diagnosis.
#include "ata/ata_channel.h"

#include <cstring>
#include <string>

#include "ata/ata_platform.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// A platform that records the last command and answers as scripted.
class ScriptedPlatform final : public AtaPlatform {
 public:
  bool IsWin9xFamily() override { return win9x; }
  DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) override {
    opened.push_back(name);
    *errorCode = openError;
    return openError ? kInvalidDeviceHandle : 7;
  }
  bool ProbeDevice(DeviceHandle, std::uint8_t* map) override {
    *map = deviceMap;
    return true;
  }
  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& r, std::uint8_t number,
                         AtaDataMode m, std::uint8_t* sector) override {
    lastHandle = handle;
    regs = r;
    driveNumber = number;
    mode = m;
    if (sector != nullptr && m == AtaDataMode::kSectorIn) std::memset(sector, 0xAB, 512);
    ++sent;
    return outcome;
  }
  bool CloseDevice(DeviceHandle) override { return closeSucceeds; }
  bool SystemDirectory(char* out, std::size_t) override {
    std::strcpy(out, "C:\\WINDOWS\\SYSTEM");
    return true;
  }
  bool FileExists(const char* path) override { return existing == path; }

  bool win9x = false;
  std::uint32_t openError = 0;
  std::uint8_t deviceMap = 0;
  bool closeSucceeds = true;
  std::string existing;
  std::vector<std::string> opened;
  AtaOutcome outcome{true, 0, 0, 0, {}};
  DeviceHandle lastHandle = 0;
  AtaRegisters regs{};
  std::uint8_t driveNumber = 0xFF;
  AtaDataMode mode = AtaDataMode::kNone;
  int sent = 0;
};

class ChannelTest : public SimTest {
 protected:
  void SetUp() override {
    Install("");
    InstallServices(Services{&platform, sim.get(), &sink});
    std::memset(TheDriveTable().records, 0, sizeof TheDriveTable().records);
    for (DriveRecord& r : TheDriveTable().records) r.handle = kInvalidDeviceHandle;
    TheDriveTable().isWin9x = false;
    TheDriveTable().ownerWindow = nullptr;
    TheDriveTable().statusWindow = nullptr;
  }
  void TearDown() override {
    for (DriveRecord& r : TheDriveTable().records) r.handle = kInvalidDeviceHandle;
  }
  void StatusRegisters(std::uint8_t low, std::uint8_t high) {
    platform.outcome.returned.cylinderLow = low;
    platform.outcome.returned.cylinderHigh = high;
  }
  ScriptedPlatform platform;
};

TEST_F(ChannelTest, UnknownCommandFailsSilentlyWithoutSending) {
  EXPECT_EQ(SendAtaCommand(0xB0, 0, nullptr), kAtaFailed);
  EXPECT_EQ(SendAtaCommand(0xE7, 0, nullptr), kAtaFailed);
  EXPECT_EQ(platform.sent, 0);
  EXPECT_TRUE(sink.notes.empty());
}

TEST_F(ChannelTest, RegistersOfEachCommandOnNtFamily) {
  TheDriveTable().records[5].handle = 42;
  const std::pair<std::uint8_t, const char*> cases[] = {
      {kIdentifyPacketDevice, "A1 01 00 00 00 A0 A1 00 "},
      {kSmartReadThresholds, "D1 01 01 4F C2 A0 B0 00 "},
      {kSmartEnableOperations, "D8 00 01 4F C2 A0 B0 00 "}};
  for (const auto& [command, registers] : cases) {
    std::uint8_t buffer[512] = {};
    ASSERT_EQ(SendAtaCommand(command, 5, buffer), kAtaOk);
    EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(&platform.regs), 8), registers);
    EXPECT_EQ(platform.lastHandle, 42);
    EXPECT_EQ(platform.driveNumber, 0);
    const bool data = command != kSmartEnableOperations;
    EXPECT_EQ(platform.mode, data ? AtaDataMode::kSectorIn : AtaDataMode::kNone);
    EXPECT_EQ(buffer[511], data ? 0xAB : 0) << "the sector comes back";
  }
}

// Only ok and exceeded are answers; a drive that reports failure is still
// watched.
TEST_F(ChannelTest, ReturnStatusRegisterPairs) {
  TheDriveTable().records[0].status = SmartSupported;
  StatusRegisters(0x4F, 0xC2);
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 0, nullptr), kAtaOk);
  EXPECT_EQ(ReadSmartStatus(0), SmartSupported | SmartEnabled);
  StatusRegisters(0xF4, 0x2C);
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 0, nullptr), kAtaThresholdExceeded);
  EXPECT_EQ(ReadSmartStatus(0), SmartSupported | SmartEnabled);
  EXPECT_EQ(platform.mode, AtaDataMode::kReturnRegisters);
  EXPECT_TRUE(sink.notes.empty());
  StatusRegisters(0x00, 0x00);
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 4, nullptr), kAtaFailed);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "ドライブ4のSMARTステータスコマンドが失敗しました.");
  EXPECT_EQ(sink.boxes[0].style, kStyleStop);
  sink.Clear();
  platform.outcome.callSucceeded = false;
  EXPECT_EQ(ReadSmartStatus(0), SmartSupported);
  EXPECT_TRUE(sink.notes.empty());
}

TEST_F(ChannelTest, FailedCallsAndDriverErrorsAreReported) {
  platform.outcome = AtaOutcome{false, 0x1234ABCD, 0, 0, {}};
  std::uint8_t buffer[512] = {};
  EXPECT_EQ(SendAtaCommand(kSmartReadData, 2, buffer), kAtaFailed);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "DeviceIoControl(2)に失敗しました!(1234ABCD/305441741)");
  EXPECT_EQ(buffer[0], 0) << "nothing is copied on failure";
  // A failed RETURN STATUS call alone is not reported.
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 2, nullptr), kAtaFailed);
  EXPECT_EQ(sink.boxes.size(), 1u);

  // A driver error is reported for every command, RETURN STATUS included.
  platform.outcome = AtaOutcome{true, 0, 0x01, 0x04, {}};
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 1, nullptr), kAtaFailed);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[1].text, "ドライブ1のドライバエラー0x01/IDEエラー=0x04です.");
  for (const auto& box : sink.boxes) EXPECT_EQ(box.style, kStyleStop);
}

TEST_F(ChannelTest, NtFamilyOpensEachPhysicalDrive) {
  OpenAtaDrives();
  ASSERT_EQ(platform.opened.size(), 10u);
  EXPECT_EQ(platform.opened[0], "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(platform.opened[9], "\\\\.\\PhysicalDrive9");
  for (const DriveRecord& r : TheDriveTable().records) EXPECT_EQ(r.state, Present);
}

TEST_F(ChannelTest, Win9xDeviceMapMarksAtaDrivesOnly) {
  TheDriveTable().isWin9x = true;
  platform.deviceMap = 0x31;  // drive 0 present but a packet device; 1 absent
  OpenAtaDrives();
  ASSERT_EQ(platform.opened.size(), 1u);
  EXPECT_EQ(platform.opened[0], "\\\\.\\SMARTVSD");
  for (const DriveRecord& r : TheDriveTable().records) EXPECT_EQ(r.state, 0u);

  platform.deviceMap = 0x05;
  OpenAtaDrives();
  EXPECT_EQ(TheDriveTable().records[0].state, Present);
  EXPECT_EQ(TheDriveTable().records[1].state, 0u);
  EXPECT_EQ(TheDriveTable().records[2].state, Present);
  EXPECT_EQ(TheDriveTable().records[0].handle, 7);
  EXPECT_EQ(TheDriveTable().records[2].handle, kInvalidDeviceHandle);
}

// The driver device not found: where its file lies says why. Other open
// failures are silent.
TEST_F(ChannelTest, Win9xDriverDiagnosisHasThreeOutcomes) {
  struct Case {
    const char* existing;
    const char* text;
    int style;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\\SMARTVSD.VXD",
       "ドライバ \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\\SMARTVSD.VXD\" はロードされていません."
       "\rおそらくIDE/ATAデバイスが存在しません.",
       kStyleQuestion},
      {"C:\\WINDOWS\\SYSTEM\\SMARTVSD.VXD",
       "ドライバが正しくインストールされていません.\r\"C:\\WINDOWS\\SYSTEM\"の "
       "SMARTVSD.VXD を \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\"に移動して\r"
       "Windowsを再起動して下さい.",
       kStyleInformation},
      {"", "SMARTVSD.VXD が \"C:\\WINDOWS\\SYSTEM\\IOSUBSYS\"に存在しません.", kStyleStop},
  };
  TheDriveTable().isWin9x = true;
  platform.openError = 2;
  for (const Case& c : cases) {
    sink.Clear();
    platform.existing = c.existing;
    OpenAtaDrives();
    ASSERT_EQ(sink.boxes.size(), 1u) << c.existing;
    EXPECT_EQ(sink.boxes[0].text, c.text);
    EXPECT_EQ(sink.boxes[0].caption, "Varne");
    EXPECT_EQ(sink.boxes[0].owner, nullptr);
    EXPECT_EQ(sink.boxes[0].style, c.style);
  }
  sink.Clear();
  platform.openError = 5;
  OpenAtaDrives();
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ChannelTest, CloseFailureIsWrittenToStandardOutput) {
  TheDriveTable().records[3].handle = 11;
  TheDriveTable().records[6].handle = 12;
  platform.closeSucceeds = false;
  testing::internal::CaptureStdout();
  CloseAtaDrives();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "CloseAtaDrives(3) failed!\nCloseAtaDrives(6) failed!\n");
  EXPECT_EQ(TheDriveTable().records[3].handle, kInvalidDeviceHandle);
  EXPECT_EQ(TheDriveTable().records[6].handle, kInvalidDeviceHandle);
}

}  // namespace
}  // namespace kestrel
