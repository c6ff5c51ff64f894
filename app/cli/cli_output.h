// What kestrel-cli prints: the drive table as text or JSON (UTF-8), message
// lines, and the command line it hands to the program's option scanner.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/drive_table.h"

namespace kestrel {

struct CliOptions {
  std::string scenarioPath;  // --sim; empty: real drives
  bool json = false;
  bool verbose = false;
  bool help = false;
  int ticks = 0;                 // --ticks N: monitor steps after the first
  bool watch = false;            // --watch: monitor until interrupted
  bool wake = false;             // --wake: re-read drives found in standby too
  std::string checkDefinitions;  // --check-definitions FILE
  bool report = false;           // --report: write the health report at the end
  bool open = false;             // --open: also open it
  bool list = false;             // --list: every disk found, then exit
  std::string metricsFile;       // --metrics-file PATH: Prometheus text file
  std::string metricsHost;       // --metrics-listen [ADDR:]PORT: 127.0.0.1 by default
  int metricsPort = 0;           // 0: no metrics server
  std::string notifyExec;        // --notify-exec PROGRAM: run for every notice
  // The disks to watch, in this order ("/dev/sdb", "/dev/nvme0n1"; a bare
  // name is taken under /dev); empty: the disks found.
  std::vector<std::string> devices;
  // The program's own options, as "/l" or "/d" followed by the value.
  std::vector<std::pair<char, std::string>> programOptions;
};

// Reads the arguments after the program name. The front end's options and
// the devices come first (a device is an argument that starts with "/dev/"
// or has no "/" and no leading "-"; at most ten); "/l" and "/d" follow,
// each with its value as the next argument or joined to it
// ("/lfile.log"). Returns false with a reason in *error.
bool ParseCliArguments(const std::vector<std::string>& args, CliOptions* options,
                       std::string* error);

// "kestrel-cli" followed by each program option with its value in double
// quotes, so that a Linux path, which starts with "/", is never read as an
// option of its own.
std::string ComposeCommandLine(const CliOptions& options);

// One message as a line: style in decimal, tab, caption, tab, text in
// UTF-8 with line breaks written as \n and carriage returns as \r.
std::string FormatMessageLine(int style, const char* caption, const char* text);

// The drive table for people: a line per drive, then its attribute rows.
std::string FormatDriveTableText(const DriveTable& table);

// The drive table as one JSON object on one line:
// {"trayState": N, "drives": [...]}; a drive's "lastEvaluated" is the time
// of its last reading (null before one), "asleep" is bit d of
// `asleepDrives` (found in standby and left unread).
std::string FormatDriveTableJson(const DriveTable& table, int trayState,
                                 std::uint32_t asleepDrives);

}  // namespace kestrel
