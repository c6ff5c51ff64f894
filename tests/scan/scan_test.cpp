// The full scan's drive sequence and the re-read on simulated drives. The
// lock's bounded wait is in tests/faults; that its owner takes it again
// without waiting, every monitor tick shows (the tick holds it while it
// re-reads and evaluates).
#include "scan/scan.h"

#include <tuple>

#include "ata/ata_channel.h"
#include "records/drive_table.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr char kOneDrive[] = R"(
[Drive0]
Model = TEST DISK
Serial = S0
Sectors = 1048576
Attribute.01 = 0x000B 100 100 0 51
Attribute.05 = 0x0033 100 100 0 36
Attribute.C2 = 0x0022 40 45 40 -
)";

std::string WithDrive0(std::string_view extra) {
  return std::string(kOneDrive) + std::string(extra) + "\n";
}

using ScanTest = SimTest;

TEST_F(ScanTest, HealthyDriveBecomesUsableWithSlotsFromThresholds) {
  Scan(kOneDrive);
  const DriveRecord& r = Drive(0);
  EXPECT_EQ(r.state, Present | Usable);
  EXPECT_EQ(r.status, SmartSupported | SmartEnabled);
  ASSERT_EQ(r.attributeCount, 2);  // C2 has no threshold entry
  EXPECT_EQ(std::tie(r.attributes[0].id, r.attributes[0].threshold, r.attributes[1].id),
            std::make_tuple(0x01, 51, 0x05));
  const int status = kStyleStatusOnly;
  EXPECT_EQ(sink.notes, (std::vector<std::pair<int, std::string>>{
                            {status, "ドライブ0はSMARTをサポートします."},
                            {status, "ドライブ0はSMARTが有効です."},
                            {status, "ドライブ0のSMARTを有効にしました."},
                            {status, "ドライブ0のSMART属性の閾値取得に成功しました."}}));
  EXPECT_TRUE(sink.boxes.empty());
  EXPECT_EQ(sim->OpenHandles(), 1);
}

// The boxes are captioned by the scan's owner window.
TEST_F(ScanTest, PacketDeviceIsNamedOnceAndClosed) {
  int owner;
  Scan("[Drive1]\nModel = DVD\nPacket = 5\n", &owner);
  const DriveRecord& r = Drive(1);
  EXPECT_EQ(r.state, Present);
  EXPECT_EQ(sim->OpenHandles(), 0);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[0].text, "DeviceIoControl(1)に失敗しました!(      1F/31)");
  EXPECT_EQ(std::tie(sink.boxes[0].owner, sink.boxes[0].caption, sink.boxes[0].style),
            std::make_tuple(static_cast<WindowHandle>(&owner), "Owner", kStyleStop));
  EXPECT_EQ(sink.boxes[1].text, "ドライブ1(パケットデバイス:CD/DVD)ではSMARTはサポートされません.");
  EXPECT_EQ(std::tie(sink.boxes[1].caption, sink.boxes[1].style),
            std::make_tuple("Owner", kStyleInformation));
}

// The identity's support and enable words, and the ENABLE command. An
// identity sector that announces no checksum is not summed (a bad one is
// reported: tests/faults). The key chord held at the first scan sets the
// raw values in hexadecimal; no later scan clears it. The re-read reads
// usable drives only (and those of its mask only: the fault matrix's drive
// that is never due shows).
TEST_F(ScanTest, SmartSupportAndEnableBranches) {
  struct Case {
    const char* extra;
    std::uint32_t state;
    std::uint32_t status;
    int enables;
    const char* note;  // each once
    const char* note2 = "";
  };
  const std::uint32_t both = SmartSupported | SmartEnabled;
  const Case cases[] = {
      {"Word.83 = 0x0000\n[Platform]\nKeyChord = 1", Present | Usable,
       SmartSupportUndetermined | both, 1, "ドライブ0はSMARTをサポートするか不明です."},
      {"SmartEnabled = 0", Present | Usable, both, 1, "ドライブ0はSMARTが無効です.",
       "ドライブ0のSMARTを有効にしました."},
      {"Word.87 = 0x0000", Present | Usable, both, 1, "ドライブ0はSMARTが有効か不明です.",
       "ドライブ0のSMARTを有効にしました."},
      {"SmartEnabled = 0\nFail = enable", Present, SmartSupported, 1,
       "ドライブ0のSMARTを有効にできません."},
      {"SmartSupported = 0", Present, 0, 0, "ドライブ0はSMARTをサポートしません."},
      {"IdentifyChecksum = none\nWord.200 = 0x0001", Present | Usable, both, 1,
       "ドライブ0はSMARTが有効です."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra);
    sink.Clear();
    Scan(WithDrive0(c.extra));
    EXPECT_EQ(Drive(0).state, c.state);
    EXPECT_EQ(Drive(0).status, c.status);
    EXPECT_EQ(sink.CountNotes(c.note), 1);
    EXPECT_EQ(sink.CountNotes(c.note2), *c.note2 ? 1 : 0);
    EXPECT_EQ(sim->CommandCount(0, SimCommand::kEnable), c.enables);
    const bool usable = c.state & Usable;
    EXPECT_EQ(sim->OpenHandles(), usable ? 1 : 0);
    EXPECT_EQ(Drive(0).attributeCount, usable ? 2 : 0);
    // A failed ENABLE is an information box, the failed call's a stop box;
    // without an owner window they have a caption of their own.
    for (const auto& box : sink.boxes) {
      EXPECT_EQ(box.style, box.text == c.note ? kStyleInformation : kStyleStop);
      EXPECT_EQ(box.caption, "Varnsmart");
    }
    sink.Clear();
    EXPECT_EQ(RereadSmart(1), usable ? 1u : 0u);
    // An unusable drive is not asked; the usable one's C2 has no threshold.
    EXPECT_EQ(sink.boxes.size(), usable ? 1u : 0u);
    ShutdownDrives();
  }
  EXPECT_TRUE(TheDriveTable().rawHexMode);
  TheDriveTable().rawHexMode = false;
}

}  // namespace
}  // namespace kestrel
