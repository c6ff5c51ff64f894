// The parts of the Windows program's shell that need no window: settings
// path, version text, the menus as data, check marks, the notification
// record's texts and cuts, the main window's layout arithmetic, the help
// page choice and the drive views' texts. The Win32 code only applies what
// these compute; the host tests check them natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "records/drive_table.h"

namespace kestrel {

// --- Settings and version

// The settings file of the executable at `modulePath`: a final ".exe" (in
// any case) is replaced by ".ini"; any other name gets ".ini" appended.
std::string SettingsPathFor(const std::string& modulePath);

// "Version <major>.<build + 10 x minor>.<revision>", two blanks and the
// maker's notice; product version 1.0.5.2 gives "Version 1.5.2  ...".
std::string VersionText(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                        std::uint16_t revision);

// The version text of an executable without a readable version resource.
std::string VersionTextUnknown();

// --- Menus

struct MenuEntry {
  unsigned command;  // 0 for a separator
  const char* text;  // nullptr for a separator
};

// The "ファイル(&F)" popup after the placeholder separator (which stays
// between the settings and "終了(&X)"): balloons only with shell 5 or later.
// Entries before the placeholder come first; `afterPlaceholder` those after.
struct PopupModel {
  std::vector<MenuEntry> beforePlaceholder;
  std::vector<MenuEntry> afterPlaceholder;
  bool removePlaceholder;
};
PopupModel FileMenuModel(unsigned shellMajorVersion);
PopupModel HelpMenuModel();
// The notification-area popup, built into an empty menu.
std::vector<MenuEntry> TrayMenuModel(unsigned shellMajorVersion);

// "SATA#&0", "ATA#&3", "NVMe#&1": the drive menu's label of drive
// `index`, whose DriveBadge is `badge`.
std::string DriveMenuLabel(const char* badge, int index);

// Check marks to set when a popup opens: each pair is a command and
// whether it is checked. Commands a popup does not hold are ignored by the
// menu call itself.
std::vector<std::pair<unsigned, bool>> CheckMarks(unsigned shellMajorVersion, bool isSystemMenu,
                                                  int position, bool useBalloon, bool hideOnStart);

// --- Notification-area record

// NIM_ADD etc. and NIF_* as the platform numbers them.
enum TrayAction : unsigned { kTrayAdd = 0, kTrayModify = 1, kTrayDelete = 2 };
enum TrayFields : unsigned {
  kTrayMessage = 0x1,
  kTrayIcon = 0x2,
  kTrayTip = 0x4,
  kTrayInfo = 0x10,
};

// What the shell is told, platform-free: texts are cut at the last whole
// character that fits (never inside a double-byte character).
struct TrayRecord {
  std::uint32_t size;  // 488 (shell 5 or later) or 88
  unsigned flags;
  int iconIndex;
  char tip[128];
  char info[256];
  std::uint32_t timeoutMs;
  char infoTitle[64];
  std::uint32_t infoFlags;  // balloon icon: 1 info, 2 warning, 3 error
};

// Fills the record for an action. `text` may be nullptr (no tooltip).
// With balloons on, a modification that sets the tooltip also raises a
// balloon with the same text.
TrayRecord FillTrayRecord(unsigned action, unsigned fields, int iconIndex, const char* text,
                          int balloonIcon, unsigned shellMajorVersion, bool useBalloon);

// --- Layout of the main window

struct LayoutInput {
  int clientWidth, clientHeight;
  int statusHeight;
  int pictureWidth, pictureHeight;
  int windowWidth, windowHeight;
};

struct LayoutResult {
  int statusX, statusY, statusWidth, statusHeight;
  int partEdges[2];   // right edges of the status bar's two parts
  bool resizeWindow;  // the window's size must be corrected
  int windowWidth, windowHeight;
};

LayoutResult ComputeLayout(const LayoutInput& in);

// --- Help page

// The help page to open: the first of the four places that exists, else
// the last one. `exists` answers for a relative path.
template <typename Exists>
const char* ChooseHelpPage(Exists exists, const char* const (&places)[4]) {
  for (const char* p : places) {
    if (exists(p)) return p;
  }
  return places[3];
}

// --- Drive views

// "ドライブSATA#0のプロパティ"
std::string PropertiesCaption(const char* badge, int index);
// The "ATAバージョン" field: the minor version text, else the major number.
std::string AtaVersionText(const DriveRecord& record);
// The "SMART機能" field: "有無:有り  状態:有効" and the like.
std::string SmartFunctionText(std::uint32_t status);

}  // namespace kestrel
