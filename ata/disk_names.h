// Which Linux device a drive index names. Drive index i is the i-th
// whole-disk SCSI block device in name order: sda, sdb, ..., sdz, sdaa, ...
// (shorter names first, as the kernel hands them out).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// "sd" followed by lower-case letters only (no partition number).
bool IsWholeScsiDisk(std::string_view name);

// The whole disks among `names`, in drive-index order.
std::vector<std::string> OrderWholeDisks(std::vector<std::string> names);

// The index in a channel device name "\\.\PhysicalDrive<n>", or -1.
int PhysicalDriveIndex(std::string_view deviceName);

}  // namespace kestrel
