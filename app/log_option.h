// The "/l" option: the change log named on the command line.
#pragma once

#include <string_view>

#include "report/monitor.h"

namespace kestrel {

// Opens the log file of the first "/l" option of `commandLine` for
// appending (existing content stays) into state.logFile, with
// state.logBytes set to its length. Without a name, or when the file
// cannot be opened, shows its message box (owned by `owner`, captioned
// with the program title) and leaves logFile null. No option: nothing.
void OpenLogFromCommandLine(std::string_view commandLine, MonitorState& state, WindowHandle owner);

// Closes the log file, if open.
void CloseLog(MonitorState& state);

}  // namespace kestrel
