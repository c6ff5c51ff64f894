// The ATA platform on Linux. Until the SCSI generic backend arrives no
// device opens, so the scan finds no drive.
#include <cerrno>

#include "ata/ata_platform.h"

namespace kestrel {

namespace {

class LinuxAtaPlatform final : public AtaPlatform {
 public:
  bool IsWin9xFamily() override { return false; }

  DeviceHandle OpenDevice(const char*, std::uint32_t* errorCode) override {
    *errorCode = ENOENT;
    return kInvalidDeviceHandle;
  }

  bool ProbeDevice(DeviceHandle, std::uint8_t*) override { return false; }

  AtaOutcome SendCommand(DeviceHandle, const AtaRegisters&, std::uint8_t,
                         AtaDataMode, std::uint8_t*) override {
    AtaOutcome outcome{};
    outcome.errorCode = EBADF;
    return outcome;
  }

  bool CloseDevice(DeviceHandle) override { return false; }
  bool SystemDirectory(char*, std::size_t) override { return false; }
  bool FileExists(const char*) override { return false; }
};

}  // namespace

AtaPlatform* DefaultAtaPlatform() {
  static LinuxAtaPlatform platform;
  return &platform;
}

}  // namespace kestrel
