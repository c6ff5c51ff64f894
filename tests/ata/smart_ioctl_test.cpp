// The Windows SMART records, byte for byte.
#include "ata/smart_ioctl.h"

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr AtaRegisters kIdentify{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
constexpr AtaRegisters kReadDataSlave{0xD0, 1, 1, 0x4F, 0xC2, 0xB0, 0xB0, 0};
constexpr AtaRegisters kEnable{0xD8, 0, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
constexpr AtaRegisters kReturnStatus{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};

TEST(SmartIoctl, ControlCodeInputRecordAndOutputSizeOfEachCommand) {
  using M = AtaDataMode;
  struct Case {
    AtaRegisters regs;
    std::uint8_t drive;
    M mode;
    std::uint32_t code;
    std::uint32_t outputSize;
    const char* input;  // the first 16 bytes; the other 16 stay 0
  };
  const Case cases[] = {
      // IDENTIFY on the NT family: cBufferSize 512, the registers.
      {kIdentify, 0, M::kSectorIn, 0x7C088, 16 + 512,
       "00 02 00 00 EC 01 00 00 00 A0 EC 00 00 00 00 00 "},
      // READ DATA for an odd drive on the 9x family: its drive number.
      {kReadDataSlave, 3, M::kSectorIn, 0x7C088, 16 + 512,
       "00 02 00 00 D0 01 01 4F C2 B0 B0 00 03 00 00 00 "},
      // Commands without data are sent, with short outputs.
      {kEnable, 0, M::kNone, 0x7C084, 16, "00 00 00 00 D8 00 01 4F C2 A0 B0 00 00 00 00 00 "},
      {kReturnStatus, 0, M::kReturnRegisters, 0x7C084, 16 + 8,
       "00 00 00 00 DA 00 00 4F C2 A0 B0 00 00 00 00 00 "},
  };
  const std::string zeros = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ";
  for (const Case& c : cases) {
    const SmartIoctl io = BuildSmartIoctl(c.regs, c.drive, c.mode);
    EXPECT_EQ(io.controlCode, c.code) << c.input;
    EXPECT_EQ(io.outputSize, c.outputSize) << c.input;
    EXPECT_EQ(Hex(io.input, sizeof io.input), c.input + zeros);
  }
}

TEST(SmartIoctl, OutputGivesErrorBytesAndDataOrRegisters) {
  std::uint8_t out[16 + 512] = {};
  out[4] = 0x01;
  out[5] = 0x04;
  for (int i = 0; i < 8; ++i) out[16 + i] = static_cast<std::uint8_t>(0x10 + i);
  out[16 + 511] = 0x77;

  AtaOutcome outcome{};
  std::uint8_t sector[512] = {};
  ReadSmartOutput(out, AtaDataMode::kSectorIn, &outcome, sector);
  EXPECT_EQ(outcome.driverError, 0x01);
  EXPECT_EQ(outcome.ideError, 0x04);
  EXPECT_EQ(sector[0], 0x10);
  EXPECT_EQ(sector[511], 0x77);

  outcome = AtaOutcome{};
  ReadSmartOutput(out, AtaDataMode::kReturnRegisters, &outcome, nullptr);
  EXPECT_EQ(outcome.returned.features, 0x10);
  EXPECT_EQ(outcome.returned.cylinderLow, 0x13);
  EXPECT_EQ(outcome.returned.cylinderHigh, 0x14);
  EXPECT_EQ(outcome.returned.reserved, 0x17);
}

TEST(SmartIoctl, DeviceMapIsTheFourthVersionByte) {
  const std::uint8_t version[24] = {1, 1, 0, 0x35};
  EXPECT_EQ(DeviceMapOf(version), 0x35);
}

}  // namespace
}  // namespace kestrel
