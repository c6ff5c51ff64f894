// The Windows program, first form: scans the drives, reads them once and
// shows what it found in a message box. The main window, tray icon and
// monitor take its place as the shell is built.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/program_texts.h"
#include "ata/ata_channel.h"
#include "ata/ata_platform.h"
#include "base/cp932.h"
#include "scan/drive_table.h"
#include "scan/host.h"

namespace kestrel {
namespace {

class Win32Sink final : public MessageSink {
 public:
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override {
    MessageBoxA(static_cast<HWND>(owner), text, caption,
                static_cast<UINT>(MB_OK | style));
  }
  void GetWindowTitle(WindowHandle window, char* out, std::size_t size) override {
    if (GetWindowTextA(static_cast<HWND>(window), out, static_cast<int>(size)) <= 0) {
      out[0] = '\0';
    }
  }
  void SetStatusText(WindowHandle statusBar, int part, const char* text) override {
    SendMessageA(static_cast<HWND>(statusBar), WM_USER + 1, part,
                 reinterpret_cast<LPARAM>(text));
  }
};

int Run() {
  Win32Sink sink;
  InstallServices(Services{DefaultAtaPlatform(), DefaultEnvironment(), &sink});
  ScanDrives(nullptr, nullptr);

  DriveTable* table = LockDriveTable();
  if (table == nullptr) return 1;
  std::string summary;
  std::uint32_t due = 0;
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = table->records[d];
    if (!(r.state & Present) || r.attributeCount == 0) continue;
    if ((r.state & Usable) && (ReadSmartStatus(d) & SmartEnabled)) due |= 1u << d;
    char line[160];
    std::snprintf(line, sizeof line, "%sATA#%d %s %s\r\n",
                  r.isSerialAta ? "S" : "", d, r.modelNumber, r.capacityText);
    summary += line;
  }
  UnlockDriveTable();
  if (summary.empty()) {
    MessageBoxA(nullptr, kNoSmartDriveMessage, kProgramTitle, MB_OK | MB_ICONSTOP);
    ShutdownDrives();
    return 1;
  }
  RereadSmart(due);
  MessageBoxA(nullptr, summary.c_str(), kProgramTitle, MB_OK | MB_ICONINFORMATION);
  ShutdownDrives();
  return 0;
}

}  // namespace
}  // namespace kestrel

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return kestrel::Run(); }
