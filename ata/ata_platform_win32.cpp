// The ATA platform on Windows: the drive devices and the SMART control
// codes of the disk driver (NT family) or of the SMARTVSD driver (9x). A
// drive device that refuses the SMART probe may be an NVMe drive: its data
// comes from the storage query (Windows 10 and later) and the NVMe bridge
// answers its commands.
#include <windows.h>

#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "ata/ata_platform.h"
#include "ata/nvme_bridge.h"
#include "ata/nvme_storage_query.h"
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

// So must the storage query's records that nvme_storage_query builds.
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == kIoctlStorageQueryProperty);
static_assert(StorageAdapterProtocolSpecificProperty == kStorageAdapterProtocolSpecificProperty);
static_assert(StorageDeviceProtocolSpecificProperty == kStorageDeviceProtocolSpecificProperty);
static_assert(PropertyStandardQuery == kPropertyStandardQuery);
static_assert(ProtocolTypeNvme == kProtocolTypeNvme);
static_assert(NVMeDataTypeIdentify == kNvmeDataTypeIdentify);
static_assert(NVMeDataTypeLogPage == kNvmeDataTypeLogPage);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == kPropertyQuerySize);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == 4);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == kPropertyQueryHeaderSize);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == kProtocolSpecificDataSize);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType) == 4);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue) == 8);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue) == 12);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == 16);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == 20);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4) == 36);
static_assert(sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == kProtocolDataDescriptorSize);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, Size) == 4);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) == 8);

namespace {

HANDLE ToHandle(DeviceHandle h) { return reinterpret_cast<HANDLE>(h); }

// An NVMe drive device, read through the storage query.
class StorageQueryNvme final : public NvmeAdmin {
 public:
  explicit StorageQueryNvme(HANDLE device) : device_(device) {}

  bool IdentifyController(std::uint8_t* data, std::uint32_t* errorCode) override {
    return Fetch(NvmeQuery::kIdentifyController, data, errorCode);
  }
  bool IdentifyNamespace(std::uint8_t* data, std::uint32_t* errorCode) override {
    return Fetch(NvmeQuery::kIdentifyNamespace, data, errorCode);
  }
  bool ReadHealthLog(std::uint8_t* data, std::uint32_t* errorCode) override {
    return Fetch(NvmeQuery::kHealthLog, data, errorCode);
  }

 private:
  bool Fetch(NvmeQuery what, std::uint8_t* data, std::uint32_t* errorCode) {
    std::uint8_t buffer[kNvmeStorageQueryCapacity];
    const DWORD size = static_cast<DWORD>(BuildNvmeStorageQuery(what, buffer));
    DWORD returned = 0;
    if (!DeviceIoControl(device_, kIoctlStorageQueryProperty, buffer, size, buffer, size, &returned,
                         nullptr)) {
      *errorCode = GetLastError();
      return false;
    }
    std::size_t offset = 0;
    if (!FindNvmeQueryData(buffer, returned, NvmeQueryDataSize(what), &offset)) {
      *errorCode = ERROR_INVALID_DATA;
      return false;
    }
    std::memcpy(data, buffer + offset, NvmeQueryDataSize(what));
    return true;
  }

  HANDLE device_;
};

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
    if (DeviceIoControl(ToHandle(handle), kSmartGetVersion, nullptr, 0, version, sizeof version,
                        &returned, nullptr)) {
      *deviceMap = DeviceMapOf(version);
      return true;
    }
    // No SMART driver: an NVMe drive is one whose Identify Controller data
    // the storage query returns.
    if (IsWin9xFamily()) return false;
    StorageQueryNvme nvme(ToHandle(handle));
    std::uint8_t controller[kNvmeIdentifySize];
    std::uint32_t error = 0;
    if (!nvme.IdentifyController(controller, &error)) return false;
    *deviceMap = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    nvmeHandles_.push_back(handle);
    return true;
  }

  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t driveNumber,
                         AtaDataMode mode, std::uint8_t* sector) override {
    if (IsNvme(handle)) {
      StorageQueryNvme nvme(ToHandle(handle));
      return AnswerAsAta(nvme, regs, mode, sector);
    }
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

  DriveTransport TransportOf(DeviceHandle handle) override {
    return IsNvme(handle) ? DriveTransport::kNvme : DriveTransport::kAta;
  }

  bool CloseDevice(DeviceHandle handle) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::erase(nvmeHandles_, handle);
    }
    return CloseHandle(ToHandle(handle)) != 0;
  }

  bool SystemDirectory(char* out, std::size_t size) override {
    UINT n = GetSystemDirectoryA(out, static_cast<UINT>(size));
    return n != 0 && n < size;
  }

  bool FileExists(const char* path) override {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

 private:
  bool IsNvme(DeviceHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(nvmeHandles_.begin(), nvmeHandles_.end(), handle) != nvmeHandles_.end();
  }

  // The open devices that answered the storage query instead of the probe.
  std::mutex mutex_;
  std::vector<DeviceHandle> nvmeHandles_;
};

}  // namespace

AtaPlatform* DefaultAtaPlatform() {
  static Win32AtaPlatform platform;
  return &platform;
}

}  // namespace kestrel
