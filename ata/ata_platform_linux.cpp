// The ATA platform on Linux: the whole-disk SCSI block devices, commands
// sent as ATA PASS-THROUGH (16) through the SCSI generic SG_IO call. The
// records are built and read by sat_passthrough; this file only opens,
// calls and closes. Needs root (CAP_SYS_RAWIO): without it no device
// opens and the scan finds no drive.
#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "ata/ata_platform.h"
#include "ata/disk_names.h"
#include "ata/sat_passthrough.h"

namespace kestrel {

namespace {

// Long enough for a drive to spin up from standby.
constexpr unsigned kCommandTimeoutMs = 20000;
// SG_IO with sg_io_hdr (version 3) arrived with driver version 3.
constexpr int kFirstSgIoVersion = 30000;

int ToFd(DeviceHandle h) { return static_cast<int>(h); }

std::vector<std::string> WholeDisks() {
  std::vector<std::string> names;
  if (DIR* dir = opendir("/sys/block")) {
    while (const dirent* e = readdir(dir)) names.emplace_back(e->d_name);
    closedir(dir);
  }
  return OrderWholeDisks(std::move(names));
}

AtaOutcome Send(int fd, const AtaRegisters& regs, AtaDataMode mode, std::uint8_t* sector) {
  PassThroughCommand c = BuildPassThrough(regs, mode);
  if (c.transferLength > 512 || (c.transferLength != 0 && sector == nullptr)) {
    AtaOutcome refused{};
    refused.errorCode = EINVAL;
    return refused;
  }
  std::uint8_t sense[kSenseCapacity] = {};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.cmdp = c.cdb;
  io.cmd_len = sizeof c.cdb;
  io.dxfer_direction =
      c.direction == TransferDirection::kFromDevice ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
  io.dxferp = c.transferLength != 0 ? sector : nullptr;
  io.dxfer_len = c.transferLength;
  io.sbp = sense;
  io.mx_sb_len = sizeof sense;
  io.timeout = kCommandTimeoutMs;

  ScsiResult r{};
  if (ioctl(fd, SG_IO, &io) < 0) r.callError = errno;
  r.status = io.status;
  r.hostStatus = io.host_status;
  r.driverStatus = io.driver_status;
  r.sense = sense;
  r.senseLength = io.sb_len_wr;
  return ReadPassThroughResult(r, mode);
}

class LinuxAtaPlatform final : public AtaPlatform {
 public:
  bool IsWin9xFamily() override { return false; }

  DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) override {
    int index = PhysicalDriveIndex(name);
    std::vector<std::string> disks = WholeDisks();
    if (index < 0 || static_cast<std::size_t>(index) >= disks.size()) {
      *errorCode = ENOENT;
      return kInvalidDeviceHandle;
    }
    std::string path = "/dev/" + disks[static_cast<std::size_t>(index)];
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *errorCode = static_cast<std::uint32_t>(errno);
      return kInvalidDeviceHandle;
    }
    return fd;
  }

  // The device must speak SG_IO and answer an ATA command through it; an
  // ATA error is an answer too (the drive is there, the scan judges it).
  bool ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) override {
    *deviceMap = 0;
    int version = 0;
    if (ioctl(ToFd(handle), SG_GET_VERSION_NUM, &version) < 0 || version < kFirstSgIoVersion) {
      return false;
    }
    const AtaRegisters identify{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    std::uint8_t sector[512];
    return Send(ToFd(handle), identify, AtaDataMode::kSectorIn, sector).callSucceeded;
  }

  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t,
                         AtaDataMode mode, std::uint8_t* sector) override {
    return Send(ToFd(handle), regs, mode, sector);
  }

  bool CloseDevice(DeviceHandle handle) override { return close(ToFd(handle)) == 0; }

  // Only the Windows 9x driver diagnosis asks these.
  bool SystemDirectory(char*, std::size_t) override { return false; }
  bool FileExists(const char*) override { return false; }
};

}  // namespace

AtaPlatform* DefaultAtaPlatform() {
  static LinuxAtaPlatform platform;
  return &platform;
}

}  // namespace kestrel
