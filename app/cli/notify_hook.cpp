#include "app/cli/notify_hook.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/cp932.h"

extern char** environ;

namespace kestrel {

namespace {

long MonotonicSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long>(t.tv_sec);
}

const char* ChangeName(const char* change) {
  if (std::strcmp(change, "現在値") == 0) return "current";
  if (std::strcmp(change, "最悪値") == 0) return "worst";
  if (std::strcmp(change, "ロウデータ") == 0) return "raw";
  if (std::strcmp(change, "良好度") == 0) return "goodness";
  if (std::strcmp(change, "応答なし") == 0) return "silent";
  return "verdict";
}

// A drive's fixed-size text without its blank padding.
std::string Trimmed(const char* text) {
  std::string s = Cp932ToUtf8(text);
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

}  // namespace

NotifyHook::~NotifyHook() {
  for (Child& c : children_) {
    if (c.pid <= 0) continue;
    kill(c.pid, SIGKILL);
    waitpid(c.pid, nullptr, 0);
  }
}

void NotifyHook::Run(const NoticeDetails& n) {
  Reap();
  Child* free = nullptr;
  for (Child& c : children_) {
    if (c.pid <= 0) free = &c;
  }
  if (free == nullptr) {
    std::fprintf(stderr,
                 "kestrel-cli: --notify-exec: %d programs still run; notice not passed on\n",
                 kMaxRunning);
    return;
  }

  static const char* const kLevels[] = {"normal", "warning", "error"};
  char attribute[12] = "";
  if (n.attributeId >= 0) std::snprintf(attribute, sizeof attribute, "%02X", n.attributeId);
  const std::string own[] = {
      "KESTREL_DRIVE=" + std::to_string(n.drive),
      "KESTREL_MODEL=" + Trimmed(n.record->modelNumber),
      "KESTREL_SERIAL=" + Trimmed(n.record->serialNumber),
      std::string("KESTREL_ATTRIBUTE=") + attribute,
      "KESTREL_NAME=" + Cp932ToUtf8(n.name),
      std::string("KESTREL_CHANGE=") + ChangeName(n.change),
      std::string("KESTREL_LEVEL=") + kLevels[n.level < 0   ? 0
                                              : n.level > 2 ? 2
                                                            : n.level],
      "KESTREL_NOTICE=" + Cp932ToUtf8(n.text),
  };
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "KESTREL_", 8) != 0) env.push_back(*e);
  }
  for (const std::string& v : own) env.push_back(const_cast<char*>(v.c_str()));
  env.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program_.c_str()), nullptr};

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program_.c_str(), nullptr, nullptr, argv, env.data());
  if (rc != 0) {
    std::fprintf(stderr, "kestrel-cli: --notify-exec %s: %s\n", program_.c_str(),
                 std::strerror(rc));
    return;
  }
  *free = Child{pid, MonotonicSeconds()};
}

void NotifyHook::Reap() {
  const long now = MonotonicSeconds();
  for (Child& c : children_) {
    if (c.pid <= 0) continue;
    if (waitpid(c.pid, nullptr, WNOHANG) == c.pid) {
      c = Child{};
    } else if (now - c.started >= kTimeLimitSeconds) {
      kill(c.pid, SIGKILL);
      waitpid(c.pid, nullptr, 0);
      std::fprintf(stderr, "kestrel-cli: --notify-exec: killed after %d seconds\n",
                   kTimeLimitSeconds);
      c = Child{};
    }
  }
}

int NotifyHook::running() const {
  int n = 0;
  for (const Child& c : children_) n += c.pid > 0;
  return n;
}

}  // namespace kestrel
