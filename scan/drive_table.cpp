#include "scan/drive_table.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>  // std::chrono without <chrono>: see CMakeLists.txt

#include "base/cp932.h"
#include "scan/host.h"

namespace kestrel {

namespace {

DriveTable g_table;
Services g_services;

constexpr int kLockTries = 1000;
constexpr std::chrono::milliseconds kLockWait{10};

}  // namespace

void MessageSink::Note(int, const char*) {}

void InstallServices(const Services& services) { g_services = services; }
const Services& InstalledServices() { return g_services; }

DriveTable& TheDriveTable() { return g_table; }

DriveTable* LockDriveTable() {
  if (!g_table.lock) return &g_table;
  for (int i = 0; i < kLockTries; ++i) {
    if (g_table.lock->try_lock_for(kLockWait)) return &g_table;
  }
  static const char kText[] = "SMART情報管理データにアクセス失敗";
  g_services.sink->Note(kStylePlain, kText);
  g_services.sink->ShowMessageBox(nullptr, "Varnel", kText, kStylePlain);
  return nullptr;
}

void UnlockDriveTable() {
  if (g_table.lock) g_table.lock->unlock();
}

void ReportMessage(int style, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  // vsnprintf cuts by bytes; never leave half of a double-byte character.
  if (static_cast<std::size_t>(n) >= sizeof text) {
    text[CutLength(text, sizeof text - 1)] = '\0';
  }

  MessageSink* sink = g_services.sink;
  sink->Note(style, text);
  if (style >= 0) {
    if (g_table.ownerWindow != nullptr) {
      char caption[80];
      sink->GetWindowTitle(g_table.ownerWindow, caption, sizeof caption);
      sink->ShowMessageBox(g_table.ownerWindow, caption, text, style);
    } else {
      sink->ShowMessageBox(nullptr, "Varnsmart", text, style);
    }
  }
  if (g_table.statusWindow != nullptr) {
    sink->SetStatusText(g_table.statusWindow, 0, text);
  }
}

}  // namespace kestrel
