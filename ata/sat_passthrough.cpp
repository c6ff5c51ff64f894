#include "ata/sat_passthrough.h"

#include <cerrno>

namespace kestrel {

namespace {

constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kAtaPassThrough12 = 0xA1;
constexpr std::uint8_t kProtocolNonData = 3;
constexpr std::uint8_t kProtocolPioDataIn = 4;
constexpr std::uint8_t kCheckCondition = 0x20;
constexpr std::uint8_t kFromDevice = 0x08;
constexpr std::uint8_t kLengthInBlocks = 0x04;
constexpr std::uint8_t kLengthInSectorCount = 0x02;

constexpr std::uint8_t kScsiGood = 0x00;
constexpr std::uint8_t kScsiCheckCondition = 0x02;
constexpr std::uint16_t kHostTimeOut = 0x03;
constexpr std::uint16_t kDriverTimeOut = 0x06;

constexpr std::uint8_t kSenseNoSense = 0x0;
constexpr std::uint8_t kSenseRecoveredError = 0x1;
constexpr std::uint8_t kSenseIllegalRequest = 0x5;

constexpr std::uint8_t kAtaStatusError = 0x01;
constexpr std::uint8_t kAtaStatusDeviceFault = 0x20;

constexpr std::uint8_t kAtaReturnDescriptor = 0x09;
constexpr std::size_t kAtaReturnDescriptorSize = 14;

bool IsDescriptorFormat(std::uint8_t responseCode) {
  return (responseCode & 0x7F) == 0x72 || (responseCode & 0x7F) == 0x73;
}

bool IsFixedFormat(std::uint8_t responseCode) {
  return (responseCode & 0x7F) == 0x70 || (responseCode & 0x7F) == 0x71;
}

// The sense key, or -1 when the buffer does not hold one.
int SenseKey(const std::uint8_t* sense, std::size_t length) {
  if (sense == nullptr || length < 1) return -1;
  if (IsDescriptorFormat(sense[0]) && length >= 2) return sense[1] & 0x0F;
  if (IsFixedFormat(sense[0]) && length >= 3) return sense[2] & 0x0F;
  return -1;
}

bool ReadDescriptorRegisters(const std::uint8_t* sense, std::size_t length, AtaRegisters* regs) {
  if (length < 8) return false;
  std::size_t end = 8 + static_cast<std::size_t>(sense[7]);
  if (end > length) end = length;
  for (std::size_t at = 8; at + 2 <= end; at += 2 + sense[at + 1]) {
    const std::uint8_t* d = sense + at;
    if (d[0] != kAtaReturnDescriptor) continue;
    if (d[1] < kAtaReturnDescriptorSize - 2 || at + kAtaReturnDescriptorSize > end) {
      return false;
    }
    *regs = AtaRegisters{d[3], d[5], d[7], d[9], d[11], d[12], d[13], 0};
    return true;
  }
  return false;
}

// Fixed-format sense has two layouts in the wild. The standard one puts
// error, status, device and count in the INFORMATION field (bytes 3-6)
// and LBA low, mid and high in bytes 9-11; older Linux kernels write
// error, status, device and count to bytes 8-11 and the LBA to 17-19,
// leaving the INFORMATION field empty. A real answer always has a status
// with some bit set (at least DRDY), which tells the two apart.
bool ReadFixedRegisters(const std::uint8_t* sense, std::size_t length, AtaRegisters* regs) {
  auto at = [&](std::size_t i) -> std::uint8_t { return i < length ? sense[i] : 0; };
  if (at(4) != 0) {
    *regs = AtaRegisters{at(3), at(6), at(9), at(10), at(11), at(5), at(4), 0};
    return true;
  }
  if (at(9) != 0) {
    *regs = AtaRegisters{at(8), at(11), at(17), at(18), at(19), at(10), at(9), 0};
    return true;
  }
  return false;
}

}  // namespace

PassThroughCommand BuildPassThrough(const AtaRegisters& regs, AtaDataMode mode) {
  PassThroughCommand c{};
  c.cdb[0] = kAtaPassThrough16;
  switch (mode) {
    case AtaDataMode::kSectorIn:
      c.cdb[1] = kProtocolPioDataIn << 1;
      c.cdb[2] = kFromDevice | kLengthInBlocks | kLengthInSectorCount;
      c.direction = TransferDirection::kFromDevice;
      c.transferLength = 512u * regs.sectorCount;
      break;
    case AtaDataMode::kReturnRegisters:
      c.cdb[1] = kProtocolNonData << 1;
      c.cdb[2] = kCheckCondition;
      c.direction = TransferDirection::kNone;
      break;
    case AtaDataMode::kNone:
      c.cdb[1] = kProtocolNonData << 1;
      c.direction = TransferDirection::kNone;
      break;
  }
  c.cdb[4] = regs.features;
  c.cdb[6] = regs.sectorCount;
  c.cdb[8] = regs.sectorNumber;
  c.cdb[10] = regs.cylinderLow;
  c.cdb[12] = regs.cylinderHigh;
  c.cdb[13] = regs.driveHead;
  c.cdb[14] = regs.command;
  c.cdbLength = 16;
  return c;
}

PassThroughCommand BuildPassThrough12(const AtaRegisters& regs, AtaDataMode mode) {
  const PassThroughCommand sixteen = BuildPassThrough(regs, mode);
  PassThroughCommand c{};
  c.cdb[0] = kAtaPassThrough12;
  c.cdb[1] = sixteen.cdb[1];
  c.cdb[2] = sixteen.cdb[2];
  c.cdb[3] = regs.features;
  c.cdb[4] = regs.sectorCount;
  c.cdb[5] = regs.sectorNumber;
  c.cdb[6] = regs.cylinderLow;
  c.cdb[7] = regs.cylinderHigh;
  c.cdb[8] = regs.driveHead;
  c.cdb[9] = regs.command;
  c.cdbLength = 12;
  c.direction = sixteen.direction;
  c.transferLength = sixteen.transferLength;
  return c;
}

bool PassThroughRefused(const AtaOutcome& outcome) {
  return !outcome.callSucceeded && outcome.errorCode == EOPNOTSUPP;
}

bool ReadAtaRegisters(const std::uint8_t* sense, std::size_t length, AtaRegisters* regs) {
  if (sense == nullptr || length < 1) return false;
  if (IsDescriptorFormat(sense[0])) return ReadDescriptorRegisters(sense, length, regs);
  if (IsFixedFormat(sense[0])) return ReadFixedRegisters(sense, length, regs);
  return false;
}

AtaOutcome ReadPassThroughResult(const ScsiResult& result, AtaDataMode mode) {
  AtaOutcome out{};
  if (result.callError != 0) {
    out.errorCode = static_cast<std::uint32_t>(result.callError);
    return out;
  }
  if (result.hostStatus != 0) {
    out.errorCode = result.hostStatus == kHostTimeOut ? ETIMEDOUT : EIO;
    return out;
  }
  // Bit 3 (DRIVER_SENSE) only says that sense data came along; the bits
  // above it are suggestions.
  std::uint16_t driver = result.driverStatus & 0x07;
  if (driver != 0) {
    out.errorCode = driver == kDriverTimeOut ? ETIMEDOUT : EIO;
    return out;
  }
  if (result.status != kScsiGood && result.status != kScsiCheckCondition) {
    out.errorCode = EIO;
    return out;
  }

  AtaRegisters regs{};
  bool haveRegisters = ReadAtaRegisters(result.sense, result.senseLength, &regs);
  if (haveRegisters && (regs.command & (kAtaStatusError | kAtaStatusDeviceFault))) {
    out.callSucceeded = true;
    out.driverError = regs.command;
    out.ideError = regs.features;
    return out;
  }
  if (result.status == kScsiCheckCondition) {
    int key = SenseKey(result.sense, result.senseLength);
    if (key != kSenseNoSense && key != kSenseRecoveredError) {
      // Refused by the SCSI layer without an ATA answer: a device that
      // does not take ATA commands this way, or a sense we cannot read.
      out.errorCode = key == kSenseIllegalRequest ? EOPNOTSUPP : EIO;
      return out;
    }
  }
  out.callSucceeded = true;
  if (mode == AtaDataMode::kReturnRegisters && haveRegisters) out.returned = regs;
  return out;
}

}  // namespace kestrel
