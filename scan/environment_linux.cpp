// The environment on Linux: no key chord is ever held (a console program
// cannot see the keyboard's state), a monotonic tick count and the local
// clock. The command line is the one the front end composed. Files are
// searched beside the executable, then in the current directory, then in
// the data directory of an installed copy, which lies where the install
// put it from the executable's directory (KESTREL_DATA_FROM_PROGRAM, say
// "../share/kestrel"): the copy works under any prefix. The limit files
// come from the current directory, else from that data directory.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/cp932.h"
#include "records/host.h"

namespace kestrel {

namespace {

class LinuxEnvironment final : public Environment {
 public:
  bool KeyChordHeld() override { return false; }

  std::uint32_t TickCount() override {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
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

  bool SearchFile(const char* stem, const char* extension, char* out, std::size_t size) override {
    const std::string program = ProgramDirectory();
    if (!program.empty() && TryDirectory(program.c_str(), stem, extension, out, size)) return true;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr && TryDirectory(cwd, stem, extension, out, size)) {
      return true;
    }
    const std::string data = DataDirectory();
    return !data.empty() && TryDirectory(data.c_str(), stem, extension, out, size);
  }

  bool IsFile(const char* path) override {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
  }

  bool FindLimitFile(const char* name, char* out, std::size_t size) override {
    const std::string data = DataDirectory();
    const std::string path = IsFile(name) || data.empty() ? name : data + "/" + name;
    if (path.size() >= size) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
  }

  std::string commandLine;

 private:
  // The executable's directory, or "" when /proc does not tell it.
  static std::string ProgramDirectory() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = '\0';
    char* slash = std::strrchr(exe, '/');
    if (slash == nullptr) return "";
    *slash = '\0';
    return exe;
  }

  // The installed data directory, or "" without the program's directory.
  static std::string DataDirectory() {
    std::string dir = ProgramDirectory();
    if (dir.empty()) return dir;
    std::string_view rest = KESTREL_DATA_FROM_PROGRAM;
    for (; rest.substr(0, 3) == "../"; rest.remove_prefix(3)) {
      const std::size_t slash = dir.rfind('/');
      dir.erase(slash == std::string::npos ? 0 : slash);
    }
    return dir + "/" + std::string(rest);
  }

  // File names are matched without regard to ASCII case, as Windows does,
  // so that "Smart.dat" finds the shipped "smart.dat".
  bool TryDirectory(const char* dir, const char* stem, const char* extension, char* out,
                    std::size_t size) {
    int n = std::snprintf(out, size, "%s/%s%s", dir, stem, extension);
    if (n < 0 || static_cast<std::size_t>(n) >= size) return false;
    if (IsFile(out)) return true;
    DIR* d = opendir(dir);
    if (d == nullptr) return false;
    std::string wanted = std::string(stem) + extension;
    bool found = false;
    while (dirent* e = readdir(d)) {
      if (MbsICompare(e->d_name, wanted) != 0) continue;
      n = std::snprintf(out, size, "%s/%s", dir, e->d_name);
      found = n >= 0 && static_cast<std::size_t>(n) < size && IsFile(out);
      if (found) break;
    }
    closedir(d);
    return found;
  }
};

}  // namespace

Environment* DefaultEnvironment() {
  static LinuxEnvironment env;
  return &env;
}

void SetDefaultCommandLine(std::string_view commandLine) {
  static_cast<LinuxEnvironment*>(DefaultEnvironment())->commandLine = std::string(commandLine);
}

}  // namespace kestrel
