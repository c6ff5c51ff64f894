// The environment on Linux: no key chord is ever held (a console program
// cannot see the keyboard's state), a monotonic tick count and the local
// clock. The command line is the one the front end composed.
#include <sys/time.h>
#include <time.h>

#include <string>

#include "scan/host.h"

namespace kestrel {

namespace {

class LinuxEnvironment final : public Environment {
 public:
  bool KeyChordHeld() override { return false; }

  std::uint32_t TickCount() override {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) *
                                          1000 +
                                      ts.tv_nsec / 1000000);
  }

  LocalTime Now() override {
    timeval tv;
    gettimeofday(&tv, nullptr);
    tm t;
    localtime_r(&tv.tv_sec, &t);
    return LocalTime{static_cast<std::uint16_t>(t.tm_year + 1900),
                     static_cast<std::uint16_t>(t.tm_mon + 1),
                     static_cast<std::uint16_t>(t.tm_wday),
                     static_cast<std::uint16_t>(t.tm_mday),
                     static_cast<std::uint16_t>(t.tm_hour),
                     static_cast<std::uint16_t>(t.tm_min),
                     static_cast<std::uint16_t>(t.tm_sec),
                     static_cast<std::uint16_t>(tv.tv_usec / 1000)};
  }

  std::string_view CommandLine() override { return commandLine; }

  std::string commandLine;
};

}  // namespace

Environment* DefaultEnvironment() {
  static LinuxEnvironment env;
  return &env;
}

void SetDefaultCommandLine(std::string_view commandLine) {
  static_cast<LinuxEnvironment*>(DefaultEnvironment())->commandLine =
      std::string(commandLine);
}

}  // namespace kestrel
