// The full scan's drive sequence and the re-read, on simulated drives.
#include "ata/ata_channel.h"
#include "scan/drive_table.h"
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

TEST_F(ScanTest, NoDeviceLeavesEveryslotEmptyWithoutMessage) {
  Scan("[Platform]\nFamily = nt\n");
  for (int d = 0; d < kMaxDrives; ++d) EXPECT_EQ(Drive(d).state, 0u);
  EXPECT_TRUE(sink.notes.empty());
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ScanTest, HealthyDriveBecomesUsableWithSlotsFromThresholds) {
  Scan(kOneDrive);
  const DriveRecord& r = Drive(0);
  EXPECT_EQ(r.state, Present | Usable);
  EXPECT_EQ(r.status, SmartSupported | SmartEnabled);
  EXPECT_STREQ(r.modelNumber, "TEST DISK");
  EXPECT_STREQ(r.capacityText, ".5 GB");
  ASSERT_EQ(r.attributeCount, 2);  // C2 has no threshold entry
  EXPECT_EQ(r.attributes[0].id, 0x01);
  EXPECT_EQ(r.attributes[0].threshold, 51);
  EXPECT_EQ(r.attributes[1].id, 0x05);
  EXPECT_EQ(r.attributes[0].current, 0) << "the scan never reads values";
  EXPECT_EQ(
      sink.StatusOnlyTexts(),
      (std::vector<std::string>{"ドライブ0はSMARTをサポートします.", "ドライブ0はSMARTが有効です.",
                                "ドライブ0のSMARTを有効にしました.",
                                "ドライブ0のSMART属性の閾値取得に成功しました."}));
  EXPECT_TRUE(sink.boxes.empty());
  EXPECT_EQ(sim->OpenHandles(), 1);
}

TEST_F(ScanTest, PacketDeviceIsNamedOnceAndClosed) {
  Scan("[Drive1]\nModel = DVD\nPacket = 5\n");
  const DriveRecord& r = Drive(1);
  EXPECT_EQ(r.state, Present);
  EXPECT_EQ(r.handle, kInvalidDeviceHandle);
  EXPECT_EQ(sim->OpenHandles(), 0);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[0].text, "DeviceIoControl(1)に失敗しました!(      1F/31)");
  EXPECT_EQ(sink.boxes[0].style, kStyleStop);
  EXPECT_EQ(sink.boxes[1].text, "ドライブ1(パケットデバイス:CD/DVD)ではSMARTはサポートされません.");
  EXPECT_EQ(sink.boxes[1].style, kStyleInformation);
  EXPECT_EQ(sink.boxes[1].caption, "Varnsmart");
  EXPECT_EQ(sim->CommandCount(1, SimCommand::kEnable), 0);
}

TEST_F(ScanTest, BothIdentifyFailuresClearTheDriveAndCloseIt) {
  Scan(WithDrive0("Fail = identify, identify-packet"));
  EXPECT_EQ(Drive(0).state, 0u);
  EXPECT_EQ(Drive(0).handle, kInvalidDeviceHandle);
  EXPECT_EQ(sim->OpenHandles(), 0);
  EXPECT_EQ(sink.boxes.size(), 2u);
}

TEST_F(ScanTest, OwnerWindowCaptionsTheBoxes) {
  int owner;
  Scan("[Drive1]\nPacket = 5\n", &owner);
  ASSERT_FALSE(sink.boxes.empty());
  EXPECT_EQ(sink.boxes[0].owner, &owner);
  EXPECT_EQ(sink.boxes[0].caption, "Owner");
}

TEST_F(ScanTest, UnvalidatedSupportWordStillEnablesSmart) {
  Scan(WithDrive0("Word.83 = 0x0000"));
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(Drive(0).status, SmartSupportUndetermined | SmartSupported | SmartEnabled);
  EXPECT_EQ(sink.CountNotes("ドライブ0はSMARTをサポートするか不明です."), 1);
}

TEST_F(ScanTest, DriveReportingSmartOffIsSwitchedOn) {
  Scan(WithDrive0("SmartEnabled = 0"));
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(sink.CountNotes("ドライブ0はSMARTが無効です."), 1);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMARTを有効にしました."), 1);
  EXPECT_EQ(Drive(0).attributeCount, 2);
}

TEST_F(ScanTest, EnableFailureOnDisabledDriveClosesIt) {
  Scan(WithDrive0("SmartEnabled = 0\nFail = enable"));
  EXPECT_EQ(Drive(0).state, Present);
  EXPECT_EQ(sim->OpenHandles(), 0);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[1].text, "ドライブ0のSMARTを有効にできません.");
  EXPECT_EQ(sink.boxes[1].style, kStyleInformation);
}

TEST_F(ScanTest, EnableFailureOnEnabledDriveKeepsItUsable) {
  Scan(WithDrive0("Fail = enable"));
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(Drive(0).attributeCount, 2);
}

TEST_F(ScanTest, UnsupportedSmartClosesWithoutEnabling) {
  Scan(WithDrive0("SmartSupported = 0"));
  EXPECT_EQ(Drive(0).state, Present);
  EXPECT_EQ(Drive(0).status, 0u);
  EXPECT_EQ(sink.CountNotes("ドライブ0はSMARTをサポートしません."), 1);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kEnable), 0);
}

TEST_F(ScanTest, IdentityChecksumIsTestedOnlyWhenAnnounced) {
  Scan(WithDrive0("IdentifyChecksum = bad"));
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "ドライブ0のID情報チェックサムエラーです.");
  EXPECT_EQ(sink.boxes[0].style, kStyleExclamation);
  EXPECT_EQ(Drive(0).state, Present | Usable) << "the scan goes on";

  ShutdownDrives();
  sink.Clear();
  Scan(WithDrive0("IdentifyChecksum = none\nWord.200 = 0x0001"));
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ScanTest, StaleThresholdsAreFetchedUntilTheyPass) {
  Scan(WithDrive0("ThresholdsChecksum = bad\n[At 10]\nDrive0.ThresholdsChecksum = good"));
  EXPECT_EQ(Drive(0).state, Present | Usable | ThresholdsStale);
  EXPECT_EQ(Drive(0).attributeCount, 0);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性閾値チェックサムエラーです."), 1);

  // Still stale: the values are judged in slots the evaluation adds.
  EXPECT_EQ(RereadSmart(1), 1u);
  EXPECT_EQ(Drive(0).state & ThresholdsStale, ThresholdsStale);
  EXPECT_EQ(Drive(0).attributeCount, 3);
  EXPECT_EQ(Drive(0).attributes[0].threshold, kNoThreshold);

  sim->Advance(10000);
  sink.Clear();
  EXPECT_EQ(RereadSmart(1), 1u);
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性の閾値再取得に成功しました."), 1);
  EXPECT_EQ(Drive(0).attributes[0].threshold, 51) << "slots rebuilt";
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kThresholds), 3);
}

TEST_F(ScanTest, FailedThresholdsCommandIsNeverRepeated) {
  Scan(WithDrive0("Fail = thresholds"));
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性の閾値取得に失敗しました."), 1);
  RereadSmart(1);
  RereadSmart(1);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kThresholds), 1);
  EXPECT_EQ(Drive(0).attributeCount, 3) << "all slots come from the evaluation";
}

TEST_F(ScanTest, RereadWithEmptyMaskSendsNothing) {
  Scan(kOneDrive);
  sink.Clear();
  EXPECT_EQ(RereadSmart(0), 0u);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
  EXPECT_TRUE(sink.notes.empty());
}

TEST_F(ScanTest, RereadSkipsDrivesOutsideTheMaskAndUnusableOnes) {
  Scan(std::string(kOneDrive) +
       "[Drive2]\nModel = X\nSmartSupported = 0\n"
       "[Drive3]\nModel = Y\nAttribute.09 = 0x0032 99 99 7 0\n");
  EXPECT_EQ(RereadSmart(0b1100), 0b1000u);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
  EXPECT_EQ(sim->CommandCount(2, SimCommand::kData), 0);
  EXPECT_EQ(Drive(3).attributes[0].current, 99);
}

TEST_F(ScanTest, DataWithBadChecksumIsKeptButNotEvaluated) {
  Scan(WithDrive0("DataChecksum = bad"));
  sink.Clear();
  EXPECT_EQ(RereadSmart(1), 0u);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性値の取得に成功しました."), 1);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性値チェックサムエラーです."), 1);
  EXPECT_EQ(Drive(0).smartData[2], 0x01) << "the sector stays as read";
  EXPECT_EQ(Drive(0).attributes[0].current, 0);
  EXPECT_EQ(Drive(0).lastEvaluated.year, 0);
}

TEST_F(ScanTest, FailedDataReadIsReportedAndSkipped) {
  Scan(WithDrive0("Fail = data"));
  sink.Clear();
  EXPECT_EQ(RereadSmart(1), 0u);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性値の取得に失敗しました."), 1);
  EXPECT_EQ(sink.CountNotes("DeviceIoControl(0)に失敗しました!(      1F/31)"), 1);
}

TEST_F(ScanTest, RereadEvaluatesAndStampsTheVirtualTime) {
  Scan("[Platform]\nClock = 2026-03-31 23:59:58\n" + std::string(kOneDrive));
  sim->Advance(2500);
  RereadSmart(1);
  const LocalTime& t = Drive(0).lastEvaluated;
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 4);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.milliseconds, 500);
  EXPECT_EQ(t.dayOfWeek, 3);  // a Wednesday
}

TEST_F(ScanTest, KeyChordSetsRawHexModeAndRescansKeepIt) {
  Scan("[Platform]\nKeyChord = 1\n");
  EXPECT_TRUE(TheDriveTable().rawHexMode);
  ShutdownDrives();
  Scan("[Platform]\nKeyChord = 0\n");
  EXPECT_TRUE(TheDriveTable().rawHexMode) << "nothing clears it";
  TheDriveTable().rawHexMode = false;
}

TEST_F(ScanTest, ShutdownClosesEveryHandleAndTheLock) {
  Scan(std::string(kOneDrive) + "[Drive4]\nModel = Z\n");
  EXPECT_EQ(sim->OpenHandles(), 2);
  ShutdownDrives();
  EXPECT_EQ(sim->OpenHandles(), 0);
  EXPECT_FALSE(TheDriveTable().lock);
}

}  // namespace
}  // namespace kestrel
