// The records of the Windows SMART control codes, built and read as plain
// bytes so that their layout is checked on every platform. The Win32
// backend only hands these bytes to DeviceIoControl.
//
// SENDCMDINPARAMS (passed as 32 bytes, its one-byte data tail left out):
//   0 cBufferSize (32-bit LE), 4 IDEREGS (8 bytes), 12 bDriveNumber,
//   13 bReserved[3], 16 dwReserved[4].
// SENDCMDOUTPARAMS: 0 cBufferSize, 4 bDriverError, 5 bIDEError,
//   6 bReserved[2], 8 dwReserved[2], 16 the data.
// GETVERSIONINPARAMS (24 bytes): 0 bVersion, 1 bRevision, 2 bReserved,
//   3 bIDEDeviceMap, 4 fCapabilities, 8 dwReserved[4].
#pragma once

#include <cstddef>
#include <cstdint>

#include "ata/ata_platform.h"

namespace kestrel {

constexpr std::uint32_t kSmartGetVersion = 0x74080;
constexpr std::uint32_t kSmartSendDriveCommand = 0x7C084;
constexpr std::uint32_t kSmartRcvDriveData = 0x7C088;

constexpr std::size_t kSendCmdInSize = 32;
constexpr std::size_t kSendCmdOutHeaderSize = 16;
constexpr std::size_t kGetVersionSize = 24;
constexpr std::size_t kSmartOutputCapacity = kSendCmdOutHeaderSize + 512;

struct SmartIoctl {
  std::uint32_t controlCode;
  std::uint8_t input[kSendCmdInSize];
  std::uint32_t outputSize;  // bytes of SENDCMDOUTPARAMS to pass
};

// The control code, input record and output length for one command.
SmartIoctl BuildSmartIoctl(const AtaRegisters& regs, std::uint8_t driveNumber, AtaDataMode mode);

// Reads a SENDCMDOUTPARAMS record that a successful call filled: the two
// error bytes, and the sector (into `sector`, 512 bytes) or the returned
// registers. `output` holds at least BuildSmartIoctl's outputSize bytes.
void ReadSmartOutput(const std::uint8_t* output, AtaDataMode mode, AtaOutcome* outcome,
                     std::uint8_t* sector);

// The device map byte of a GETVERSIONINPARAMS record.
inline std::uint8_t DeviceMapOf(const std::uint8_t version[kGetVersionSize]) { return version[3]; }

}  // namespace kestrel
