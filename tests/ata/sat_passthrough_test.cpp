// The Linux backend's pieces: the sense data the kernel answers its ATA
// PASS-THROUGH with, which devices are the drives, and the 12-byte
// pass-through that USB bridges take when they refuse the 16-byte one. The
// CDB of each command is checked in tests/ata/ata_channel_test.cpp.
#include "ata/sat_passthrough.h"

#include <cerrno>
#include <string>
#include <vector>

#include "ata/disk_names.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "HH HH ..." as bytes.
Bytes FromHex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// Descriptor-format sense with the ATA Status Return descriptor, as the
// kernel answers a command sent with CK_COND.
Bytes DescriptorSense(std::uint8_t key, std::uint8_t error, std::uint8_t lbaMid,
                      std::uint8_t lbaHigh, std::uint8_t status) {
  return Bytes{0x72, key,  0x00, 0x1D,  0, 0,    0, 0x0E,  //
               0x09, 0x0C, 0x00, error, 0, 0x00, 0, 0x00, 0, lbaMid, 0, lbaHigh, 0xA0, status};
}

// "errno N", or "ok" with the driver and IDE error bytes and the returned
// registers.
std::string Outcome(const AtaOutcome& o) {
  if (!o.callSucceeded) return "errno " + std::to_string(o.errorCode);
  char errors[16];
  std::snprintf(errors, sizeof errors, "ok %02X/%02X ", o.driverError, o.ideError);
  return errors + Hex(reinterpret_cast<const std::uint8_t*>(&o.returned), sizeof o.returned);
}

TEST(PassThroughSense, OutcomeOfEachKindOfAnswer) {
  using M = AtaDataMode;
  const std::string none = "00 00 00 00 00 00 00 00 ";
  const std::string eio = "errno " + std::to_string(EIO);
  Bytes behind = FromHex("72 01 00 1D 00 00 00 1A 00 0A 80 00 00 00 00 00 00 00 00 00");
  const Bytes ata = DescriptorSense(0x01, 0, 0x4F, 0xC2, 0x50);
  behind.insert(behind.end(), ata.begin() + 8, ata.end());
  Bytes cut = ata;
  cut.resize(16);
  struct Case {
    const char* what;
    int callError;
    std::uint8_t status;
    std::uint16_t host;
    Bytes sense;
    M mode;
    std::string outcome;
  };
  const Case cases[] = {
      // RETURN STATUS: the registers come from the descriptor.
      {"good", 0, 2, 0, ata, M::kReturnRegisters, "ok 00/00 00 00 00 4F C2 A0 50 00 "},
      {"behind an information descriptor", 0, 2, 0, behind, M::kReturnRegisters,
       "ok 00/00 00 00 00 4F C2 A0 50 00 "},
      // An ATA error is a driver error with the status and error registers;
      // so is a device fault without ERR.
      {"ATA error", 0, 2, 0, DescriptorSense(0x0B, 0x04, 0, 0, 0x51), M::kSectorIn,
       "ok 51/04 " + none},
      {"device fault", 0, 2, 0, DescriptorSense(0x04, 0, 0, 0, 0x60), M::kReturnRegisters,
       "ok 60/00 " + none},
      // Fixed format as Linux 6.1 writes it for SMART READ DATA with SMART
      // off: error, status, device, count in bytes 8-11, LBA low in 17.
      {"fixed, kernel layout", 0, 2, 0,
       FromHex("70 00 0B 00 00 00 00 0A 04 41 A0 01 00 00 00 00 00 01"), M::kSectorIn,
       "ok 41/04 " + none},
      // The standard layout: the four registers in bytes 3-6, LBA in 9-11.
      {"fixed, standard layout", 0, 2, 0,
       FromHex("70 00 01 04 50 40 03 0A 00 09 F4 2C 00 1D 00 00 00 00"), M::kReturnRegisters,
       "ok 00/00 04 03 09 F4 2C 40 50 00 "},
      // The descriptor cut off: no registers, so RETURN STATUS reads none
      // (the channel then reports the status command as failed).
      {"cut descriptor", 0, 2, 0, cut, M::kReturnRegisters, "ok 00/00 " + none},
      {"check condition without sense", 0, 2, 0, Bytes(), M::kReturnRegisters, eio},
      {"plain success of a data command", 0, 0, 0, Bytes(), M::kSectorIn, "ok 00/00 " + none},
      // Failed calls and transport errors carry an errno.
      {"failed call", EACCES, 0, 0, Bytes(), M::kSectorIn, "errno " + std::to_string(EACCES)},
      {"host timed out", 0, 0, 0x03, Bytes(), M::kNone, "errno " + std::to_string(ETIMEDOUT)},
      {"host error", 0, 0, 0x07, Bytes(), M::kNone, eio},
      {"SCSI busy", 0, 0x08, 0, Bytes(), M::kNone, eio},
      // A SCSI device that refuses the command itself, with no ATA answer.
      {"illegal request", 0, 2, 0, FromHex("70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 00 00 00"),
       M::kSectorIn, "errno " + std::to_string(EOPNOTSUPP)},
  };
  for (const Case& c : cases) {
    const std::uint16_t driver = c.sense.empty() ? 0 : 0x08;  // sense came along
    const std::uint8_t* sense = c.sense.empty() ? nullptr : c.sense.data();
    const ScsiResult result{c.callError, c.status, c.host, driver, sense, c.sense.size()};
    EXPECT_EQ(Outcome(ReadPassThroughResult(result, c.mode)), c.outcome) << c.what;
  }
}

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
