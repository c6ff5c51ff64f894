// The HTML health report: the page that the diagnosis button writes and
// opens, whose content follows the overall health that the tray shows.
//
// The report is "report.html" in the status directory ("normal",
// "warning" or "error") of the HTML folder that ships with the program;
// the folder's "index.html" of that directory frames it. Each press
// rewrites the report of the current state; the other states' reports stay
// as they were.
#pragma once

#include <cstdio>

#include "records/drive_table.h"

namespace kestrel {

// Writes the report for TheMonitorState().trayState into the first of
//   html/S/report.html, Solo/html/S/report.html,
//   ../html/Solo/html/S/report.html, ../../html/Solo/html/S/report.html
// (S the status name, relative to the current directory, with the
// platform's path separator) that can be created, and then has the host
// open index.html beside it. Without any location that opens nothing
// happens; when the drive table cannot be locked (LockDriveTable has
// already said so) the report is left empty and nothing is opened.
// Shows no message of its own.
void WriteHealthReport();

// The page for `trayState` (2 error, 1 warning, anything else normal)
// from `table`, dated `today`, into `out`, which should be open in binary
// mode: every line ends in CR LF here, on every platform. The caller holds
// the lock.
void WriteReportPage(std::FILE* out, const DriveTable& table, int trayState,
                     const LocalTime& today);

// The result a drive sends to the club service: 3 when it has no attribute
// slots or was never evaluated, else 2 for an error, 1 for a warning, 0.
int DriveResultCode(const DriveRecord& record);

}  // namespace kestrel
