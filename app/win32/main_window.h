// The main window: title picture, diagnosis panel, menus, status bar and
// the notification-area icon; it starts the scan and the monitor and shuts
// everything down in order when it closes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/win32/diagnosis_panel.h"
#include "app/win32/dialog_window.h"
#include "report/monitor.h"

namespace kestrel {

class MainWindow final : public DialogWindowOf<MainWindow>, public MonitorHost {
 public:
  // Construction: icons, the shell's version, the settings and the
  // version text. No window exists yet.
  MainWindow();
  ~MainWindow() override;

  static const MessageEntry<MainWindow> kMessages[9];
  static const CommandEntry<MainWindow> kCommands[7];

  // --- MonitorHost
  void ChangeTrayIcon(int state) override;
  void ShowNotice(const char* text, int balloonIcon) override;
  void SetStatusText(int part, const char* text) override;
  void OpenPage(const char* path) override;

 protected:
  BOOL OnInitDialog() override;
  // Enter and Esc do nothing: the window neither closes nor hides.
  void OnDefaultButton() override {}
  void OnCancel() override {}
  bool PreDispatch(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  INT_PTR OnTimer(WPARAM, LPARAM);
  INT_PTR OnSysCommand(WPARAM, LPARAM);
  INT_PTR OnSize(WPARAM, LPARAM);
  INT_PTR OnClose(WPARAM, LPARAM);
  INT_PTR OnDestroy(WPARAM, LPARAM);
  INT_PTR OnQueryDragIcon(WPARAM, LPARAM);
  INT_PTR OnInitMenuPopup(WPARAM, LPARAM);
  INT_PTR OnTrayCallback(WPARAM, LPARAM);
  INT_PTR OnNothing(WPARAM, LPARAM) { return FALSE; }
  void OnOpen(UINT);
  void OnExit(UINT);
  void OnToggleBalloon(UINT);
  void OnToggleHideOnStart(UINT);
  void OnHelp(UINT);
  void OnAbout(UINT);
  void OnDriveCommand(UINT command);

  void BuildMenus();
  void CreateStatusBar();
  void UpdateTrayIcon(unsigned action, unsigned fields, int iconIndex, const char* text,
                      int balloonIcon);
  void WriteSetting(const char* key, int value);

  HWND statusBar_ = nullptr;
  HMENU trayMenu_ = nullptr;
  HMENU fileMenu_ = nullptr;
  HMENU driveMenu_ = nullptr;
  HMENU helpMenu_ = nullptr;
  unsigned shellMajorVersion_ = 0;
  int useBalloon_ = 1;
  UINT_PTR timerId_ = 0;
  std::unique_ptr<DiagnosisPanel> panel_;
  std::string settingsPath_;
  int hideOnStart_ = 0;
  HICON trayIcons_[4] = {};
  std::string versionText_;
  UINT taskbarCreatedMessage_ = 0;
};

}  // namespace kestrel
