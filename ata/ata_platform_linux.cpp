// The ATA platform on Linux. SCSI block devices (SATA and PATA disks
// behind libata, USB bridges) take ATA commands as ATA PASS-THROUGH (16),
// or (12) where a bridge refuses the longer form, through the SCSI generic
// SG_IO call; the records are built and read by sat_passthrough. NVMe
// namespaces are asked through their controller's admin ioctl, and the
// NVMe bridge answers the channel's ATA commands from that. This file only
// opens, calls and closes. Needs root (CAP_SYS_RAWIO, and CAP_SYS_ADMIN
// for the NVMe admin commands): without it no device opens and the scan
// finds no drive.
#include <dirent.h>
#include <fcntl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ata/ata_platform.h"
#include "ata/disk_names.h"
#include "ata/linux_devices.h"
#include "ata/nvme_bridge.h"
#include "ata/sat_passthrough.h"
#include "records/drive_table.h"

namespace kestrel {

namespace {

// Long enough for a drive to spin up from standby.
constexpr unsigned kCommandTimeoutMs = 20000;
// SG_IO with sg_io_hdr (version 3) arrived with driver version 3.
constexpr int kFirstSgIoVersion = 30000;
constexpr std::uint8_t kNvmeGetLogPage = 0x02;
constexpr std::uint8_t kNvmeIdentify = 0x06;

int ToFd(DeviceHandle h) { return static_cast<int>(h); }

std::vector<std::string> g_chosen;  // UseDevices; empty: the disks found
bool g_choiceMade = false;

// What the platform keeps of an open handle.
struct OpenDisk {
  int fd = -1;
  bool nvme = false;
  unsigned nsid = 0;
  bool twelve = false;  // answers ATA PASS-THROUGH (12) only
  std::string path;     // the disk's device, for messages
};
OpenDisk g_open[kMaxDrives + 2];

OpenDisk* Find(int fd) {
  for (OpenDisk& d : g_open) {
    if (d.fd == fd) return &d;
  }
  return nullptr;
}

std::string BaseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

AtaOutcome Send(int fd, const AtaRegisters& regs, AtaDataMode mode, std::uint8_t* sector,
                bool twelve) {
  PassThroughCommand c = twelve ? BuildPassThrough12(regs, mode) : BuildPassThrough(regs, mode);
  if (c.transferLength > 512 || (c.transferLength != 0 && sector == nullptr)) {
    AtaOutcome refused{};
    refused.errorCode = EINVAL;
    return refused;
  }
  std::uint8_t sense[kSenseCapacity] = {};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.cmdp = c.cdb;
  io.cmd_len = c.cdbLength;
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

// An NVMe namespace's admin commands, through its controller's device.
class LinuxNvme final : public NvmeAdmin {
 public:
  LinuxNvme(int fd, unsigned nsid) : fd_(fd), nsid_(nsid) {}
  bool IdentifyController(std::uint8_t* data, std::uint32_t* error) override {
    return Admin(kNvmeIdentify, 0, 1, data, kNvmeIdentifySize, error);
  }
  bool IdentifyNamespace(std::uint8_t* data, std::uint32_t* error) override {
    return Admin(kNvmeIdentify, nsid_, 0, data, kNvmeIdentifySize, error);
  }
  bool ReadHealthLog(std::uint8_t* data, std::uint32_t* error) override {
    // NUMD (dwords - 1) in bits 31:16, the log page in 7:0.
    const std::uint32_t cdw10 = (kNvmeHealthLogSize / 4 - 1) << 16 | 0x02;
    return Admin(kNvmeGetLogPage, 0xFFFFFFFF, cdw10, data, kNvmeHealthLogSize, error);
  }

 private:
  bool Admin(std::uint8_t opcode, std::uint32_t nsid, std::uint32_t cdw10, std::uint8_t* data,
             std::size_t size, std::uint32_t* error) {
    nvme_admin_cmd cmd{};
    cmd.opcode = opcode;
    cmd.nsid = nsid;
    cmd.addr = reinterpret_cast<std::uintptr_t>(data);
    cmd.data_len = static_cast<std::uint32_t>(size);
    cmd.cdw10 = cdw10;
    cmd.timeout_ms = kCommandTimeoutMs;
    std::memset(data, 0, size);
    const int rc = ioctl(fd_, NVME_IOCTL_ADMIN_CMD, &cmd);
    if (rc == 0) return true;
    // Above 0: the controller's status code; the command was refused.
    *error = static_cast<std::uint32_t>(rc < 0 ? errno : EIO);
    return false;
  }
  int fd_;
  unsigned nsid_;
};

// "nvme" and a number: a controller (not "nvme-subsys2").
bool IsControllerName(const std::string& name) {
  return name.size() > 4 && name.compare(0, 4, "nvme") == 0 &&
         name.find_first_not_of("0123456789", 4) == std::string::npos;
}

// The controller device of an NVMe namespace: the kernel's link
// /sys/block/<namespace>/device names it. A namespace of a subsystem with
// several controllers (multipath) links to the subsystem instead, whose
// directory links its controllers: the first of them is asked. Without a
// link the namespace's name names it.
std::string NvmeControllerPath(const std::string& ns) {
  char link[PATH_MAX];
  const std::string sys = "/sys/block/" + ns + "/device";
  const ssize_t n = readlink(sys.c_str(), link, sizeof link - 1);
  std::string controller;
  if (n > 0) {
    link[n] = '\0';
    controller = BaseName(link);
    if (!IsControllerName(controller)) {
      controller.clear();
      if (DIR* dir = opendir(sys.c_str())) {
        while (const dirent* e = readdir(dir)) {
          const std::string name = e->d_name;
          if (IsControllerName(name) && (controller.empty() || name.size() < controller.size() ||
                                         (name.size() == controller.size() && name < controller))) {
            controller = name;
          }
        }
        closedir(dir);
      }
    }
  }
  if (controller.empty()) controller = NvmeControllerOf(ns);
  return controller.empty() ? "" : "/dev/" + controller;
}

// The namespace id the controller knows: the kernel's
// /sys/block/<namespace>/nsid. The number in the name only counts the
// namespaces and differs where their ids have gaps.
unsigned NamespaceId(const std::string& ns) {
  unsigned id = 0;
  if (FILE* f = std::fopen(("/sys/block/" + ns + "/nsid").c_str(), "re")) {
    if (std::fscanf(f, "%u", &id) != 1) id = 0;
    std::fclose(f);
  }
  if (id != 0) return id;
  return static_cast<unsigned>(std::strtoul(ns.c_str() + ns.find('n', 4) + 1, nullptr, 10));
}

// Opens `path` (a disk's block device) as the platform uses it: an NVMe
// namespace through its controller. -1 with errno on failure; `why` gets a
// line for --verbose where the device is there but unusable.
int OpenPath(const std::string& path, OpenDisk* device, std::string* why) {
  const std::string name = BaseName(path);
  device->nvme = IsNvmeNamespace(name);
  if (!device->nvme) {
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  const std::string controller = NvmeControllerPath(name);
  int fd = controller.empty() ? -1 : open(controller.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = path + ": NVMeコントローラのデバイス" + controller + "が開けません.";
    return -1;
  }
  device->nsid = NamespaceId(name);
  return fd;
}

// Whether the device answers as the scan needs it; `why` says why not.
bool Answers(const OpenDisk& device, std::string* why) {
  if (device.nvme) {
    std::uint8_t controller[kNvmeIdentifySize];
    std::uint8_t ns[kNvmeIdentifySize];
    std::uint32_t error = 0;
    LinuxNvme admin(device.fd, device.nsid);
    NvmeIdentity identity;
    if (!admin.IdentifyController(controller, &error) || !admin.IdentifyNamespace(ns, &error)) {
      *why = "NVMe Identifyに答えません(エラー" + std::to_string(error) + ").";
      return false;
    }
    if (!ParseNvmeIdentity(controller, ns, &identity)) {
      *why = "NVMe Identifyの答えが不正です.";
      return false;
    }
    return true;
  }
  int version = 0;
  if (ioctl(device.fd, SG_GET_VERSION_NUM, &version) < 0 || version < kFirstSgIoVersion) {
    *why = "SCSI汎用インタフェース(SG_IO)がありません.";
    return false;
  }
  return true;
}

class LinuxAtaPlatform final : public AtaPlatform {
 public:
  bool IsWin9xFamily() override { return false; }

  DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) override {
    const int index = PhysicalDriveIndex(name);
    const std::vector<std::string> disks = g_choiceMade ? g_chosen : FindDisks();
    if (index < 0 || static_cast<std::size_t>(index) >= disks.size()) {
      *errorCode = ENOENT;
      return kInvalidDeviceHandle;
    }
    OpenDisk* slot = Find(-1);
    if (slot == nullptr) {
      *errorCode = EMFILE;
      return kInvalidDeviceHandle;
    }
    OpenDisk device;
    std::string why;
    std::string path = disks[static_cast<std::size_t>(index)];
    if (path.find('/') == std::string::npos) path = "/dev/" + path;
    device.fd = OpenPath(path, &device, &why);
    if (device.fd < 0) {
      *errorCode = static_cast<std::uint32_t>(errno);
      if (!why.empty()) ReportMessage(kStyleStatusOnly, "%s", why.c_str());
      return kInvalidDeviceHandle;
    }
    device.path = path;
    *slot = device;
    return device.fd;
  }

  // A SCSI device must speak SG_IO and answer an ATA command through it,
  // in the 16-byte form or else the 12-byte one (an ATA error is an
  // answer too: the drive is there, the scan judges it); an NVMe
  // namespace must answer Identify.
  bool ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) override {
    *deviceMap = 0;
    OpenDisk* device = Find(ToFd(handle));
    std::string why;
    if (device == nullptr) return false;
    if (!Answers(*device, &why)) {
      ReportMessage(kStyleStatusOnly, "%s: %s", device->path.c_str(), why.c_str());
      return false;
    }
    if (device->nvme) return true;
    const AtaRegisters identify{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    std::uint8_t sector[512];
    AtaOutcome out = Send(device->fd, identify, AtaDataMode::kSectorIn, sector, false);
    if (PassThroughRefused(out)) {
      out = Send(device->fd, identify, AtaDataMode::kSectorIn, sector, true);
      device->twelve = out.callSucceeded;
    }
    if (!out.callSucceeded) {
      ReportMessage(kStyleStatusOnly, "%s: ATA PASS-THROUGHに答えないディスクです(SMARTなし).",
                    device->path.c_str());
    }
    return out.callSucceeded;
  }

  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t,
                         AtaDataMode mode, std::uint8_t* sector) override {
    const OpenDisk* device = Find(ToFd(handle));
    if (device != nullptr && device->nvme) {
      LinuxNvme admin(device->fd, device->nsid);
      return AnswerAsAta(admin, regs, mode, sector);
    }
    return Send(ToFd(handle), regs, mode, sector, device != nullptr && device->twelve);
  }

  DriveTransport TransportOf(DeviceHandle handle) override {
    const OpenDisk* device = Find(ToFd(handle));
    return device != nullptr && device->nvme ? DriveTransport::kNvme : DriveTransport::kAta;
  }

  bool CloseDevice(DeviceHandle handle) override {
    if (OpenDisk* device = Find(ToFd(handle))) *device = OpenDisk{};
    return close(ToFd(handle)) == 0;
  }

  // Only the Windows 9x driver diagnosis asks these.
  bool SystemDirectory(char*, std::size_t) override { return false; }
  bool FileExists(const char*) override { return false; }
};

}  // namespace

AtaPlatform* DefaultAtaPlatform() {
  static LinuxAtaPlatform platform;
  return &platform;
}

std::vector<std::string> FindDisks() {
  std::vector<std::string> names;
  if (DIR* dir = opendir("/sys/block")) {
    while (const dirent* e = readdir(dir)) names.emplace_back(e->d_name);
    closedir(dir);
  }
  const std::vector<std::string> ordered = OrderWholeDisks(std::move(names));
  std::vector<std::string> paths;
  paths.reserve(ordered.size());
  for (const std::string& name : ordered) paths.push_back("/dev/" + name);
  return paths;
}

void UseDevices(std::vector<std::string> paths) {
  g_chosen = std::move(paths);
  g_choiceMade = true;
}

DiskDescription DescribeDisk(const std::string& path) {
  DiskDescription d{"unknown", false, ""};
  OpenDisk device;
  std::string why;
  device.fd = OpenPath(path, &device, &why);
  if (device.fd < 0) {
    d.note = why.empty() ? std::string("cannot open: ") + std::strerror(errno) : why;
    return d;
  }
  d.transport = device.nvme ? "nvme" : "ata";
  if (!Answers(device, &why)) {
    d.note = why;
  } else if (device.nvme) {
    std::uint8_t log[kNvmeHealthLogSize];
    std::uint32_t error = 0;
    d.healthReadable = LinuxNvme(device.fd, device.nsid).ReadHealthLog(log, &error);
    if (!d.healthReadable) d.note = "health log not readable";
  } else {
    const AtaRegisters identify{0xEC, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    std::uint8_t sector[512];
    AtaOutcome out = Send(device.fd, identify, AtaDataMode::kSectorIn, sector, false);
    if (PassThroughRefused(out)) {
      out = Send(device.fd, identify, AtaDataMode::kSectorIn, sector, true);
      if (out.callSucceeded) d.note = "ATA PASS-THROUGH (12)";
    }
    d.healthReadable = out.callSucceeded && out.driverError == 0 &&
                       (sector[164] & 1) != 0;  // word 82 bit 0: SMART
    if (!out.callSucceeded) {
      d.transport = "scsi";
      d.note = "no answer to ATA PASS-THROUGH";
    } else if (!d.healthReadable) {
      d.note = "no SMART";
    }
  }
  close(device.fd);
  return d;
}

}  // namespace kestrel
