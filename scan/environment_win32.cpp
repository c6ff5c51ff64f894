// The environment on Windows: the real keyboard, tick counter, local clock
// and command line.
#include <windows.h>

#include <cstdio>

#include "records/host.h"

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
    return LocalTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
  }

  std::string_view CommandLine() override { return GetCommandLineA(); }

  bool SearchFile(const char* stem, const char* extension, char* out, std::size_t size) override {
    DWORD n = SearchPathA(nullptr, stem, extension, static_cast<DWORD>(size), out, nullptr);
    return n != 0 && n < size;
  }

  bool IsFile(const char* path) override {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  // The limit files are the current directory's.
  bool FindLimitFile(const char* name, char* out, std::size_t size) override {
    const int n = std::snprintf(out, size, "%s", name);
    return n >= 0 && static_cast<std::size_t>(n) < size;
  }
};

}  // namespace

Environment* DefaultEnvironment() {
  static Win32Environment env;
  return &env;
}

void SetDefaultCommandLine(std::string_view) {}

}  // namespace kestrel
