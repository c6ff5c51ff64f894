// The Windows SMART records, byte for byte.
#include "ata/smart_ioctl.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel {
namespace {

std::vector<std::uint8_t> Input(const SmartIoctl& io) {
  return std::vector<std::uint8_t>(io.input, io.input + sizeof io.input);
}

TEST(SmartIoctl, IdentifyOnNtFamily) {
  AtaRegisters regs{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
  SmartIoctl io = BuildSmartIoctl(regs, 0, AtaDataMode::kSectorIn);
  EXPECT_EQ(io.controlCode, 0x7C088u);
  EXPECT_EQ(io.outputSize, 16u + 512u);
  std::vector<std::uint8_t> expected(32, 0);
  expected[1] = 0x02;  // cBufferSize 512, little-endian
  const std::uint8_t ide[8] = {0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
  std::copy(ide, ide + 8, expected.begin() + 4);
  EXPECT_EQ(Input(io), expected);
}

TEST(SmartIoctl, ReadDataForOddDriveOnWin9x) {
  AtaRegisters regs{0xD0, 1, 1, 0x4F, 0xC2, 0xB0, 0xB0, 0};
  SmartIoctl io = BuildSmartIoctl(regs, 3, AtaDataMode::kSectorIn);
  const std::uint8_t expected[32] = {0x00, 0x02, 0x00, 0x00, 0xD0, 0x01, 0x01,
                                     0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x03};
  EXPECT_EQ(Input(io), std::vector<std::uint8_t>(expected, expected + 32));
}

TEST(SmartIoctl, CommandsWithoutDataUseSendAndShortOutputs) {
  AtaRegisters enable{0xD8, 0, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
  SmartIoctl io = BuildSmartIoctl(enable, 0, AtaDataMode::kNone);
  EXPECT_EQ(io.controlCode, 0x7C084u);
  EXPECT_EQ(io.outputSize, 16u);
  EXPECT_EQ(io.input[0] | io.input[1] | io.input[2] | io.input[3], 0);

  AtaRegisters status{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};
  io = BuildSmartIoctl(status, 0, AtaDataMode::kReturnRegisters);
  EXPECT_EQ(io.controlCode, 0x7C084u);
  EXPECT_EQ(io.outputSize, 16u + 8u);
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
