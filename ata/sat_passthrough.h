// The records of ATA commands sent through a SCSI layer (SCSI/ATA
// Translation, as Linux's libata and most USB bridges speak it), built and
// read as plain bytes so that they are checked on every platform. The
// Linux backend only hands these bytes to SG_IO.
//
// ATA PASS-THROUGH (16) CDB:
//   0 opcode 0x85, 1 protocol << 1 (3 non-data, 4 PIO data-in),
//   2 CK_COND 0x20 | T_DIR 0x08 | BYTE_BLOCK 0x04 | T_LENGTH (2: the
//     sector count holds the length in 512-byte blocks),
//   3/4 features 15:8/7:0, 5/6 count 15:8/7:0, 7/8 LBA 31:24/7:0,
//   9/10 LBA 39:32/15:8, 11/12 LBA 47:40/23:16, 13 device, 14 command,
//   15 control.
// The registers come back in the ATA Status Return sense descriptor (code
// 0x09, 14 bytes): 3 error, 5 count, 7 LBA low, 9 LBA mid, 11 LBA high,
// 12 device, 13 status. Failed commands may come back in fixed-format
// sense instead (see ReadPassThroughResult).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ata/ata_platform.h"

namespace kestrel {

constexpr std::size_t kPassThroughCdbSize = 16;
constexpr std::size_t kSenseCapacity = 32;

enum class TransferDirection { kNone, kFromDevice };

struct PassThroughCommand {
  std::uint8_t cdb[kPassThroughCdbSize];
  std::uint8_t cdbLength;  // 16, or 12 for ATA PASS-THROUGH (12)
  TransferDirection direction;
  std::uint32_t transferLength;  // bytes the device sends back
};

// The CDB for one command of the channel: PIO data-in of `sectorCount`
// sectors for kSectorIn, non-data otherwise; kReturnRegisters asks for the
// registers back (CK_COND).
PassThroughCommand BuildPassThrough(const AtaRegisters& regs, AtaDataMode mode);

// The same as ATA PASS-THROUGH (12), which many USB bridges take when they
// refuse the 16-byte form: 0 opcode 0xA1, 1 and 2 as above, 3 features,
// 4 count, 5/6/7 LBA low/mid/high, 8 device, 9 command, 11 control.
PassThroughCommand BuildPassThrough12(const AtaRegisters& regs, AtaDataMode mode);

// Whether an outcome is the SCSI layer refusing the command itself
// (ILLEGAL REQUEST without an ATA answer): another form may be taken.
bool PassThroughRefused(const AtaOutcome& outcome);

// What the SCSI generic driver reported for one command.
struct ScsiResult {
  int callError;               // errno of a failed ioctl, else 0
  std::uint8_t status;         // SCSI status (0 good, 2 check condition)
  std::uint16_t hostStatus;    // the host adapter's code (0 fine)
  std::uint16_t driverStatus;  // the driver's code (0 or sense present, fine)
  const std::uint8_t* sense;
  std::size_t senseLength;  // bytes of sense actually written
};

// The ATA registers a sense buffer carries, in IDEREGS order after the
// command: features = error, command = status. False when there are none
// (no sense, a sense without the ATA descriptor, or one too short).
bool ReadAtaRegisters(const std::uint8_t* sense, std::size_t length, AtaRegisters* regs);

// Maps one command's result onto the channel's terms: a failed call or a
// host/transport failure is a failed device call with an errno; an ATA
// error (status ERR or device fault) is a driver error with the status and
// error registers; success gives the registers back for kReturnRegisters.
AtaOutcome ReadPassThroughResult(const ScsiResult& result, AtaDataMode mode);

}  // namespace kestrel
