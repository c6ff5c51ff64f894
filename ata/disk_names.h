// Which Linux devices the drives are. Without a choice of devices, drive
// index i is the i-th of the whole-disk SCSI block devices and then the
// NVMe namespaces, each in name order: sda, sdb, ..., sdz, sdaa, ...,
// nvme0n1, nvme1n1, ..., nvme10n1 (shorter names first, as the kernel
// hands them out).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// "sd" followed by lower-case letters only (no partition number).
bool IsWholeScsiDisk(std::string_view name);

// "nvme<controller>n<namespace>", no partition.
bool IsNvmeNamespace(std::string_view name);

// The NVMe controller of a namespace name by the kernel's naming
// ("nvme0n1" -> "nvme0"), or "" when `name` is none.
std::string NvmeControllerOf(std::string_view name);

// The whole disks among `names` (block device names), in drive-index
// order: the SCSI disks, then the NVMe namespaces.
std::vector<std::string> OrderWholeDisks(std::vector<std::string> names);

// The index in a channel device name "\\.\PhysicalDrive<n>", or -1.
int PhysicalDriveIndex(std::string_view deviceName);

}  // namespace kestrel
