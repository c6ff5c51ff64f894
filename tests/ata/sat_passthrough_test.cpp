// The ATA PASS-THROUGH records of the Linux backend, byte for byte, the
// sense data the kernel answers with, and the drive-index naming.
#include "ata/sat_passthrough.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "ata/disk_names.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Cdb(const PassThroughCommand& c) { return Bytes(c.cdb, c.cdb + sizeof c.cdb); }

// The channel's registers for each command (NT family).
constexpr AtaRegisters kIdentify{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
constexpr AtaRegisters kReadData{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
constexpr AtaRegisters kEnable{0xD8, 0, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
constexpr AtaRegisters kReturnStatus{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};

TEST(PassThroughCdb, SectorCommandsArePioDataInSizedBySectorCount) {
  PassThroughCommand c = BuildPassThrough(kIdentify, AtaDataMode::kSectorIn);
  EXPECT_EQ(Cdb(c), (Bytes{0x85, 0x08, 0x0E, 0, 0xEC, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0}));
  EXPECT_EQ(c.direction, TransferDirection::kFromDevice);
  EXPECT_EQ(c.transferLength, 512u);

  c = BuildPassThrough(kReadData, AtaDataMode::kSectorIn);
  EXPECT_EQ(Cdb(c),
            (Bytes{0x85, 0x08, 0x0E, 0, 0xD0, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  EXPECT_EQ(c.transferLength, 512u);
}

TEST(PassThroughCdb, NonDataCommandsAndReturnStatusWithCheckCondition) {
  PassThroughCommand c = BuildPassThrough(kEnable, AtaDataMode::kNone);
  EXPECT_EQ(Cdb(c),
            (Bytes{0x85, 0x06, 0x00, 0, 0xD8, 0, 0, 0, 0x01, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  EXPECT_EQ(c.direction, TransferDirection::kNone);
  EXPECT_EQ(c.transferLength, 0u);

  c = BuildPassThrough(kReturnStatus, AtaDataMode::kReturnRegisters);
  EXPECT_EQ(Cdb(c),
            (Bytes{0x85, 0x06, 0x20, 0, 0xDA, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  EXPECT_EQ(c.transferLength, 0u);
}

// Descriptor-format sense with the ATA Status Return descriptor, as the
// kernel answers a command sent with CK_COND.
Bytes DescriptorSense(std::uint8_t key, std::uint8_t error, std::uint8_t lbaMid,
                      std::uint8_t lbaHigh, std::uint8_t status) {
  return Bytes{0x72, key,  0x00, 0x1D,  0, 0,    0, 0x0E,  //
               0x09, 0x0C, 0x00, error, 0, 0x00, 0, 0x00, 0, lbaMid, 0, lbaHigh, 0xA0, status};
}

AtaOutcome Read(std::uint8_t scsiStatus, const Bytes& sense,
                AtaDataMode mode = AtaDataMode::kReturnRegisters) {
  ScsiResult r{0,
               scsiStatus,
               0,
               static_cast<std::uint16_t>(sense.empty() ? 0 : 0x08),
               sense.data(),
               sense.size()};
  return ReadPassThroughResult(r, mode);
}

TEST(PassThroughSense, ReturnStatusRegistersComeFromTheDescriptor) {
  AtaOutcome good = Read(0x02, DescriptorSense(0x01, 0x00, 0x4F, 0xC2, 0x50));
  EXPECT_TRUE(good.callSucceeded);
  EXPECT_EQ(good.driverError, 0);
  EXPECT_EQ(good.returned.cylinderLow, 0x4F);
  EXPECT_EQ(good.returned.cylinderHigh, 0xC2);
  EXPECT_EQ(good.returned.command, 0x50);
  EXPECT_EQ(good.returned.driveHead, 0xA0);

  AtaOutcome failing = Read(0x02, DescriptorSense(0x01, 0x00, 0xF4, 0x2C, 0x50));
  EXPECT_TRUE(failing.callSucceeded);
  EXPECT_EQ(failing.returned.cylinderLow, 0xF4);
  EXPECT_EQ(failing.returned.cylinderHigh, 0x2C);
}

TEST(PassThroughSense, DescriptorIsFoundBehindOthers) {
  Bytes sense{0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x1A, 0x00, 0x0A,
              0x80, 0,    0,    0,    0, 0, 0, 0,    0,    0};  // information
  Bytes ata = DescriptorSense(0x01, 0, 0x4F, 0xC2, 0x50);
  sense.insert(sense.end(), ata.begin() + 8, ata.end());
  AtaOutcome out = Read(0x02, sense);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.returned.cylinderHigh, 0xC2);
}

TEST(PassThroughSense, AtaErrorIsADriverErrorWithStatusAndErrorRegisters) {
  AtaOutcome out = Read(0x02, DescriptorSense(0x0B, 0x04, 0, 0, 0x51), AtaDataMode::kSectorIn);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.driverError, 0x51);
  EXPECT_EQ(out.ideError, 0x04);

  // A device fault without ERR fails as well.
  out = Read(0x02, DescriptorSense(0x04, 0x00, 0, 0, 0x60));
  EXPECT_EQ(out.driverError, 0x60);
}

TEST(PassThroughSense, FixedFormatInBothLayouts) {
  // Linux 6.1 answering SMART READ DATA with SMART off: error, status,
  // device, count in bytes 8-11, LBA low in byte 17.
  Bytes kernel{0x70, 0,    0x0B, 0,    0, 0,    0,    0x0A, 0x04,
               0x41, 0xA0, 0x01, 0x00, 0, 0x00, 0x00, 0,    0x01};
  AtaOutcome out = Read(0x02, kernel, AtaDataMode::kSectorIn);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.driverError, 0x41);
  EXPECT_EQ(out.ideError, 0x04);

  // The standard layout: the same four registers in bytes 3-6, the LBA in
  // bytes 9-11.
  Bytes standard{0x70, 0,    0x01, 0x00, 0x50, 0x40, 0x00, 0x0A, 0x00,
                 0x00, 0xF4, 0x2C, 0x00, 0x1D, 0,    0,    0,    0};
  out = Read(0x02, standard);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.driverError, 0);
  EXPECT_EQ(out.returned.cylinderLow, 0xF4);
  EXPECT_EQ(out.returned.cylinderHigh, 0x2C);
  standard[3] = 0x04;
  standard[4] = 0x51;
  standard[2] = 0x0B;
  out = Read(0x02, standard);
  EXPECT_EQ(out.driverError, 0x51);
  EXPECT_EQ(out.ideError, 0x04);
}

TEST(PassThroughSense, ShortOrMissingSense) {
  // The ATA descriptor cut off: no registers, so RETURN STATUS reads none
  // (the channel then reports the status command as failed).
  Bytes cut = DescriptorSense(0x01, 0, 0x4F, 0xC2, 0x50);
  cut.resize(16);
  AtaOutcome out = Read(0x02, cut);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.returned.cylinderLow, 0);
  EXPECT_EQ(out.returned.cylinderHigh, 0);

  // A check condition without any sense is not an answer.
  out = Read(0x02, Bytes{});
  EXPECT_FALSE(out.callSucceeded);
  EXPECT_EQ(out.errorCode, static_cast<std::uint32_t>(EIO));

  // Plain success of a data command carries no sense.
  out = Read(0x00, Bytes{}, AtaDataMode::kSectorIn);
  EXPECT_TRUE(out.callSucceeded);
  EXPECT_EQ(out.driverError, 0);
}

TEST(PassThroughSense, FailedCallsAndTransportErrorsCarryAnErrno) {
  ScsiResult r{EACCES, 0, 0, 0, nullptr, 0};
  AtaOutcome out = ReadPassThroughResult(r, AtaDataMode::kSectorIn);
  EXPECT_FALSE(out.callSucceeded);
  EXPECT_EQ(out.errorCode, static_cast<std::uint32_t>(EACCES));

  r = ScsiResult{0, 0, 0x03, 0, nullptr, 0};  // host: timed out
  EXPECT_EQ(ReadPassThroughResult(r, AtaDataMode::kNone).errorCode,
            static_cast<std::uint32_t>(ETIMEDOUT));
  r = ScsiResult{0, 0, 0x07, 0, nullptr, 0};  // host: error
  EXPECT_EQ(ReadPassThroughResult(r, AtaDataMode::kNone).errorCode,
            static_cast<std::uint32_t>(EIO));
  r = ScsiResult{0, 0x08, 0, 0, nullptr, 0};  // SCSI BUSY
  EXPECT_FALSE(ReadPassThroughResult(r, AtaDataMode::kNone).callSucceeded);

  // A SCSI device that refuses the command itself, with no ATA answer.
  Bytes refused{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0};
  out = Read(0x02, refused, AtaDataMode::kSectorIn);
  EXPECT_FALSE(out.callSucceeded);
  EXPECT_EQ(out.errorCode, static_cast<std::uint32_t>(EOPNOTSUPP));
}

TEST(DiskNames, WholeDisksInKernelOrder) {
  EXPECT_TRUE(IsWholeScsiDisk("sda"));
  EXPECT_TRUE(IsWholeScsiDisk("sdaa"));
  EXPECT_FALSE(IsWholeScsiDisk("sda1"));
  EXPECT_FALSE(IsWholeScsiDisk("sd"));
  EXPECT_FALSE(IsWholeScsiDisk("sr0"));
  EXPECT_FALSE(IsWholeScsiDisk("nvme0n1"));
  EXPECT_EQ(OrderWholeDisks({"sdaa", "loop0", "sdb", "sdz", ".", "sda", "sdb1", "sdab"}),
            (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa", "sdab"}));
}

TEST(DiskNames, ChannelDeviceNameGivesTheIndex) {
  EXPECT_EQ(PhysicalDriveIndex("\\\\.\\PhysicalDrive0"), 0);
  EXPECT_EQ(PhysicalDriveIndex("\\\\.\\PhysicalDrive9"), 9);
  EXPECT_EQ(PhysicalDriveIndex("\\\\.\\PhysicalDrive"), -1);
  EXPECT_EQ(PhysicalDriveIndex("\\\\.\\PhysicalDrive1x"), -1);
  EXPECT_EQ(PhysicalDriveIndex("\\\\.\\SMARTVSD"), -1);
}

}  // namespace
}  // namespace kestrel
