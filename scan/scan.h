// The full scan that fills the drive table, the periodic re-read and the
// shutdown of the drive side.
#pragma once

#include <cstdint>

#include "records/drive_table.h"
#include "records/platform_types.h"

namespace kestrel {

// The full scan: resets the table, loads the definitions, creates the lock,
// opens the drives and runs the drive sequence on each one present.
void ScanDrives(WindowHandle ownerWindow, WindowHandle statusWindow);

// Re-reads drives (bit i of `driveMask` selects drive i) that are Usable:
// stale thresholds again, then the SMART data, and evaluates the data that
// passes its checksum. Returns the mask of the drives it evaluated.
// Allocates nothing.
std::uint32_t RereadSmart(std::uint32_t driveMask);

// Closes the drives, the lock and the section-name list.
void ShutdownDrives();

}  // namespace kestrel
