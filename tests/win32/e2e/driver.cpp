// Drives Kestrel.exe and KestrelSim.exe from outside, as a user would, but
// by window messages: it finds windows by title and class, reads their
// texts (the status bar's through memory in the program's process), sends
// menu commands and presses buttons. It runs in the same Wine desktop as
// the program; tests/win32/e2e/run.sh starts both.
//
//   driver stopbox SNAPDIR
//       Kestrel.exe on a machine without SMART devices: the stop box, then
//       the end, and the main window never shown.
//   driver main LOG REPORT SETTINGS SNAPDIR
//       KestrelSim.exe on tests/win32/e2e/two_drives.scenario, started with
//       "/l LOG": window, status bar, drive windows, version box, settings,
//       diagnosis report, tray menu, the scenario's change, WM_CLOSE.
//   driver hidden
//       KestrelSim.exe started with HideOnStart=1: stays hidden until the
//       tray icon's left click, ends by the exit command.
//   driver ready FILE
//       Writes FILE: started by the desktop, it tells that the desktop is up.
//
// Each failed check prints "FAIL ..."; the exit code is the number of
// failures. "SNAP name" asks run.sh for a screenshot SNAPDIR/name.png, which
// the driver waits for.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kTitle[] = "Kestrelハードディスク故障診断プログラム";
constexpr char kDialogClass[] = "#32770";
constexpr char kMenuClass[] = "#32768";
constexpr char kStartText[] = "ご利用いただきありがとうございます.";
constexpr UINT kTrayCallback = 0x7777;
constexpr int kDiagnose = 1010;
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
  ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
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

struct Filter {
  const char* cls;
  const char* title;  // nullptr: any
  DWORD pid;          // 0: any
  bool visibleOnly;
};

std::vector<HWND> TopWindows(const Filter& f) {
  struct Search {
    const Filter* f;
    std::vector<HWND> found;
  } search{&f, {}};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (ClassOf(w) != s->f->cls) return TRUE;
        if (s->f->visibleOnly && !IsWindowVisible(w)) return TRUE;
        if (s->f->pid != 0 && ProcessOf(w) != s->f->pid) return TRUE;
        if (s->f->title != nullptr) {
          char title[512] = {};
          GetWindowTextA(w, title, sizeof title);
          if (std::strcmp(title, s->f->title) != 0) return TRUE;
        }
        s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitWindow(const Filter& f, DWORD ms) {
  HWND found = nullptr;
  WaitFor(ms, [&] {
    std::vector<HWND> all = TopWindows(f);
    if (!all.empty()) found = all.front();
    return found != nullptr;
  });
  return found;
}

// A shown dialog of the program with this caption, within 10 s.
HWND WaitDialog(const char* caption, DWORD pid) {
  return WaitWindow({kDialogClass, caption, pid, true}, 10000);
}

// The main window is the program's dialog that has the menu bar.
HWND FindMainWindow(bool visibleOnly) {
  for (HWND w : TopWindows({kDialogClass, kTitle, 0, visibleOnly})) {
    if (GetMenu(w) != nullptr) return w;
  }
  return nullptr;
}

// Sends `message` to the status bar with memory in the program's process
// as its LPARAM, through which the results come back, and copies `n` bytes
// of that memory into `out`.
bool AskStatusBar(HWND bar, UINT message, WPARAM wParam, void* out, SIZE_T n, DWORD_PTR* result) {
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(bar));
  if (process == nullptr) return false;
  void* remote = VirtualAllocEx(process, nullptr, n, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  SIZE_T got = 0;
  bool ok = remote != nullptr &&
            SendMessageTimeoutA(bar, message, wParam, reinterpret_cast<LPARAM>(remote),
                                SMTO_ABORTIFHUNG, 5000, result) &&
            ReadProcessMemory(process, remote, out, n, &got) && got == n;
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

std::string StatusText(HWND bar, int part) {
  char text[1024] = {};
  DWORD_PTR ignored = 0;
  if (!AskStatusBar(bar, SB_GETTEXTA, static_cast<WPARAM>(part), text, sizeof text, &ignored)) {
    return "<no answer>";
  }
  text[sizeof text - 1] = '\0';
  return text;
}

std::vector<int> StatusParts(HWND bar) {
  int edges[16] = {};
  DWORD_PTR n = 0;
  if (!AskStatusBar(bar, SB_GETPARTS, 16, edges, sizeof edges, &n)) return {};
  return std::vector<int>(edges, edges + (n < 16 ? n : 16));
}

std::string ReadFile(const std::string& path) {
  std::string data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    std::fclose(f);
  }
  return data;
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

// Checks that the program's process ends within 20 s with exit code 0,
// and closes its handle.
void CheckEndsWithZero(HANDLE program, const char* what) {
  long code = -1;
  if (program != nullptr && WaitForSingleObject(program, 20000) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(program, &exitCode);
    code = static_cast<long>(exitCode);
  }
  Check(code == 0, what, std::to_string(code));
  if (program != nullptr) CloseHandle(program);
}

HANDLE OpenProgram(HWND w) {
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(w));
}

// ------------------------------------------------------------ Kestrel.exe

constexpr char kNoSmartText[] =
    "S.M.A.R.T.情報が取得できません。管理者権限で\n"
    "Kestrelを起動してから診断を行なって下さい。";

int StopBox(const std::string& snapDir) {
  // The main window exists (it owns the box) but must never be shown.
  bool mainShown = false;
  HWND box = nullptr;
  WaitFor(60000, [&] {
    if (FindMainWindow(true) != nullptr) mainShown = true;
    for (HWND w : TopWindows({kDialogClass, kTitle, 0, true})) {
      if (GetMenu(w) == nullptr) box = w;
    }
    return box != nullptr;
  });
  if (!Check(box != nullptr, "stop box shown")) return g_failures;
  CheckText(TextOf(box), kTitle, "stop box caption");
  // The message box's text is its static control 0xFFFF.
  CheckText(ItemText(box, 0xFFFF), kNoSmartText, "stop box text");
  HANDLE program = OpenProgram(box);
  Check(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr,
        "stop box has OK only");
  Snap(snapDir, "stop-box");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  bool ended = WaitFor(20000, [&] {
    if (FindMainWindow(true) != nullptr) mainShown = true;
    return WaitForSingleObject(program, 0) == WAIT_OBJECT_0;
  });
  Check(ended, "program ends after OK");
  Check(!mainShown, "main window never shown");
  CheckEndsWithZero(program, "exit code 0");
  return g_failures;
}

// ------------------------------------------------------------ KestrelSim.exe

struct DriveWindow {
  WPARAM command;
  const char* caption;
  const char* fields[7];  // model, serial, firmware, capacity, ATA, SMART, comment
};

constexpr int kFieldIds[7] = {1021, 1022, 1023, 1020, 1024, 1025, 1027};
constexpr const char* kFieldNames[7] = {"model",       "serial", "firmware", "capacity",
                                        "ATA version", "SMART",  "comment"};

const DriveWindow kDriveWindows[2] = {
    {kDriveFirst + 0,
     "ドライブSATA#0のプロパティ",
     {"HAYABUSA HB250S", "HB0S1234567", "2.1A", "232.8 GB", "ATA/ATAPI-7 T13 1532D revision 4a",
      "有無:有り  状態:有効", "隼 250GB (Serial ATA, 7200rpm, 8MB)"}},
    {kDriveFirst + 1,
     "ドライブATA#1のプロパティ",
     {"TSUBAME TB080A", "TB1A0042", "1.02", "74.5 GB", "ATA/ATAPI-6 T13 1410D revision 0",
      "有無:有り  状態:有効", ""}},
};

std::vector<HWND> PropertyWindows(DWORD pid, const char* caption) {
  return TopWindows({kDialogClass, caption, pid, true});
}

void CheckDriveWindows(HWND main, DWORD pid, const std::string& snapDir) {
  for (const DriveWindow& d : kDriveWindows) {
    PostMessageA(main, WM_COMMAND, d.command, 0);
    HWND w = WaitDialog(d.caption, pid);
    if (!Check(w != nullptr, "drive window", d.caption)) continue;
    for (int i = 0; i < 7; ++i) {
      CheckText(ItemText(w, kFieldIds[i]), d.fields[i], kFieldNames[i]);
    }
  }
  // Any number open: a second window of drive 0 beside the first.
  PostMessageA(main, WM_COMMAND, kDriveWindows[0].command, 0);
  CheckWithin(10000, "second window of the same drive",
              [&] { return PropertyWindows(pid, kDriveWindows[0].caption).size() == 2; });
  Snap(snapDir, "properties");
  // OK, Esc and Enter each close one window, and only it.
  std::vector<HWND> zero = PropertyWindows(pid, kDriveWindows[0].caption);
  std::vector<HWND> one = PropertyWindows(pid, kDriveWindows[1].caption);
  if (zero.size() == 2 && one.size() == 1) {
    PostMessageA(zero[0], WM_COMMAND, IDOK, 0);
    PostMessageA(zero[1], WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(one[0], WM_KEYDOWN, VK_RETURN, 0);
  }
  CheckWithin(10000, "drive windows closed by OK, Esc and Enter", [&] {
    return PropertyWindows(pid, kDriveWindows[0].caption).empty() &&
           PropertyWindows(pid, kDriveWindows[1].caption).empty();
  });
  Check(IsWindowVisible(main) != FALSE, "main window stays");
}

void CheckAboutBox(HWND main, DWORD pid) {
  // Enter and Esc do nothing to the main window; the version box that
  // comes after them in the queue shows they have been handled.
  PostMessageA(main, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(main, WM_COMMAND, kAbout, 0);
  HWND about = WaitDialog("Kestrelのバージョン情報", pid);
  if (!Check(about != nullptr, "version box")) return;
  Check(IsWindowVisible(main) != FALSE, "Enter and Esc leave the main window");
  CheckText(ItemText(about, 1050), "Kestrelハードディスク故障診断プログラム Solo",
            "version box program");
  CheckText(ItemText(about, 1051), "Version 1.5.2  Copyright (C) 2026 Corvid",
            "version box version");
  // Modal: the main window is disabled until OK.
  Check(!IsWindowEnabled(main), "version box is modal");
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  CheckWithin(10000, "version box closed by OK", [&] { return !IsWindow(about); });
  CheckWithin(5000, "main window enabled", [&] { return IsWindowEnabled(main) != FALSE; });
}

int Setting(const std::string& ini, const char* key) {
  return static_cast<int>(GetPrivateProfileIntA("Window", key, -1, ini.c_str()));
}

void CheckSettings(HWND main, const std::string& ini) {
  Check(!FileExists(ini), "no settings file before", ini);
  SendMessageA(main, WM_COMMAND, kHideOnStart, 0);
  Check(Setting(ini, "HideOnStart") == 1, "HideOnStart written as 1");
  SendMessageA(main, WM_COMMAND, kUseBalloon, 0);
  Check(Setting(ini, "UseBalloon") == 0, "UseBalloon written as 0");
  SendMessageA(main, WM_COMMAND, kUseBalloon, 0);
  SendMessageA(main, WM_COMMAND, kUseBalloon, 0);
  Check(Setting(ini, "UseBalloon") == 0 && Setting(ini, "HideOnStart") == 1,
        "each write keeps the other setting");
  Check(IsWindowVisible(main) != FALSE, "HideOnStart leaves the running window shown");
}

void CheckDiagnosis(HWND main, const std::string& report) {
  HWND panel = FindWindowExA(main, nullptr, kDialogClass, nullptr);
  HWND button = panel == nullptr ? nullptr : GetDlgItem(panel, kDiagnose);
  if (!Check(button != nullptr, "diagnosis panel with its button")) return;
  Check(!FileExists(report), "no report before", report);
  // BM_CLICK goes through the button's own procedure (and the hand-cursor
  // procedure in front of it); the click reaches the panel as WM_COMMAND.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
  CheckWithin(10000, "report written", report, [&] { return FileExists(report); });
  std::string page = ReadFile(report);
  Check(page.find("HAYABUSA HB250S") != std::string::npos &&
            page.find("TSUBAME TB080A") != std::string::npos,
        "report names both drives");
  Check(page.size() > 2 && page.compare(page.size() - 2, 2, "\r\n") == 0 &&
            page.find("</html>") != std::string::npos,
        "report complete");
}

void CheckTrayMenu(HWND main, DWORD pid, const std::string& snapDir) {
  RECT r;
  GetWindowRect(main, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
  HWND menu = WaitWindow({kMenuClass, nullptr, pid, true}, 10000);
  if (!Check(menu != nullptr, "tray menu opens on the right button")) return;
  Snap(snapDir, "tray-menu");
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  CheckWithin(10000, "tray menu closed by Esc", [&] { return !IsWindowVisible(menu); });
}

int Main(const std::string& log, const std::string& report, const std::string& ini,
         const std::string& snapDir) {
  HWND main = nullptr;
  WaitFor(60000, [&] { return (main = FindMainWindow(true)) != nullptr; });
  if (!Check(main != nullptr, "main window shown")) return g_failures;
  DWORD pid = ProcessOf(main);
  HANDLE program = OpenProgram(main);
  CheckText(TextOf(main), kTitle, "main window title");

  HWND bar = GetDlgItem(main, kStatusBarId);
  Check(bar != nullptr && ClassOf(bar) == STATUSCLASSNAMEA, "status bar 30292");
  // The layout comes with the WM_SIZE the window posts itself.
  std::vector<int> parts;
  RECT barRect{};
  bool laidOut = WaitFor(5000, [&] {
    parts = StatusParts(bar);
    GetClientRect(bar, &barRect);
    return parts.size() == 2 && parts[1] == barRect.right && parts[0] == barRect.right - 150;
  });
  Check(laidOut, "status bar parts: the second 150 pixels at the right",
        std::to_string(parts.empty() ? 0 : parts[0]) + " of " + std::to_string(barRect.right));
  CheckText(StatusText(bar, 0), kStartText, "status bar, left");
  std::string time;
  WaitFor(10000, [&] { return !(time = StatusText(bar, 1)).empty(); });
  CheckText(time, "取得時刻: 2026-12-07 09:00", "status bar, right");
  Snap(snapDir, "main-window");

  CheckDriveWindows(main, pid, snapDir);
  CheckAboutBox(main, pid);
  CheckSettings(main, ini);
  CheckDiagnosis(main, report);
  CheckTrayMenu(main, pid, snapDir);

  // The scenario's change at second 5 comes with the next reading, 30
  // seconds after the first: its first notice is the raw value's.
  std::string notice;
  Say("waiting up to 60 s for the scenario's change");
  CheckWithin(60000, "notice in the status bar, left",
              [&] { return (notice = StatusText(bar, 0)) != kStartText; });
  CheckText(notice, "ドライブATA#0の属性05(代替処理済のセクタ数)のロウデータが変化しました.",
            "notice text");

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
    main = FindMainWindow(false);
    HWND bar = main == nullptr ? nullptr : GetDlgItem(main, kStatusBarId);
    return bar != nullptr && !StatusText(bar, 1).empty();
  });
  if (!Check(main != nullptr, "main window made")) return g_failures;
  HANDLE program = OpenProgram(main);
  Sleep(1000);
  Check(!IsWindowVisible(main), "HideOnStart=1: not shown at the start");
  PostMessageA(main, kTrayCallback, 0, WM_LBUTTONDOWN);
  CheckWithin(10000, "shown by the tray icon's left button",
              [&] { return IsWindowVisible(main) != FALSE; });
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
