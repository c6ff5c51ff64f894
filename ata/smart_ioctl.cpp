#include "ata/smart_ioctl.h"

#include <cstring>

namespace kestrel {

SmartIoctl BuildSmartIoctl(const AtaRegisters& regs, std::uint8_t driveNumber, AtaDataMode mode) {
  SmartIoctl io{};
  std::uint32_t bufferSize = mode == AtaDataMode::kSectorIn ? 512 : 0;
  io.controlCode = mode == AtaDataMode::kSectorIn ? kSmartRcvDriveData : kSmartSendDriveCommand;
  for (int i = 0; i < 4; ++i) {
    io.input[i] = static_cast<std::uint8_t>(bufferSize >> (8 * i));
  }
  const std::uint8_t ideRegs[8] = {regs.features,    regs.sectorCount,  regs.sectorNumber,
                                   regs.cylinderLow, regs.cylinderHigh, regs.driveHead,
                                   regs.command,     regs.reserved};
  std::memcpy(io.input + 4, ideRegs, sizeof ideRegs);
  io.input[12] = driveNumber;
  switch (mode) {
    case AtaDataMode::kSectorIn:
      io.outputSize = kSendCmdOutHeaderSize + 512;
      break;
    case AtaDataMode::kReturnRegisters:
      io.outputSize = kSendCmdOutHeaderSize + 8;
      break;
    case AtaDataMode::kNone:
      io.outputSize = kSendCmdOutHeaderSize;
      break;
  }
  return io;
}

void ReadSmartOutput(const std::uint8_t* output, AtaDataMode mode, AtaOutcome* outcome,
                     std::uint8_t* sector) {
  outcome->driverError = output[4];
  outcome->ideError = output[5];
  const std::uint8_t* data = output + kSendCmdOutHeaderSize;
  if (mode == AtaDataMode::kSectorIn) {
    std::memcpy(sector, data, 512);
  } else if (mode == AtaDataMode::kReturnRegisters) {
    outcome->returned =
        AtaRegisters{data[0], data[1], data[2], data[3], data[4], data[5], data[6], data[7]};
  }
}

}  // namespace kestrel
