// Which Linux devices are the drives, and the 12-byte pass-through that
// USB bridges take when they refuse the 16-byte one.
#include <gtest/gtest.h>

#include <cerrno>

#include "ata/disk_names.h"
#include "ata/sat_passthrough.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// SCSI disks first, then NVMe namespaces, each in kernel order (sda ..
// sdz, sdaa ..); drive N of the channel's device names is the N-th of them.
TEST(LinuxDisks, WholeDisksInKernelOrderAndTheChannelsIndex) {
  EXPECT_EQ(OrderWholeDisks({"nvme10n1", "sdb", "nvme0n1p1", "loop0", "nvme1n1", "sda1", "sdaa",
                             "sd", "nvme0n1", "sr0", "nvme0c0n1", "sdz", ".", "sdab", "sda"}),
            (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa", "sdab", "nvme0n1", "nvme1n1",
                                      "nvme10n1"}));
  EXPECT_EQ(NvmeControllerOf("nvme12n3"), "nvme12");
  EXPECT_EQ(NvmeControllerOf("nvme0n1p2"), "");
  const std::string drive = "\\\\.\\PhysicalDrive";
  EXPECT_EQ(PhysicalDriveIndex(drive + "10"), 10);
  EXPECT_EQ(PhysicalDriveIndex("//./PhysicalDrive1"), -1);
  for (const char* bad : {"", "1x", "99999999999"}) EXPECT_EQ(PhysicalDriveIndex(drive + bad), -1);
}

TEST(LinuxDisks, PassThrough12CarriesTheSameCommandInTwelveBytes) {
  const AtaRegisters smartRead{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
  const PassThroughCommand c = BuildPassThrough12(smartRead, AtaDataMode::kSectorIn);
  const std::uint8_t expected[12] = {0xA1, 0x08, 0x0E, 0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0};
  EXPECT_EQ(Hex(c.cdb, 12), Hex(expected, 12));
  EXPECT_EQ(c.cdbLength, 12);
  EXPECT_EQ(c.transferLength, 512u);
  EXPECT_EQ(BuildPassThrough(smartRead, AtaDataMode::kSectorIn).cdbLength, 16);

  AtaOutcome refused{};
  refused.errorCode = EOPNOTSUPP;
  EXPECT_TRUE(PassThroughRefused(refused));
  refused.errorCode = EIO;
  EXPECT_FALSE(PassThroughRefused(refused)) << "a failing transport is no refusal";
}

}  // namespace
}  // namespace kestrel
