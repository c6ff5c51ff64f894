// The drive side's messages on Windows: message boxes, window titles and
// the status bar.
#pragma once

#include <windows.h>

#include "records/host.h"

namespace kestrel {

class Win32Sink final : public MessageSink {
 public:
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override {
    MessageBoxA(static_cast<HWND>(owner), text, caption, static_cast<UINT>(MB_OK | style));
  }
  void GetWindowTitle(WindowHandle window, char* out, std::size_t size) override {
    if (GetWindowTextA(static_cast<HWND>(window), out, static_cast<int>(size)) <= 0) {
      out[0] = '\0';
    }
  }
  void SetStatusText(WindowHandle statusBar, int part, const char* text) override {
    // SB_SETTEXTA (WM_USER + 1), normal border.
    SendMessageA(static_cast<HWND>(statusBar), WM_USER + 1, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(text));
  }
};

}  // namespace kestrel
