#include "app/log_option.h"

#include <sys/types.h>

#include <cstdio>

#include "app/program_texts.h"
#include "base/command_line.h"
#include "records/host.h"

namespace kestrel {

void OpenLogFromCommandLine(std::string_view commandLine, MonitorState& state, WindowHandle owner) {
  state.logFile = nullptr;
  state.logBytes = 0;
  CommandLineOption option = FindCommandLineOption(commandLine, 'l');
  if (!option.found) return;
  MessageSink* sink = InstalledServices().sink;
  if (option.value[0] == '\0') {
    sink->ShowMessageBox(owner, kProgramTitle, "/lオプションにファイルが指定されてません.", 0x40);
    return;
  }
  // A name longer than a path may be is refused like one that cannot be
  // opened: a cut name would be another file.
  std::FILE* f = option.tooLong ? nullptr : std::fopen(option.value, "ab");
  if (f == nullptr) {
    char text[400];
    std::snprintf(text, sizeof text, "ログファイル%sがオープンできません.", option.value);
    sink->ShowMessageBox(owner, kProgramTitle, text, 0x20);
    return;
  }
  // "ab" leaves the position unspecified until the first write: measure
  // the end explicitly.
  fseeko(f, 0, SEEK_END);
  off_t length = ftello(f);
  state.logFile = f;
  state.logBytes = length < 0 ? 0 : static_cast<std::int64_t>(length);
}

void CloseLog(MonitorState& state) {
  if (state.logFile != nullptr) std::fclose(state.logFile);
  state.logFile = nullptr;
}

}  // namespace kestrel
