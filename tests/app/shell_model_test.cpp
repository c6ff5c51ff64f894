// The Windows shell's platform-free parts.
#include "app/shell/shell_model.h"

#include <cstring>
#include <set>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// The minor version counts tens of the build.
TEST(ShellTexts, SettingsPathVersionDriveViewsAndHelpPage) {
  EXPECT_EQ(SettingsPathFor("C:\\Tools\\CHECK.EXE"), "C:\\Tools\\CHECK.ini");
  EXPECT_EQ(SettingsPathFor("C:\\Tools\\check.bin"), "C:\\Tools\\check.bin.ini");
  EXPECT_EQ(SettingsPathFor("exe"), "exe.ini");
  EXPECT_TRUE(VersionText(1, 2, 3, 4).starts_with("Version 1.23.4  "));
  EXPECT_EQ(DriveMenuLabel("NVMe", 3), "NVMe#&3");
  EXPECT_EQ(PropertiesCaption("SATA", 9), "ドライブSATA#9のプロパティ");
  DriveRecord r{};
  r.ataMajorVersion = 7;
  EXPECT_EQ(AtaVersionText(r), "7");
  std::strcpy(r.minorVersionText, "ATA8-ACS revision 4");
  EXPECT_EQ(AtaVersionText(r), "ATA8-ACS revision 4");
  EXPECT_EQ(SmartFunctionText(SmartSupportUndetermined | SmartSupported), "有無:不明  状態:無効");
  EXPECT_EQ(SmartFunctionText(SmartSupported | SmartEnabled), "有無:有り  状態:有効");
  EXPECT_EQ(SmartFunctionText(0), "有無:無し  状態:無効");
  // The help page: the first place that exists, else the last.
  static const char* const kPlaces[4] = {"a", "b", "c", "d"};
  std::set<std::string> present{"b", "c"};
  auto exists = [&](const char* p) { return present.count(p) > 0; };
  EXPECT_STREQ(ChooseHelpPage(exists, kPlaces), "b");
  present.clear();
  EXPECT_STREQ(ChooseHelpPage(exists, kPlaces), "d");
}

// Balloons, and their entries and check marks, need shell 5 or later.
TEST(ShellMenus, EntriesAndCheckMarksDependOnPopupAndShell) {
  auto commands = [](const std::vector<MenuEntry>& entries) {
    std::vector<unsigned> out;
    for (const MenuEntry& e : entries) out.push_back(e.command);
    return out;
  };
  EXPECT_EQ(commands(FileMenuModel(4).beforePlaceholder).size(), 1u);
  EXPECT_EQ(commands(FileMenuModel(5).beforePlaceholder)[0], 32782u);
  EXPECT_EQ(commands(TrayMenuModel(4)), (std::vector<unsigned>{32785, 0, 32780, 32781}));
  EXPECT_EQ(TrayMenuModel(6).size(), 5u);
  EXPECT_TRUE(HelpMenuModel().removePlaceholder);
  EXPECT_FALSE(FileMenuModel(5).removePlaceholder);

  using Marks = std::vector<std::pair<unsigned, bool>>;
  EXPECT_EQ(CheckMarks(5, false, 0, true, false), (Marks{{32782, true}, {32785, false}}));
  EXPECT_EQ(CheckMarks(5, false, 2, true, true), (Marks{{32785, true}}));
  EXPECT_EQ(CheckMarks(5, true, 0, true, true), (Marks{{32785, true}}));
  EXPECT_EQ(CheckMarks(4, false, 0, true, false), (Marks{{32785, false}}));
}

TEST(ShellTray, RecordSizesFlagsBalloonsAndCuts) {
  TrayRecord add = FillTrayRecord(kTrayAdd, kTrayIcon | kTrayTip, 0, "title", 0, 6, true);
  EXPECT_EQ(add.size, 488u);
  EXPECT_EQ(add.flags, kTrayIcon | kTrayTip | kTrayMessage) << "no balloon when adding";
  EXPECT_STREQ(add.tip, "title");

  TrayRecord notice = FillTrayRecord(kTrayModify, kTrayTip, 0, "notice", 3, 6, true);
  EXPECT_EQ(notice.flags, kTrayTip | kTrayInfo);
  EXPECT_STREQ(notice.info, "notice");
  EXPECT_EQ(notice.timeoutMs, 5000u);
  EXPECT_EQ(notice.infoFlags, 3u);
  EXPECT_STREQ(notice.infoTitle, "Kestrelハードディスク故障診断プログラム");

  EXPECT_EQ(FillTrayRecord(kTrayModify, kTrayTip, 0, "n", 1, 6, false).flags, kTrayTip);
  EXPECT_EQ(FillTrayRecord(kTrayModify, kTrayTip, 0, "n", 1, 4, false).size, 88u);
  EXPECT_EQ(FillTrayRecord(kTrayModify, kTrayIcon, 2, nullptr, 0, 6, true).flags, kTrayIcon)
      << "an icon change raises no balloon";

  // Texts are cut at the last whole character: 300 bytes of double-byte
  // characters after one or two ASCII bytes never end in a lead byte.
  const struct {
    std::string head;
    unsigned shell;
    std::size_t tip, info;
  } cases[] = {{"x", 6, 127, 255}, {"x", 4, 63, 255}, {"xx", 6, 126, 254}};
  for (const auto& c : cases) {
    std::string text = c.head;
    while (text.size() < 300) text += "あ";
    TrayRecord r = FillTrayRecord(kTrayModify, kTrayTip, 0, text.c_str(), 1, c.shell, true);
    EXPECT_EQ(std::strlen(r.tip), c.tip) << c.head << " " << c.shell;
    EXPECT_EQ(std::strlen(r.info), c.info) << c.head << " " << c.shell;
  }
}

TEST(ShellLayout, SettlesAtThePictureAndTheStatusBar) {
  // A template larger than the picture: the first pass corrects both.
  LayoutResult r = ComputeLayout({400, 350, 20, 352, 279, 406, 400});
  EXPECT_EQ(r.statusY, 330);
  EXPECT_EQ(r.partEdges[0], 250);
  EXPECT_EQ(r.partEdges[1], 400);
  ASSERT_TRUE(r.resizeWindow);
  EXPECT_EQ(r.windowWidth, 358);
  EXPECT_EQ(r.windowHeight, 349);
  // That the corrected window settles (352 x 279 and the bar, parts at 202
  // and 352) is the Wine end-to-end test's.
  EXPECT_FALSE(ComputeLayout({352, 299, 20, 352, 279, 358, 349}).resizeWindow);
}

}  // namespace
}  // namespace kestrel
