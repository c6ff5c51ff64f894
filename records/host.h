// What the engine needs from the program around it and from the system,
// as two small interfaces, and the place where a front end installs them.
//
// The Windows program, kestrel-cli and the tests each implement these; the
// engine never asks which platform it runs on. All calls come from the one
// user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/platform_types.h"

namespace kestrel {

class AtaPlatform;

// Where the drive side's messages go.
class MessageSink {
 public:
  MessageSink() = default;
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  virtual ~MessageSink() = default;

  // Every text the drive side reports, with its style, before it is shown
  // anywhere (status-only texts included). For logs and tests; the default
  // does nothing.
  virtual void Note(int style, const char* text);

  // A modal message box with one OK button. `owner` may be nullptr.
  virtual void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                              int style) = 0;

  // The title of `window` into `out` (terminated, at most size - 1 bytes).
  virtual void GetWindowTitle(WindowHandle window, char* out, std::size_t size) = 0;

  // Sets the text of one part of a status bar.
  virtual void SetStatusText(WindowHandle statusBar, int part, const char* text) = 0;
};

// The system's clock, keyboard and command line.
class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  virtual ~Environment() = default;

  // Shift, Ctrl and Alt are all held down at this moment.
  virtual bool KeyChordHeld() = 0;

  // Milliseconds since the system started, wrapping at 2^32.
  virtual std::uint32_t TickCount() = 0;

  // The local date and time now.
  virtual LocalTime Now() = 0;

  // The whole command line, program path included, as one text.
  virtual std::string_view CommandLine() = 0;

  // Looks for the file `stem` + `extension` the way the platform finds a
  // program's files: first beside the executable, then in its standard
  // places. On success copies the full path into `out` (`size` bytes) and
  // returns true; a path that does not fit counts as not found.
  virtual bool SearchFile(const char* stem, const char* extension, char* out, std::size_t size) = 0;

  // Whether `path` names an existing file (not a directory).
  virtual bool IsFile(const char* path) = 0;

  // Where the limit file `name` (error.dat, warning.dat) is read from,
  // into `out` (`size` bytes): on Windows the bare name, in the current
  // directory; on Linux the current directory's file, or else the one in
  // the data directory of an installed copy. False when there is no path
  // to give (or it does not fit); the limits then keep their defaults.
  virtual bool FindLimitFile(const char* name, char* out, std::size_t size) = 0;
};

struct Services {
  AtaPlatform* ata = nullptr;
  Environment* env = nullptr;
  MessageSink* sink = nullptr;
};

// Installs the services the engine uses from now on. The objects must
// outlive their use. REQUIRES: all three set before ScanDrives.
void InstallServices(const Services& services);
const Services& InstalledServices();

// The platform's own environment (real keyboard, clock, command line).
Environment* DefaultEnvironment();

// Where the platform has no command line of its own to report (Linux), the
// text DefaultEnvironment()->CommandLine() gives from now on. Ignored on
// Windows, whose command line is the process's.
void SetDefaultCommandLine(std::string_view commandLine);

}  // namespace kestrel
