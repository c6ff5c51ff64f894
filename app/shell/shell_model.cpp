#include "app/shell/shell_model.h"

#include <cstdio>
#include <cstring>

#include "app/program_texts.h"
#include "base/cp932.h"

namespace kestrel {

namespace {

// The maker's notice behind the version numbers.
constexpr char kMakersNotice[] = "Copyright (C) 2026 Corvid";

constexpr unsigned kIdTrayOpen = 32780;
constexpr unsigned kIdExit = 32781;
constexpr unsigned kIdUseBalloon = 32782;
constexpr unsigned kIdHelp = 32783;
constexpr unsigned kIdAbout = 32784;
constexpr unsigned kIdHideOnStart = 32785;

constexpr char kBalloonText[] = "バルーンを表示する(&B)";
constexpr char kHideText[] = "起動時に画面を表示しない(&H)";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string SettingsPathFor(const std::string& modulePath) {
  std::string path = modulePath;
  if (path.size() >= 4) {
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = AsciiLower(c);
    if (tail == ".exe") path.resize(path.size() - 4);
  }
  return path + ".ini";
}

std::string VersionText(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                        std::uint16_t revision) {
  char text[128];
  std::snprintf(text, sizeof text, "Version %hu.%hu.%hu  %s", major,
                static_cast<std::uint16_t>(build + 10 * minor), revision, kMakersNotice);
  return text;
}

std::string VersionTextUnknown() { return std::string("Version 不明  ") + kMakersNotice; }

PopupModel FileMenuModel(unsigned shellMajorVersion) {
  PopupModel m;
  if (shellMajorVersion >= 5) m.beforePlaceholder.push_back({kIdUseBalloon, kBalloonText});
  m.beforePlaceholder.push_back({kIdHideOnStart, kHideText});
  m.afterPlaceholder.push_back({kIdExit, "終了(&X)"});
  m.removePlaceholder = false;
  return m;
}

PopupModel HelpMenuModel() {
  PopupModel m;
  m.beforePlaceholder.push_back({kIdHelp, "Kestrelのヘルプ(&H)"});
  m.beforePlaceholder.push_back({kIdAbout, "Kestrelのバージョン情報...(&A)"});
  m.removePlaceholder = true;
  return m;
}

std::vector<MenuEntry> TrayMenuModel(unsigned shellMajorVersion) {
  std::vector<MenuEntry> m;
  if (shellMajorVersion >= 5) m.push_back({kIdUseBalloon, kBalloonText});
  m.push_back({kIdHideOnStart, kHideText});
  m.push_back({0, nullptr});
  m.push_back({kIdTrayOpen, "開く(&O)"});
  m.push_back({kIdExit, "終了(&X)"});
  return m;
}

std::string DriveMenuLabel(const char* badge, int index) {
  return std::string(badge) + "#&" + std::to_string(index);
}

std::vector<std::pair<unsigned, bool>> CheckMarks(unsigned shellMajorVersion, bool isSystemMenu,
                                                  int position, bool useBalloon, bool hideOnStart) {
  std::vector<std::pair<unsigned, bool>> marks;
  if (shellMajorVersion >= 5 && !isSystemMenu && position == 0) {
    marks.push_back({kIdUseBalloon, useBalloon});
  }
  marks.push_back({kIdHideOnStart, hideOnStart});
  return marks;
}

TrayRecord FillTrayRecord(unsigned action, unsigned fields, int iconIndex, const char* text,
                          int balloonIcon, unsigned shellMajorVersion, bool useBalloon) {
  TrayRecord r{};
  bool modern = shellMajorVersion >= 5;
  r.size = modern ? 488 : 88;
  r.flags = fields | (action == kTrayAdd ? kTrayMessage : 0u);
  r.iconIndex = iconIndex;
  // The old record holds 64 bytes of tooltip, the new one 128.
  if (text != nullptr) CopyText(r.tip, modern ? 128 : 64, text);
  if (useBalloon && (fields & kTrayTip) && action != kTrayAdd) {
    r.flags |= kTrayInfo;
    CopyText(r.info, sizeof r.info, text != nullptr ? text : "");
    r.timeoutMs = 5000;
    CopyText(r.infoTitle, sizeof r.infoTitle, kProgramTitle);
    r.infoFlags = static_cast<std::uint32_t>(balloonIcon);
  }
  return r;
}

LayoutResult ComputeLayout(const LayoutInput& in) {
  LayoutResult r{};
  r.statusX = 0;
  r.statusY = in.clientHeight - in.statusHeight;
  r.statusWidth = in.clientWidth;
  r.statusHeight = in.statusHeight;
  r.partEdges[0] = in.clientWidth - 150;
  r.partEdges[1] = in.clientWidth;
  int d = in.clientHeight - in.statusHeight - in.pictureHeight;
  r.resizeWindow = d != 0;
  r.windowWidth = in.windowWidth - (in.clientWidth - in.pictureWidth);
  r.windowHeight = in.windowHeight - d;
  if (!r.resizeWindow) {
    r.windowWidth = in.windowWidth;
    r.windowHeight = in.windowHeight;
  }
  return r;
}

std::string PropertiesCaption(const char* badge, int index) {
  return std::string("ドライブ") + badge + "#" + std::to_string(index) + "のプロパティ";
}

std::string AtaVersionText(const DriveRecord& record) {
  if (record.minorVersionText[0] != '\0') return record.minorVersionText;
  return std::to_string(record.ataMajorVersion);
}

std::string SmartFunctionText(std::uint32_t status) {
  const char* support = (status & SmartSupportUndetermined) ? "不明"
                        : (status & SmartSupported)         ? "有り"
                                                            : "無し";
  const char* state = (status & SmartEnabled) ? "有効" : "無効";
  return std::string("有無:") + support + "  状態:" + state;
}

}  // namespace kestrel
