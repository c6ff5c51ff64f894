// The Linux disks the program may watch, and the choice among them. Only
// the Linux platform implements this; its front end (kestrel-cli) uses it.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

// Every whole disk of the machine, in drive-index order: the SCSI disks
// (/dev/sd*), then the NVMe namespaces (/dev/nvme*n*). Beyond ten too.
std::vector<std::string> FindDisks();

// From now on drive i is paths[i] ("/dev/sdb", "/dev/nvme0n1"), in the
// order given, instead of the disks found. REQUIRES: at most ten paths.
void UseDevices(std::vector<std::string> paths);

struct DiskDescription {
  std::string transport;  // "ata" (through SCSI/ATA translation), "nvme", "unknown"
  bool healthReadable;    // the drive answered as the scan needs it
  std::string note;       // why not, when not
};

// Opens `path` as the scan would, asks it once, and closes it.
DiskDescription DescribeDisk(const std::string& path);

}  // namespace kestrel
