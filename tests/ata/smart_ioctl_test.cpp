// What the Windows SMART records give back. The input record of each
// command is checked in tests/ata/ata_channel_test.cpp.
#include "ata/smart_ioctl.h"

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

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
