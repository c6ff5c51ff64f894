// Drives Kestrel.exe and KestrelSim.exe from outside, as a user would, but
// by window messages: it finds windows by title and class, reads their
// texts (the status bar's and the shell's balloon's through memory in
// their processes), sends menu commands and presses buttons. The menus,
// which another process cannot read, it reads through menu_probe.dll
// hooked into the program; the diagnosis button's pictures it compares
// with the program's own button strip on the screen. It runs in the same
// Wine desktop as the program; tests/win32/e2e/run.sh starts both and
// describes the runs (the modes are in main's usage text).
//
// Each failed check prints "FAIL ..."; the exit code is the number of
// failures. "SNAP name" asks run.sh for a screenshot SNAPDIR/name.png, which
// the driver waits for.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr char kTitle[] = "Kestrelハードディスク故障診断プログラム";
constexpr char kDialogClass[] = "#32770";
constexpr char kMenuClass[] = "#32768";
constexpr char kStartText[] = "ご利用いただきありがとうございます.";
constexpr UINT kTrayCallback = 0x7777;
constexpr int kDiagnose = 1010;
constexpr int kServiceLink = 1014;
constexpr int kStatusBarId = 30292;
enum Command : WPARAM {
  kDriveFirst = 32750,
  kExit = 32781,
  kUseBalloon = 32782,
  kAbout = 32784,
  kHideOnStart = 32785,
};

int g_failures = 0;

void Say(const char* format, const std::string& a = {}, const std::string& b = {}) {
  std::printf(format, a.c_str(), b.c_str());
  std::printf("\n");
  std::fflush(stdout);
}

bool Check(bool ok, const char* what, const std::string& detail = {}) {
  if (!ok) ++g_failures;
  Say(ok ? "ok   %s %s" : "FAIL %s %s", what, detail);
  return ok;
}

bool CheckText(const std::string& got, const std::string& want, const char* what) {
  return Check(got == want, what, got == want ? got : "[" + got + "] != [" + want + "]");
}

// Polls `done` every 50 ms for up to `ms` milliseconds.
template <typename F>
bool WaitFor(DWORD ms, F done) {
  for (ULONGLONG end = GetTickCount64() + ms; !done(); Sleep(50)) {
    if (GetTickCount64() >= end) return false;
  }
  return true;
}

// Checks that `done` comes true within `ms` milliseconds.
template <typename F>
bool CheckWithin(DWORD ms, const char* what, const std::string& detail, F done) {
  return Check(WaitFor(ms, done), what, detail);
}
template <typename F>
bool CheckWithin(DWORD ms, const char* what, F done) {
  return CheckWithin(ms, what, {}, done);
}

std::string ClassOf(HWND w) {
  char name[128] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

std::string TextOf(HWND w) {
  char text[1024] = {};
  // WM_GETTEXT goes to the program's thread: a hung program must not hang
  // the test.
  DWORD_PTR n = 0;
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &n);
  return text;
}

std::string ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item == nullptr ? "<no control>" : TextOf(item);
}

DWORD ProcessOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

// The top-level windows of class `cls`, with caption `title` unless that
// is nullptr, of process `pid` unless that is 0, shown unless `hidden`.
std::vector<HWND> TopWindows(const char* cls, const char* title, DWORD pid = 0,
                             bool hidden = false) {
  std::vector<HWND> found;
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, cls, title)) != nullptr;) {
    if ((hidden || IsWindowVisible(w)) && (pid == 0 || ProcessOf(w) == pid)) found.push_back(w);
  }
  return found;
}

// The first shown window of the program with this class (and caption),
// within 10 s.
HWND WaitWindow(DWORD pid, const char* cls, const char* caption = nullptr) {
  std::vector<HWND> all;
  WaitFor(10000, [&] { return !(all = TopWindows(cls, caption, pid)).empty(); });
  return all.empty() ? nullptr : all.front();
}

// The main window is the program's dialog that has the menu bar.
HWND FindMainWindow(bool hidden = false) {
  for (HWND w : TopWindows(kDialogClass, kTitle, 0, hidden)) {
    if (GetMenu(w) != nullptr) return w;
  }
  return nullptr;
}

// Sends `message` to a common control of another process with a copy of
// `n` bytes of `data` in that process as its LPARAM, and copies the copy
// back into `data`: that is how the control's answers come back.
// `relocate(local, remote)` may point fields of `data` into the copy.
bool AskRemote(HWND w, UINT message, WPARAM wParam, void* data, SIZE_T n, DWORD_PTR* result,
               void (*relocate)(char* local, char* remote) = nullptr) {
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(w));
  if (process == nullptr) return false;
  auto* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, n, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (remote != nullptr && relocate != nullptr) relocate(static_cast<char*>(data), remote);
  SIZE_T done = 0;
  bool ok = remote != nullptr && WriteProcessMemory(process, remote, data, n, &done) &&
            SendMessageTimeoutA(w, message, wParam, reinterpret_cast<LPARAM>(remote),
                                SMTO_ABORTIFHUNG, 5000, result) &&
            ReadProcessMemory(process, remote, data, n, &done) && done == n;
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

std::string StatusText(HWND bar, int part) {
  char text[1024] = {};
  DWORD_PTR ignored = 0;
  if (!AskRemote(bar, SB_GETTEXTA, static_cast<WPARAM>(part), text, sizeof text, &ignored)) {
    return "<no answer>";
  }
  text[sizeof text - 1] = '\0';
  return text;
}

std::vector<int> StatusParts(HWND bar) {
  int edges[16] = {};
  DWORD_PTR n = 0;
  if (!AskRemote(bar, SB_GETPARTS, 16, edges, sizeof edges, &n)) return {};
  return std::vector<int>(edges, edges + (n < 16 ? n : 16));
}

// The text of the balloon the shell shows for a notification-area icon (a
// balloon tooltip of another process); "" when none is up.
std::string BalloonText() {
  HWND tip = nullptr;
  for (HWND w : TopWindows(TOOLTIPS_CLASSA, nullptr)) {
    if (GetWindowLongA(w, GWL_STYLE) & TTS_BALLOON) tip = w;
  }
  struct Tool {
    TTTOOLINFOW info;
    wchar_t text[256];
  } tool{};
  tool.info.cbSize = sizeof tool.info;
  DWORD_PTR ignored = 0;
  char text[512] = {};
  if (tip != nullptr && AskRemote(tip, TTM_ENUMTOOLSW, 0, &tool, sizeof tool, &ignored,
                                  [](char* local, char* remote) {
                                    reinterpret_cast<Tool*>(local)->info.lpszText =
                                        reinterpret_cast<wchar_t*>(remote + offsetof(Tool, text));
                                  })) {
    WideCharToMultiByte(CP_ACP, 0, tool.text, -1, text, sizeof text - 1, nullptr, nullptr);
  }
  return text;
}

// One line of the program's menu items as menu_probe.cpp writes them:
// `which` is 0 for the menu bar, 1 for the system menu, else an open popup
// menu window. The first call hooks menu_probe.dll, beside the driver,
// into the program's window thread.
std::string ProbeMenu(HWND main, LPARAM which) {
  static HWND answers = nullptr;
  if (answers == nullptr) {
    answers = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HMODULE probe = LoadLibraryA("menu_probe.dll");
    auto hook =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeHook")));
    if (hook == nullptr ||
        !SetWindowsHookExA(WH_CALLWNDPROC, hook, probe, GetWindowThreadProcessId(main, nullptr))) {
      return "<no probe>";
    }
  }
  SetWindowTextA(answers, "<no answer>");
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(main, RegisterWindowMessageA("KestrelMenuProbe"),
                      reinterpret_cast<WPARAM>(answers), which, SMTO_ABORTIFHUNG, 5000, &ignored);
  return TextOf(answers);
}

// Opens the tray icon's menu as by its right button and checks its items.
HWND CheckTrayMenu(HWND main, const char* items, const char* what) {
  PostMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
  HWND menu = WaitWindow(ProcessOf(main), kMenuClass);
  CheckText(menu == nullptr ? "<no menu>" : ProbeMenu(main, reinterpret_cast<LPARAM>(menu)), items,
            what);
  return menu;
}

// The labels of a dialog that the dialogs' font cuts short.
std::string CutLabels(HWND dialog) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontA(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE, 0,
                           0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "ＭＳ Ｐゴシック");
  HGDIOBJ old = SelectObject(dc, font);
  std::string cut;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    std::string text = TextOf(c);
    SIZE size{};
    RECT r{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    GetClientRect(c, &r);
    if (ClassOf(c) == "Static" && size.cx > r.right) cut += " " + text;
  }
  DeleteObject(SelectObject(dc, old));
  ReleaseDC(nullptr, dc);
  return cut;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Asks run.sh for a screenshot and waits until it is there.
void Snap(const std::string& dir, const char* name) {
  Say("SNAP %s", name);
  std::string png = dir + "\\" + name + ".png";
  CheckWithin(30000, "screenshot taken", png, [&] { return FileExists(png); });
}

HANDLE OpenProgram(HWND w) {
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(w));
}

// Checks that the program's process ends within 20 s with exit code 0,
// and closes its handle.
void CheckEndsWithZero(HANDLE program, const char* what) {
  DWORD code = 1;
  if (program != nullptr && WaitForSingleObject(program, 20000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(program, &code);
  }
  Check(code == 0, what, std::to_string(code));
  if (program != nullptr) CloseHandle(program);
}

// ------------------------------------------------------------ Kestrel.exe

int StopBox(const std::string& snapDir) {
  // The main window exists (it owns the box) but must never be shown.
  bool mainShown = false;
  HWND box = nullptr;
  WaitFor(60000, [&] {
    if (FindMainWindow() != nullptr) mainShown = true;
    for (HWND w : TopWindows(kDialogClass, kTitle)) {
      if (GetMenu(w) == nullptr) box = w;
    }
    return box != nullptr;
  });
  if (!Check(box != nullptr, "stop box shown")) return g_failures;
  // The message box's text is its static control 0xFFFF.
  CheckText(ItemText(box, 0xFFFF),
            "S.M.A.R.T.情報が取得できません。管理者権限で\n"
            "Kestrelを起動してから診断を行なって下さい。",
            "stop box text");
  HANDLE program = OpenProgram(box);
  Check(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr,
        "stop box has OK only");
  Snap(snapDir, "stop-box");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  bool ended = WaitFor(20000, [&] {
    if (FindMainWindow() != nullptr) mainShown = true;
    return WaitForSingleObject(program, 0) == WAIT_OBJECT_0;
  });
  Check(ended, "program ends after OK");
  Check(!mainShown, "main window never shown");
  CheckEndsWithZero(program, "exit code 0");
  return g_failures;
}

// ------------------------------------------------------------ KestrelSim.exe

struct DriveWindow {
  const char* caption;
  const char* fields;  // model|serial|firmware|capacity|ATA version|SMART|comment
};

constexpr int kFieldIds[7] = {1021, 1022, 1023, 1020, 1024, 1025, 1027};

const DriveWindow kDriveWindows[2] = {
    {"ドライブSATA#0のプロパティ",
     "HAYABUSA HB250S|HB0S1234567|2.1A|232.8 GB|ATA/ATAPI-7 T13 1532D revision 4a|"
     "有無:有り  状態:有効|隼 250GB (Serial ATA, 7200rpm, 8MB)"},
    {"ドライブATA#1のプロパティ",
     "TSUBAME TB080A|TB1A0042|1.02|74.5 GB|ATA/ATAPI-6 T13 1410D revision 0|有無:有り  状態:有効|"},
};

std::vector<HWND> PropertyWindows(DWORD pid, int drive) {
  return TopWindows(kDialogClass, kDriveWindows[drive].caption, pid);
}

void CheckDriveWindows(HWND main, DWORD pid, const std::string& snapDir) {
  for (int drive = 0; drive < 2; ++drive) {
    PostMessageA(main, WM_COMMAND, kDriveFirst + drive, 0);
    HWND w = WaitWindow(pid, kDialogClass, kDriveWindows[drive].caption);
    if (!Check(w != nullptr, "drive window", kDriveWindows[drive].caption)) continue;
    std::string fields = ItemText(w, kFieldIds[0]);
    for (int i = 1; i < 7; ++i) fields.append("|").append(ItemText(w, kFieldIds[i]));
    CheckText(fields, kDriveWindows[drive].fields, "fields");
    std::string cut = CutLabels(w);
    Check(cut.empty(), "labels whole in the dialogs' font", cut);
  }
  // Any number open: a second window of drive 0 beside the first.
  PostMessageA(main, WM_COMMAND, kDriveFirst, 0);
  CheckWithin(10000, "second window of the same drive",
              [&] { return PropertyWindows(pid, 0).size() == 2; });
  Snap(snapDir, "properties");
  // OK, Esc and Enter each close one window, and only it.
  std::vector<HWND> zero = PropertyWindows(pid, 0), one = PropertyWindows(pid, 1);
  if (zero.size() == 2 && one.size() == 1) {
    PostMessageA(zero[0], WM_COMMAND, IDOK, 0);
    PostMessageA(zero[1], WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(one[0], WM_KEYDOWN, VK_RETURN, 0);
  }
  CheckWithin(10000, "drive windows closed by OK, Esc and Enter",
              [&] { return PropertyWindows(pid, 0).empty() && PropertyWindows(pid, 1).empty(); });
  Check(IsWindowVisible(main) != FALSE, "main window stays");
}

void CheckAboutBox(HWND main, DWORD pid) {
  // Enter and Esc do nothing to the main window; the version box that
  // comes after them in the queue shows they have been handled.
  PostMessageA(main, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(main, WM_COMMAND, kAbout, 0);
  HWND about = WaitWindow(pid, kDialogClass, "Kestrelのバージョン情報");
  if (!Check(about != nullptr, "version box")) return;
  Check(IsWindowVisible(main) != FALSE, "Enter and Esc leave the main window");
  CheckText(ItemText(about, 1050) + "|" + ItemText(about, 1051),
            "Kestrelハードディスク故障診断プログラム Solo|Version 1.5.2  Copyright (C) 2026 Corvid",
            "version box texts");
  Check(!IsWindowEnabled(main), "version box is modal");
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  CheckWithin(10000, "version box closed by OK, main window enabled",
              [&] { return !IsWindow(about) && IsWindowEnabled(main); });
}

int Setting(const std::string& ini, const char* key) {
  return static_cast<int>(GetPrivateProfileIntA("Window", key, -1, ini.c_str()));
}

void CheckSettings(HWND main, const std::string& ini) {
  Check(!FileExists(ini), "no settings file before", ini);
  SendMessageA(main, WM_COMMAND, kHideOnStart, 0);
  Check(Setting(ini, "HideOnStart") == 1, "HideOnStart written as 1");
  SendMessageA(main, WM_COMMAND, kUseBalloon, 0);
  Check(Setting(ini, "UseBalloon") == 0 && Setting(ini, "HideOnStart") == 1,
        "UseBalloon written as 0, HideOnStart kept");
  Check(IsWindowVisible(main) != FALSE, "HideOnStart leaves the running window shown");
}

void CheckDiagnosis(HWND main, HANDLE program, const std::string& report) {
  HWND panel = FindWindowExA(main, nullptr, kDialogClass, nullptr);
  HWND button = panel == nullptr ? nullptr : GetDlgItem(panel, kDiagnose);
  if (!Check(button != nullptr, "diagnosis panel with its button")) return;
  // The button shows one row of the program's button strip: normal, with
  // the focus, pressed.
  char exe[MAX_PATH] = {};
  DWORD n = sizeof exe;
  QueryFullProcessImageNameA(program, 0, exe, &n);
  HDC strip = CreateCompatibleDC(nullptr), screen = GetDC(nullptr);
  SelectObject(strip, LoadImageA(LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE),
                                 MAKEINTRESOURCEA(142), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  RECT r;
  GetWindowRect(button, &r);
  auto shows = [&](const char* what, int want) {
    int w = r.right - r.left, h = r.bottom - r.top, row = -1;
    std::string seen;
    CheckWithin(3000, what, seen, [&] {
      for (row = 2; row >= 0; --row) {  // every third pixel of every third line
        bool same = true;
        for (int y = 0; y < h && same; y += 3) {
          for (int x = 0; x < w && same; x += 3) {
            same = GetPixel(screen, r.left + x, r.top + y) == GetPixel(strip, x, row * h + y);
          }
        }
        if (same) break;
      }
      seen = "row " + std::to_string(row);
      return row == want;
    });
  };
  SendMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(panel, kServiceLink)),
               TRUE);
  shows("diagnosis button normal", 0);
  SendMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
  shows("diagnosis button focused", 1);
  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  shows("diagnosis button pressed", 2);
  SendMessageA(button, BM_SETSTATE, FALSE, 0);
  ReleaseDC(nullptr, screen);
  DeleteDC(strip);

  Check(!FileExists(report), "no report before", report);
  // BM_CLICK goes through the button's own procedure (and the hand-cursor
  // procedure in front of it); the click reaches the panel as WM_COMMAND.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
  CheckWithin(10000, "report written", report, [&] { return FileExists(report); });
}

// The menus as the program has filled them, read from inside it. The
// settings are HideOnStart 1 and UseBalloon 0 now; the tray menu's balloon
// item turns balloons on again for the scenario's change.
void CheckMenus(HWND main, DWORD pid, const std::string& ini, const std::string& snapDir) {
  RECT r;
  GetWindowRect(main, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  HWND menu = CheckTrayMenu(
      main, "バルーンを表示する(&B)|*起動時に画面を表示しない(&H)|-|~開く(&O)|終了(&X)",
      "tray menu of the shown window");
  if (menu == nullptr) return;
  Snap(snapDir, "tray-menu");
  PostMessageA(menu, WM_CHAR, 'b', 0);
  CheckWithin(10000, "its balloon item writes UseBalloon 1",
              [&] { return !IsWindowVisible(menu) && Setting(ini, "UseBalloon") == 1; });
  // Alt+F opens the file popup, which gets its check marks as it opens.
  PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, 'f');
  menu = WaitWindow(pid, kMenuClass);
  CheckText(ProbeMenu(main, 0),
            "ファイル(&F){*バルーンを表示する(&B)|*起動時に画面を表示しない(&H)|-|終了(&X)}|"
            "ドライブ情報(&I){SATA#&0|ATA#&1}|"
            "ヘルプ(&H){Kestrelのヘルプ(&H)|Kestrelのバージョン情報...(&A)}",
            "menu bar");
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  CheckWithin(10000, "menu closed by Esc", [&] { return !IsWindowVisible(menu); });
  std::string system = ProbeMenu(main, 1);
  Check(system.ends_with("|-|Kestrelのバージョン情報...(&A)"),
        "system menu ends with the version item", system);
}

int Main(const std::string& log, const std::string& report, const std::string& ini,
         const std::string& snapDir) {
  HWND main = nullptr;
  WaitFor(60000, [&] { return (main = FindMainWindow()) != nullptr; });
  if (!Check(main != nullptr, "main window shown")) return g_failures;
  DWORD pid = ProcessOf(main);
  HANDLE program = OpenProgram(main);

  HWND bar = GetDlgItem(main, kStatusBarId);
  // The layout comes with the WM_SIZE the window posts itself: the title
  // picture (352 x 279) above the status bar, whose second part is the
  // right 150 pixels.
  RECT client{}, barRect{};
  bool laidOut = WaitFor(5000, [&] {
    GetClientRect(main, &client);
    GetWindowRect(bar, &barRect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&barRect), 2);
    return StatusParts(bar) == std::vector<int>{352 - 150, 352} && client.right == 352 &&
           barRect.top == 279 && barRect.bottom == client.bottom && barRect.right == 352;
  });
  Check(laidOut, "layout: client size, status bar and its parts",
        std::to_string(client.right) + " x " + std::to_string(client.bottom) + ", bar from " +
            std::to_string(barRect.top));
  CheckText(StatusText(bar, 0), kStartText, "status bar, left");
  std::string time;
  WaitFor(10000, [&] { return !(time = StatusText(bar, 1)).empty(); });
  CheckText(time, "取得時刻: 2026-12-07 09:00", "status bar, right");
  Snap(snapDir, "main-window");

  CheckDriveWindows(main, pid, snapDir);
  CheckAboutBox(main, pid);
  CheckSettings(main, ini);
  CheckDiagnosis(main, program, report);
  CheckMenus(main, pid, ini, snapDir);

  // Minimised, the window hides; the tray icon's left button restores it.
  PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  CheckWithin(5000, "minimised: hidden", [&] { return !IsWindowVisible(main); });
  PostMessageA(main, kTrayCallback, 0, WM_LBUTTONDOWN);
  CheckWithin(5000, "restored by the tray icon's left button",
              [&] { return IsWindowVisible(main) && !IsIconic(main); });
  // A restarted shell has lost the icon and says "TaskbarCreated". The
  // shell refuses to modify an icon it does not have.
  NOTIFYICONDATAA icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = main;
  auto iconThere = [&] { return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE; };
  Check(iconThere() && Shell_NotifyIconA(NIM_DELETE, &icon) && !iconThere(),
        "tray icon removed as by a restarting shell");
  PostMessageA(main, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  CheckWithin(5000, "TaskbarCreated adds the tray icon again", iconThere);

  // The scenario's change at second 5 comes with the next reading, 30
  // seconds after the first: its first notice is the raw value's. Each
  // notice also comes as the tray icon's balloon.
  std::string notice, balloon;
  Say("waiting up to 60 s for the scenario's change");
  CheckWithin(60000, "notice in the status bar, left",
              [&] { return (notice = StatusText(bar, 0)) != kStartText; });
  CheckText(notice, "ドライブATA#0の属性05(代替処理済のセクタ数)のロウデータが変化しました.",
            "notice text");
  CheckWithin(15000, "balloon with the notice", balloon,
              [&] { return (balloon = BalloonText()) == StatusText(bar, 0); });

  // The log is written in blocks: only its close makes it complete.
  PostMessageA(main, WM_CLOSE, 0, 0);
  CheckEndsWithZero(program, "WM_CLOSE ends the program with 0");
  CheckText(ReadFile(log),
            "earlier line\r\n"
            "2026/12/07 09:00\tATA#0\t05\t現在値\t99\r\n"
            "2026/12/07 09:00\tATA#0\t05\t最悪値\t99\r\n"
            "2026/12/07 09:00\tATA#0\t05\tロウデータ\t11\r\n",
            "log appended and complete");
  return g_failures;
}

int Hidden() {
  HWND main = nullptr;
  // Wait for the end of the start-up: the first reading's time.
  WaitFor(60000, [&] {
    main = FindMainWindow(true);
    HWND bar = main == nullptr ? nullptr : GetDlgItem(main, kStatusBarId);
    return bar != nullptr && !StatusText(bar, 1).empty();
  });
  if (!Check(main != nullptr, "main window made")) return g_failures;
  HANDLE program = OpenProgram(main);
  Sleep(1000);
  Check(!IsWindowVisible(main), "HideOnStart=1: not shown at the start");
  HWND menu = CheckTrayMenu(
      main, "*バルーンを表示する(&B)|*起動時に画面を表示しない(&H)|-|開く(&O)|終了(&X)",
      "tray menu of the hidden window");
  PostMessageA(menu, WM_CHAR, 'o', 0);
  CheckWithin(10000, "shown by 開く", [&] { return IsWindowVisible(main) != FALSE; });
  PostMessageA(main, WM_COMMAND, kExit, 0);
  CheckEndsWithZero(program, "the exit command ends the program with 0");
  return g_failures;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  int failures;
  if (mode == "stopbox" && argc == 3) {
    failures = StopBox(argv[2]);
  } else if (mode == "main" && argc == 6) {
    failures = Main(argv[2], argv[3], argv[4], argv[5]);
  } else if (mode == "hidden" && argc == 2) {
    failures = Hidden();
  } else if (mode == "ready" && argc == 3) {
    std::FILE* f = std::fopen(argv[2], "wb");
    return f != nullptr && std::fclose(f) == 0 ? 0 : 1;
  } else {
    std::fprintf(stderr,
                 "usage: driver stopbox SNAPDIR | main LOG REPORT SETTINGS SNAPDIR | hidden"
                 " | ready FILE\n");
    return 100;
  }
  Say(failures == 0 ? "PASS %s" : "FAILED %s", mode);
  return failures;
}
