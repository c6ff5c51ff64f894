#include "ata/disk_names.h"

#include <algorithm>

namespace kestrel {

bool IsWholeScsiDisk(std::string_view name) {
  if (name.size() < 3 || name.substr(0, 2) != "sd") return false;
  return std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

std::vector<std::string> OrderWholeDisks(std::vector<std::string> names) {
  std::erase_if(names, [](const std::string& n) { return !IsWholeScsiDisk(n); });
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

int PhysicalDriveIndex(std::string_view deviceName) {
  constexpr std::string_view kPrefix = "\\\\.\\PhysicalDrive";
  if (deviceName.substr(0, kPrefix.size()) != kPrefix) return -1;
  std::string_view digits = deviceName.substr(kPrefix.size());
  if (digits.empty() || digits.size() > 4) return -1;
  int index = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    index = index * 10 + (c - '0');
  }
  return index;
}

}  // namespace kestrel
