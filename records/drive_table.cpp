#include "records/drive_table.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>  // std::chrono without <chrono>: see CMakeLists.txt
#include <string_view>

#include "base/cp932.h"
#include "records/host.h"

namespace kestrel {

namespace {

// Every slot starts without a handle, so a shutdown before any scan closes
// nothing.
DriveTable EmptyTable() {
  DriveTable table{};
  for (DriveRecord& r : table.records) r.handle = kInvalidDeviceHandle;
  return table;
}

DriveTable g_table = EmptyTable();
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
  // The text holds 1023 bytes. It is formatted with one byte to spare, so
  // that a double-byte character across the 1023rd byte is seen whole and
  // left out rather than halved.
  constexpr std::size_t kLongest = 1023;
  char text[kLongest + 2];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) > kLongest) {
    text[CutLength(std::string_view(text, kLongest + 1), kLongest)] = '\0';
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
