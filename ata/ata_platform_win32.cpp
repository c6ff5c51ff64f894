// The ATA platform on Windows: the drive devices and the SMART control
// codes of the disk driver (NT family) or of the SMARTVSD driver (9x).
#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <cstring>

#include "ata/ata_platform.h"
#include "ata/smart_ioctl.h"

namespace kestrel {

// The byte layout smart_ioctl builds must be the platform's own.
static_assert(sizeof(SENDCMDINPARAMS) == kSendCmdInSize + 1);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == 4);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == 12);
static_assert(sizeof(IDEREGS) == 8);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus) == 4);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == kSendCmdOutHeaderSize);
static_assert(sizeof(GETVERSIONINPARAMS) == kGetVersionSize);
static_assert(offsetof(GETVERSIONINPARAMS, bIDEDeviceMap) == 3);
static_assert(SMART_GET_VERSION == kSmartGetVersion);
static_assert(SMART_SEND_DRIVE_COMMAND == kSmartSendDriveCommand);
static_assert(SMART_RCV_DRIVE_DATA == kSmartRcvDriveData);

namespace {

HANDLE ToHandle(DeviceHandle h) { return reinterpret_cast<HANDLE>(h); }

class Win32AtaPlatform final : public AtaPlatform {
 public:
  bool IsWin9xFamily() override { return (GetVersion() & 0x80000000u) != 0; }

  DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) override {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *errorCode = GetLastError();
      return kInvalidDeviceHandle;
    }
    return reinterpret_cast<DeviceHandle>(h);
  }

  bool ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) override {
    std::uint8_t version[kGetVersionSize] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(ToHandle(handle), kSmartGetVersion, nullptr, 0, version, sizeof version,
                         &returned, nullptr)) {
      return false;
    }
    *deviceMap = DeviceMapOf(version);
    return true;
  }

  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t driveNumber,
                         AtaDataMode mode, std::uint8_t* sector) override {
    SmartIoctl io = BuildSmartIoctl(regs, driveNumber, mode);
    std::uint8_t output[kSmartOutputCapacity] = {};
    DWORD returned = 0;
    AtaOutcome outcome{};
    if (!DeviceIoControl(ToHandle(handle), io.controlCode, io.input, sizeof io.input, output,
                         io.outputSize, &returned, nullptr)) {
      outcome.errorCode = GetLastError();
      return outcome;
    }
    outcome.callSucceeded = true;
    ReadSmartOutput(output, mode, &outcome, sector);
    return outcome;
  }

  bool CloseDevice(DeviceHandle handle) override { return CloseHandle(ToHandle(handle)) != 0; }

  bool SystemDirectory(char* out, std::size_t size) override {
    UINT n = GetSystemDirectoryA(out, static_cast<UINT>(size));
    return n != 0 && n < size;
  }

  bool FileExists(const char* path) override {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
};

}  // namespace

AtaPlatform* DefaultAtaPlatform() {
  static Win32AtaPlatform platform;
  return &platform;
}

}  // namespace kestrel
