#include "app/win32/main_window.h"

#include <commctrl.h>
#include <io.h>
#include <shellapi.h>
#include <winver.h>

#include <cstdio>
#include <cstring>

#include "app/log_option.h"
#include "app/program_texts.h"
#include "app/shell/shell_model.h"
#include "app/win32/about_dialog.h"
#include "app/win32/drive_properties_dialog.h"
#include "base/cp932.h"
#include "records/drive_table.h"
#include "records/host.h"
#include "resources/resource.h"
#include "scan/scan.h"

namespace kestrel {

// The notification record: 488 bytes (shell 5 and later) or 88 in a 32-bit
// program; a 64-bit program passes the sizes of the same two versions.
static_assert(sizeof(void*) == 8 || NOTIFYICONDATAA_V2_SIZE == 488);
static_assert(sizeof(void*) == 8 || NOTIFYICONDATAA_V1_SIZE == 88);

namespace {

constexpr char kSettingsSection[] = "Window";
constexpr char kStartText[] = "ご利用いただきありがとうございます.";

const char* const kHelpPlaces[4] = {
    "help\\help.html",
    "Solo\\help\\help.html",
    "..\\help\\Solo\\help\\help.html",
    "..\\..\\help\\Solo\\help\\help.html",
};

struct DllVersionInfo {  // DLLVERSIONINFO
  DWORD cbSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformID;
};
static_assert(sizeof(DllVersionInfo) == 20);

unsigned ProbeShellMajorVersion() {
  unsigned major = 0;
  HMODULE shell = LoadLibraryA("shell32.dll");
  if (shell == nullptr) return 0;
  using DllGetVersionFn = HRESULT(CALLBACK*)(DllVersionInfo*);
  auto get = reinterpret_cast<DllGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")));
  if (get != nullptr) {
    DllVersionInfo info{};
    info.cbSize = sizeof info;
    if (get(&info) == 0) major = info.dwMajorVersion;
  }
  FreeLibrary(shell);
  return major;
}

std::string ModulePath() {
  char path[292];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return "";
  return std::string(path, n);
}

std::string ReadVersionText() {
  std::string module = ModulePath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(module.c_str(), &ignored);
  if (size == 0) return VersionTextUnknown();
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(module.c_str(), 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr) {
    return VersionTextUnknown();
  }
  return VersionText(HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                     HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS));
}

HICON LoadProgramIcon(int id) {
  return static_cast<HICON>(
      LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
}

void InsertEntries(HMENU menu, UINT position, const std::vector<MenuEntry>& entries) {
  for (const MenuEntry& e : entries) {
    if (e.command == 0) {
      InsertMenuA(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    } else {
      InsertMenuA(menu, position++, MF_BYPOSITION | MF_STRING, e.command, e.text);
    }
  }
}

}  // namespace

const MessageEntry<MainWindow> MainWindow::kMessages[9] = {
    {WM_TIMER, &MainWindow::OnTimer},
    {WM_SYSCOMMAND, &MainWindow::OnSysCommand},
    {WM_SIZE, &MainWindow::OnSize},
    {WM_CLOSE, &MainWindow::OnClose},
    {WM_DESTROY, &MainWindow::OnDestroy},
    {WM_QUERYDRAGICON, &MainWindow::OnQueryDragIcon},
    {WM_INITMENUPOPUP, &MainWindow::OnInitMenuPopup},
    {WM_TRAYCALLBACK, &MainWindow::OnTrayCallback},
    {WM_NULL, &MainWindow::OnNothing},
};

const CommandEntry<MainWindow> MainWindow::kCommands[7] = {
    {ID_TRAY_OPEN, ID_TRAY_OPEN, &MainWindow::OnOpen},
    {ID_APP_EXIT, ID_APP_EXIT, &MainWindow::OnExit},
    {ID_USE_BALLOON, ID_USE_BALLOON, &MainWindow::OnToggleBalloon},
    {ID_HIDE_ON_START, ID_HIDE_ON_START, &MainWindow::OnToggleHideOnStart},
    {ID_HELP_CONTENTS, ID_HELP_CONTENTS, &MainWindow::OnHelp},
    {ID_APP_ABOUT, ID_APP_ABOUT, &MainWindow::OnAbout},
    {ID_DRIVE_FIRST, ID_DRIVE_LAST, &MainWindow::OnDriveCommand},
};

MainWindow::MainWindow() {
  trayIcons_[2] = LoadProgramIcon(IDI_TRAY_ERROR);
  trayIcons_[1] = LoadProgramIcon(IDI_TRAY_WARNING);
  trayIcons_[0] = LoadProgramIcon(IDI_TRAY_NORMAL);
  trayIcons_[3] = LoadProgramIcon(IDI_KESTREL);
  shellMajorVersion_ = ProbeShellMajorVersion();
  settingsPath_ = SettingsPathFor(ModulePath());
  // Any value other than 0 counts as on.
  hideOnStart_ =
      GetPrivateProfileIntA(kSettingsSection, "HideOnStart", 0, settingsPath_.c_str()) != 0;
  useBalloon_ =
      GetPrivateProfileIntA(kSettingsSection, "UseBalloon", 1, settingsPath_.c_str()) != 0;
  versionText_ = ReadVersionText();
}

MainWindow::~MainWindow() = default;

bool MainWindow::PreDispatch(UINT message, WPARAM, LPARAM, INT_PTR* result) {
  // The shell restarted: the icon comes back with the current health.
  if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
    UpdateTrayIcon(kTrayAdd, kTrayIcon | kTrayTip, TheMonitorState().trayState, kProgramTitle, 0);
    *result = FALSE;
    return true;
  }
  return false;
}

BOOL MainWindow::OnInitDialog() {
  taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
  MonitorState& state = TheMonitorState();

  // 1-2: system menu, icon and title.
  HMENU system = GetSystemMenu(hwnd(), FALSE);
  if (system != nullptr) {
    AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(system, MF_STRING, IDM_ABOUTBOX, "Kestrelのバージョン情報...(&A)");
  }
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(trayIcons_[3]));
  SetWindowTextA(hwnd(), kProgramTitle);

  // 3-5: menus, status bar, the notification-area icon.
  BuildMenus();
  CreateStatusBar();
  state.trayState = 0;
  UpdateTrayIcon(kTrayAdd, kTrayIcon | kTrayTip, 0, kProgramTitle, 0);

  // 6-7: the log of the "/l" option, then the scan.
  OpenLogFromCommandLine(InstalledServices().env->CommandLine(), state, hwnd());
  ScanDrives(hwnd(), nullptr);

  // 8-12: the drive menu and the monitor, under the lock.
  for (MonitorSlot& slot : state.slots) slot = MonitorSlot{};
  DriveTable* table = LockDriveTable();
  if (table == nullptr) {
    PostMessageA(hwnd(), WM_CLOSE, 0, 0);
    return FALSE;
  }
  bool anyAttributes = false;
  for (const DriveRecord& r : table->records) {
    if ((r.state & Present) && r.attributeCount != 0) anyAttributes = true;
  }
  if (!anyAttributes) {
    UnlockDriveTable();
    MessageBoxA(hwnd(), kNoSmartDriveMessage, kProgramTitle, MB_OK | MB_ICONSTOP);
    PostMessageA(hwnd(), WM_CLOSE, 0, 0);
    return FALSE;
  }
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = table->records[d];
    if (!(r.state & Present)) continue;
    AppendMenuA(driveMenu_, MF_STRING, ID_DRIVE_FIRST + d,
                DriveMenuLabel(DriveBadge(r), d).c_str());
  }
  StartMonitor(*table);
  RemoveMenu(driveMenu_, 0, MF_BYPOSITION);
  UnlockDriveTable();

  // 13: the panel; the program goes on without it when it cannot be made.
  panel_ = std::make_unique<DiagnosisPanel>();
  if (panel_->CreateModeless(IDD_DIAGNOSISPANEL, hwnd())) {
    ShowWindow(panel_->hwnd(), SW_SHOW);
  } else {
    panel_.reset();
  }

  // 14-16: layout, the timer and the first tick.
  RECT client;
  GetClientRect(hwnd(), &client);
  LPARAM size = MAKELPARAM(client.right - client.left, client.bottom - client.top);
  PostMessageA(hwnd(), WM_SIZE, 0, size);
  PostMessageA(hwnd(), WM_SIZE, 0, size);
  timerId_ = SetTimer(hwnd(), 1, 1000, nullptr);
  MonitorTick();

  // 17: shown, centred, unless the settings say otherwise.
  if (!hideOnStart_) {
    RECT r;
    GetWindowRect(hwnd(), &r);
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    SetWindowPos(hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(hwnd(), SW_SHOW);
  }
  return TRUE;
}

void MainWindow::BuildMenus() {
  if (shellMajorVersion_ < 5) useBalloon_ = 0;  // this run only
  trayMenu_ = CreatePopupMenu();
  InsertEntries(trayMenu_, 0, TrayMenuModel(shellMajorVersion_));

  HMENU bar = GetMenu(hwnd());
  fileMenu_ = GetSubMenu(bar, 0);
  driveMenu_ = GetSubMenu(bar, 1);
  helpMenu_ = GetSubMenu(bar, 2);
  for (HMENU menu : {fileMenu_, helpMenu_}) {
    PopupModel model = menu == fileMenu_ ? FileMenuModel(shellMajorVersion_) : HelpMenuModel();
    InsertEntries(menu, 0, model.beforePlaceholder);
    UINT end = static_cast<UINT>(GetMenuItemCount(menu));
    InsertEntries(menu, end, model.afterPlaceholder);
    if (model.removePlaceholder) {
      RemoveMenu(menu, static_cast<UINT>(model.beforePlaceholder.size()), MF_BYPOSITION);
    }
  }
}

void MainWindow::CreateStatusBar() {
  statusBar_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd(),
                               reinterpret_cast<HMENU>(IDC_STATUSBAR), ProgramInstance(), nullptr);
  int parts[2] = {200, 300};
  SendMessageA(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  SetStatusText(0, kStartText);
}

void MainWindow::UpdateTrayIcon(unsigned action, unsigned fields, int iconIndex, const char* text,
                                int balloonIcon) {
  TrayRecord record = FillTrayRecord(action, fields, iconIndex, text, balloonIcon,
                                     shellMajorVersion_, useBalloon_ != 0);
  NOTIFYICONDATAA nid;
  std::memset(&nid, 0, sizeof nid);
  nid.cbSize = record.size == 488 ? NOTIFYICONDATAA_V2_SIZE : NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hwnd();
  nid.uID = 0;
  nid.uFlags = record.flags;
  nid.uCallbackMessage = WM_TRAYCALLBACK;
  nid.hIcon = trayIcons_[iconIndex >= 0 && iconIndex < 4 ? iconIndex : 0];
  std::memcpy(nid.szTip, record.tip, sizeof record.tip);
  if (record.flags & kTrayInfo) {
    std::memcpy(nid.szInfo, record.info, sizeof record.info);
    nid.uTimeout = record.timeoutMs;
    std::memcpy(nid.szInfoTitle, record.infoTitle, sizeof record.infoTitle);
    nid.dwInfoFlags = record.infoFlags;
  }
  Shell_NotifyIconA(action, &nid);  // a shell that is not there comes back
  if (fields & kTrayIcon) TheMonitorState().trayState = iconIndex;
}

void MainWindow::ChangeTrayIcon(int state) {
  UpdateTrayIcon(kTrayModify, kTrayIcon, state, nullptr, 0);
}

void MainWindow::ShowNotice(const char* text, int balloonIcon) {
  UpdateTrayIcon(kTrayModify, kTrayTip, 0, text, balloonIcon);
}

void MainWindow::SetStatusText(int part, const char* text) {
  SendMessageA(statusBar_, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void MainWindow::OpenPage(const char* path) {
  ShellExecuteA(nullptr, nullptr, path, nullptr, "", SW_SHOWNORMAL);
}

INT_PTR MainWindow::OnTimer(WPARAM, LPARAM) {
  MonitorTick();
  return TRUE;
}

INT_PTR MainWindow::OnSysCommand(WPARAM wParam, LPARAM) {
  if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return FALSE;
  AboutDialog about(versionText_);
  about.RunModal(IDD_ABOUTBOX, hwnd());
  return TRUE;
}

INT_PTR MainWindow::OnSize(WPARAM wParam, LPARAM lParam) {
  if (wParam == SIZE_MINIMIZED) {
    ShowWindow(hwnd(), SW_HIDE);
    return FALSE;
  }
  if (statusBar_ == nullptr) return FALSE;
  RECT status;
  GetWindowRect(statusBar_, &status);
  RECT picture{0, 0, 352, 279};
  if (HWND p = GetDlgItem(hwnd(), IDC_TITLE_PICTURE)) GetWindowRect(p, &picture);
  RECT window;
  GetWindowRect(hwnd(), &window);
  LayoutInput in{LOWORD(lParam),
                 HIWORD(lParam),
                 static_cast<int>(status.bottom - status.top),
                 static_cast<int>(picture.right - picture.left),
                 static_cast<int>(picture.bottom - picture.top),
                 static_cast<int>(window.right - window.left),
                 static_cast<int>(window.bottom - window.top)};
  LayoutResult r = ComputeLayout(in);
  MoveWindow(statusBar_, r.statusX, r.statusY, r.statusWidth, r.statusHeight, TRUE);
  SendMessageA(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(r.partEdges));
  if (r.resizeWindow) {
    SetWindowPos(hwnd(), nullptr, 0, 0, r.windowWidth, r.windowHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return FALSE;
}

INT_PTR MainWindow::OnClose(WPARAM, LPARAM) {
  // Asked for inside a box that a monitor step shows (its nested message
  // loop): the step still uses the log, the drives and the lock, so the
  // end comes as a new WM_CLOSE once the step has returned.
  if (MonitorBusy()) {
    EndAfterMonitorTick(
        [](void* window) { PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0); }, hwnd());
    return TRUE;
  }
  CloseLog(TheMonitorState());
  if (trayMenu_ != nullptr) DestroyMenu(trayMenu_);
  trayMenu_ = nullptr;
  ShutdownDrives();
  UpdateTrayIcon(kTrayDelete, 0, 0, nullptr, 0);
  DestroyWindow(hwnd());
  return TRUE;
}

INT_PTR MainWindow::OnDestroy(WPARAM, LPARAM) {
  PostQuitMessage(0);
  return FALSE;
}

INT_PTR MainWindow::OnQueryDragIcon(WPARAM, LPARAM) {
  return reinterpret_cast<INT_PTR>(trayIcons_[3]);
}

INT_PTR MainWindow::OnInitMenuPopup(WPARAM wParam, LPARAM lParam) {
  auto menu = reinterpret_cast<HMENU>(wParam);
  for (const auto& [command, checked] :
       CheckMarks(shellMajorVersion_, HIWORD(lParam) != 0, LOWORD(lParam), useBalloon_ != 0,
                  hideOnStart_ != 0)) {
    CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  return FALSE;
}

INT_PTR MainWindow::OnTrayCallback(WPARAM, LPARAM lParam) {
  switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDOWN:
      if (IsWindowVisible(hwnd())) {
        BringWindowToTop(hwnd());
        SetForegroundWindow(hwnd());
      } else {
        ShowWindow(hwnd(), SW_SHOW);
        ShowWindow(hwnd(), SW_RESTORE);
      }
      break;
    case WM_RBUTTONDOWN: {
      POINT at;
      GetCursorPos(&at);
      EnableMenuItem(trayMenu_, ID_TRAY_OPEN,
                     MF_BYCOMMAND | (IsWindowVisible(hwnd()) ? MF_GRAYED : MF_ENABLED));
      if (shellMajorVersion_ >= 5) {
        CheckMenuItem(trayMenu_, ID_USE_BALLOON,
                      MF_BYCOMMAND | (useBalloon_ ? MF_CHECKED : MF_UNCHECKED));
      }
      BringWindowToTop(hwnd());
      SetForegroundWindow(hwnd());
      TrackPopupMenu(trayMenu_, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
      // A message to the window after the menu: without it Windows leaves
      // the menu of a notification icon up after a click elsewhere, or
      // closes the next one at once.
      PostMessageA(hwnd(), WM_NULL, 0, 0);
      break;
    }
    default:
      break;
  }
  return TRUE;
}

void MainWindow::OnOpen(UINT) {
  ShowWindow(hwnd(), SW_SHOW);
  ShowWindow(hwnd(), SW_RESTORE);
}

void MainWindow::OnExit(UINT) { PostMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); }

void MainWindow::WriteSetting(const char* key, int value) {
  // A settings file that cannot be written keeps the change for this run.
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  WritePrivateProfileStringA(kSettingsSection, key, text, settingsPath_.c_str());
}

void MainWindow::OnToggleBalloon(UINT) {
  useBalloon_ = !useBalloon_;
  WriteSetting("UseBalloon", useBalloon_);
}

void MainWindow::OnToggleHideOnStart(UINT) {
  hideOnStart_ = !hideOnStart_;
  WriteSetting("HideOnStart", hideOnStart_);
}

void MainWindow::OnHelp(UINT) {
  const char* page = ChooseHelpPage([](const char* p) { return _access(p, 0) == 0; }, kHelpPlaces);
  ShellExecuteA(nullptr, nullptr, page, nullptr, "", SW_SHOWNORMAL);
}

void MainWindow::OnAbout(UINT) { PostMessageA(hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }

void MainWindow::OnDriveCommand(UINT command) {
  DrivePropertiesDialog::Open(static_cast<int>(command - ID_DRIVE_FIRST), hwnd());
}

}  // namespace kestrel
