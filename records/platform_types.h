// Handles and times shared by the engine and its platform layers. They are
// opaque here so that no engine header needs a platform header.
#pragma once

#include <cstdint>

namespace kestrel {

// A window of the front end (HWND on Windows); nullptr is "none".
using WindowHandle = void*;

// An open drive device (HANDLE on Windows, a descriptor elsewhere).
using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidDeviceHandle = -1;

// How a drive is reached: through ATA commands (parallel or Serial ATA,
// directly or through a SCSI translation), or an NVMe drive whose health
// log the NVMe bridge presents as attributes. Views show "ATA#", "SATA#"
// or "NVMe#" before the drive index.
enum class DriveTransport : std::uint8_t { kAta, kNvme };

// Local date and time, field for field the platform's SYSTEMTIME.
struct LocalTime {
  std::uint16_t year;
  std::uint16_t month;
  std::uint16_t dayOfWeek;
  std::uint16_t day;
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::uint16_t milliseconds;
};
static_assert(sizeof(LocalTime) == 16);

}  // namespace kestrel
