// The environment on Windows: the real keyboard, tick counter, local clock
// and command line.
#include <windows.h>

#include "scan/host.h"

namespace kestrel {

namespace {

bool KeyDown(int virtualKey) { return GetAsyncKeyState(virtualKey) < 0; }

class Win32Environment final : public Environment {
 public:
  bool KeyChordHeld() override {
    return KeyDown(VK_SHIFT) && KeyDown(VK_CONTROL) && KeyDown(VK_MENU);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }

  LocalTime Now() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear,   st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour,   st.wMinute, st.wSecond,    st.wMilliseconds};
  }

  std::string_view CommandLine() override { return GetCommandLineA(); }
};

}  // namespace

Environment* DefaultEnvironment() {
  static Win32Environment env;
  return &env;
}

void SetDefaultCommandLine(std::string_view) {}

}  // namespace kestrel
