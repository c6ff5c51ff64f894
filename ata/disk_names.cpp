#include "ata/disk_names.h"

#include <algorithm>

namespace kestrel {

bool IsWholeScsiDisk(std::string_view name) {
  if (name.size() < 3 || name.substr(0, 2) != "sd") return false;
  return std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsNvmeNamespace(std::string_view name) {
  if (name.substr(0, 4) != "nvme") return false;
  const std::size_t n = name.find('n', 4);
  return n != std::string_view::npos && AllDigits(name.substr(4, n - 4)) &&
         AllDigits(name.substr(n + 1));
}

std::string NvmeControllerOf(std::string_view name) {
  if (!IsNvmeNamespace(name)) return "";
  return std::string(name.substr(0, name.find('n', 4)));
}

std::vector<std::string> OrderWholeDisks(std::vector<std::string> names) {
  std::erase_if(names,
                [](const std::string& n) { return !IsWholeScsiDisk(n) && !IsNvmeNamespace(n); });
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const bool aNvme = IsNvmeNamespace(a);
    if (aNvme != IsNvmeNamespace(b)) return !aNvme;
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
