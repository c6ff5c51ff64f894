// The operations the ATA command channel needs from the operating system.
//
// One implementation per platform (Win32 SMART control codes, Linux SG_IO)
// plus the simulated drives; DefaultAtaPlatform() hands out the platform's
// own. The channel keeps all logic (register values, result rules,
// messages); an implementation only carries a command to a device and
// reports what came back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/platform_types.h"

namespace kestrel {

// The ATA task-file registers in the order of the platform's IDEREGS.
struct AtaRegisters {
  std::uint8_t features;
  std::uint8_t sectorCount;
  std::uint8_t sectorNumber;
  std::uint8_t cylinderLow;
  std::uint8_t cylinderHigh;
  std::uint8_t driveHead;
  std::uint8_t command;
  std::uint8_t reserved;
};
static_assert(sizeof(AtaRegisters) == 8);

// What comes back from a command besides its status.
enum class AtaDataMode {
  kNone,             // no data
  kSectorIn,         // one 512-byte sector
  kReturnRegisters,  // the register set after the command (RETURN STATUS)
};

struct AtaOutcome {
  bool callSucceeded;        // the device call itself
  std::uint32_t errorCode;   // when it failed: the system's error code
  std::uint8_t driverError;  // when it succeeded: 0 unless the driver failed
  std::uint8_t ideError;     // the drive's error register, with driverError
  AtaRegisters returned;     // kReturnRegisters: the registers read back
};

class AtaPlatform {
 public:
  AtaPlatform() = default;
  AtaPlatform(const AtaPlatform&) = delete;
  AtaPlatform& operator=(const AtaPlatform&) = delete;
  virtual ~AtaPlatform() = default;

  // True on the Windows 9x family, where one driver device serves all IDE
  // drives and the drive number travels in each command.
  virtual bool IsWin9xFamily() = 0;

  // Opens a device ("\\.\PhysicalDrive%d" or "\\.\SMARTVSD") for reading
  // and writing. Returns kInvalidDeviceHandle and sets *errorCode on failure.
  virtual DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) = 0;

  // Asks the device whether it speaks SMART. On success *deviceMap gets the
  // 9x device map byte (bits 0-3 drives present, 4-7 packet devices; 0 on
  // platforms without one).
  virtual bool ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) = 0;

  // Sends one command. With kSectorIn, `sector` (512 bytes) receives the
  // data on success; otherwise it may be nullptr.
  virtual AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs,
                                 std::uint8_t driveNumber, AtaDataMode mode,
                                 std::uint8_t* sector) = 0;

  // How the open device `handle` is reached. NVMe devices answer the
  // channel's ATA commands through the NVMe bridge (ata/nvme_bridge.h).
  virtual DriveTransport TransportOf(DeviceHandle) { return DriveTransport::kAta; }

  // Closes a handle. False when the system refused.
  virtual bool CloseDevice(DeviceHandle handle) = 0;

  // For the 9x driver diagnosis only: the system directory, and whether a
  // file exists.
  virtual bool SystemDirectory(char* out, std::size_t size) = 0;
  virtual bool FileExists(const char* path) = 0;
};

// The platform's own implementation (process-wide, never freed).
AtaPlatform* DefaultAtaPlatform();

}  // namespace kestrel
