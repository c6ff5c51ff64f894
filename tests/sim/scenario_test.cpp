// The scenario file: what it builds, its faults over time, and its errors.
#include "sim/scenario.h"

#include <fstream>

#include "ata/ata_channel.h"
#include "scan/identity.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

std::string ParseError(std::string_view text) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(text, &s, &error)) << text;
  return error;
}

TEST(ScenarioParse, RejectsWhatItCannotMean) {
  EXPECT_NE(ParseError("[Drive0]\nColour = red\n").find("unknown key"), std::string::npos);
  EXPECT_NE(ParseError("[Drive10]\n").find("unknown section"), std::string::npos);
  EXPECT_NE(ParseError("[Drive0]\nAttribute.1 = 0 1 1 0 1\n").find("two hexadecimal"),
            std::string::npos);
  EXPECT_NE(ParseError("[Drive0]\nAttribute.01 = 0 300 1 0 1\n").find("flags current"),
            std::string::npos);
  EXPECT_NE(ParseError("[Drive0]\nAttribute.01 = 0 1 1 0x1000000000000 1\n").find("flags"),
            std::string::npos);
  EXPECT_NE(ParseError("[Drive0]\nFail = explode\n").find("unknown command"), std::string::npos);
  EXPECT_NE(ParseError("[Drive0]\n[At 5]\nDrive1.Model = X\n").find("DriveN"), std::string::npos);
  EXPECT_NE(ParseError("[At soon]\n").find("At seconds"), std::string::npos);
  EXPECT_NE(ParseError("[Platform]\nClock = yesterday\n").find("YYYY"), std::string::npos);
  std::string tooMany = "[Drive0]\n";
  for (int a = 1; a <= 31; ++a)
    tooMany += "Attribute." + std::string(1, "0123456789ABCDEF"[a / 16]) +
               "0123456789ABCDEF"[a % 16] + " = 0 1 1 0 1\n";
  EXPECT_NE(ParseError(tooMany).find("more than 30"), std::string::npos);
}

TEST(ScenarioParse, BuildsIdentityWordsAndSealedSectors) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(
      ParseScenario("[Drive2]\nModel = \"  Big Disk\"\nSectors = 0x123456789\nSerialAta = 1\n"
                    "Major = 0x00FE\nWord.200 = 0xBEEF\n"
                    "Attribute.09 = 0x0032 98 97 0x0000AABBCCDD 0\n",
                    &s, &error))
      << error;
  ASSERT_EQ(s.epochs.size(), 1u);
  const SimDriveState& d = s.epochs[0].drives[2];
  ASSERT_TRUE(d.defined);
  EXPECT_FALSE(s.epochs[0].drives[1].defined);
  EXPECT_EQ(IdentifyWord(d.identify, 27), ' ' << 8 | ' ');
  EXPECT_EQ(IdentifyWord(d.identify, 28), 'B' << 8 | 'i');
  EXPECT_EQ(IdentifyWord(d.identify, 60), 0xFFFF);
  EXPECT_EQ(IdentifyWord(d.identify, 61), 0x0FFF);
  EXPECT_EQ(IdentifyWord(d.identify, 83), 0x4400);
  EXPECT_EQ(IdentifyWord(d.identify, 100), 0x6789);
  EXPECT_EQ(IdentifyWord(d.identify, 101), 0x2345);
  EXPECT_EQ(IdentifyWord(d.identify, 102), 0x0001);
  EXPECT_EQ(IdentifyWord(d.identify, 222), 0x101F);
  EXPECT_EQ(IdentifyWord(d.identify, 200), 0xBEEF);
  EXPECT_EQ(d.identify[510], 0xA5);
  std::uint8_t sum = 0;
  for (std::uint8_t b : d.identify) sum += b;
  EXPECT_EQ(sum, 0);
  const std::uint8_t entry[12] = {0x09, 0x32, 0x00, 98, 97, 0xDD, 0xCC, 0xBB, 0xAA, 0, 0, 0};
  EXPECT_EQ(Hex(d.data + 2, 12), Hex(entry, 12));
  EXPECT_EQ(d.thresholds[2], 0x09);
  EXPECT_EQ(d.thresholds[3], 0);
}

using SimBehaviour = SimTest;

TEST_F(SimBehaviour, ChangesApplyFromTheirSecondOn) {
  Scan(
      "[Drive0]\nModel = M\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[At 30]\nDrive0.Attribute.05 = 0x0033 100 100 8 36\n"
      "[At 90]\nDrive0.Fail = data\n");
  RereadSmart(1);
  EXPECT_EQ(Drive(0).attributes[0].raw, 0u);
  sim->Advance(29999);
  RereadSmart(1);
  EXPECT_EQ(Drive(0).attributes[0].raw, 0u);
  sim->Advance(1);
  RereadSmart(1);
  EXPECT_EQ(Drive(0).attributes[0].raw, 8u);
  sim->Advance(60000);
  EXPECT_EQ(RereadSmart(1), 0u);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMART属性値の取得に失敗しました."), 1);
}

TEST_F(SimBehaviour, StatusRegistersFollowTheScenario) {
  Scan(
      "[Drive0]\nModel = M\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[At 1]\nDrive0.Status = exceeded\n[At 2]\nDrive0.Status = 0x12 0x34\n"
      "[At 3]\nDrive0.Fail = status\n");
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 0, nullptr), kAtaOk);
  sim->Advance(1000);
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 0, nullptr), kAtaThresholdExceeded);
  EXPECT_TRUE(ReadSmartStatus(0) & SmartEnabled);
  sim->Advance(1000);
  EXPECT_EQ(SendAtaCommand(kSmartReturnStatus, 0, nullptr), kAtaFailed);
  EXPECT_EQ(sink.CountNotes("ドライブ0のSMARTステータスコマンドが失敗しました."), 1);
  sim->Advance(1000);
  EXPECT_FALSE(ReadSmartStatus(0) & SmartEnabled);
}

TEST_F(SimBehaviour, SmartSwitchedOffLaterStopsAnsweringUntilEnabledAgain) {
  Scan(
      "[Drive0]\nModel = M\nSmartEnabled = 0\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[At 5]\nDrive0.SmartEnabled = 0\n");
  EXPECT_EQ(RereadSmart(1), 1u) << "the scan's ENABLE holds";
  sim->Advance(5000);
  EXPECT_EQ(RereadSmart(1), 0u);
  EXPECT_EQ(SendAtaCommand(kSmartEnableOperations, 0, nullptr), kAtaOk);
  EXPECT_EQ(RereadSmart(1), 1u);
}

TEST_F(SimBehaviour, DriverErrorOfOneCommand) {
  Scan(
      "[Drive0]\nModel = M\nDriverError = thresholds, 1, 0x04\n"
      "Attribute.05 = 0x0033 100 100 0 36\n");
  EXPECT_EQ(sink.CountNotes("ドライブ0のドライバエラー0x01/IDEエラー=0x04です."), 1);
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(Drive(0).attributeCount, 0);
}

TEST_F(SimBehaviour, Win9xScanUsesTheSharedDriverHandle) {
  Scan(
      "[Platform]\nFamily = 9x\n[Drive0]\nModel = A\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive1]\nModel = B\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive2]\nPacket = 5\n[Drive3]\nModel = D\nSmartSupported = 0\n");
  EXPECT_TRUE(TheDriveTable().isWin9x);
  EXPECT_EQ(Drive(0).state, Present | Usable);
  EXPECT_EQ(Drive(1).state, Present | Usable);
  EXPECT_EQ(Drive(2).state, 0u) << "the device map marks it a packet device";
  EXPECT_EQ(Drive(3).state, Present);
  EXPECT_EQ(sim->OpenHandles(), 1) << "drive 3 did not close the shared handle";
  EXPECT_EQ(RereadSmart(0xF), 0b11u);
  ShutdownDrives();
  EXPECT_EQ(sim->OpenHandles(), 0);
}

TEST_F(SimBehaviour, Win9xMissingDriverIsDiagnosed) {
  Scan("[Platform]\nFamily = 9x\nDriver = misplaced\n[Drive0]\nModel = A\n");
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].caption, "Varne");
  EXPECT_EQ(sink.boxes[0].style, kStyleInformation);
  EXPECT_EQ(Drive(0).state, 0u);
}

TEST_F(SimBehaviour, FailedOpenAndProbeLeaveTheSlotEmpty) {
  Scan("[Drive0]\nModel = A\nFail = open\n[Drive1]\nModel = B\nFail = probe\n");
  EXPECT_EQ(Drive(0).state, 0u);
  EXPECT_EQ(Drive(1).state, 0u);
  EXPECT_EQ(sim->OpenHandles(), 0);
  EXPECT_TRUE(sink.notes.empty());
}

TEST(DemoScenario, ParsesAndHoldsTheDrivesItPromises) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(LoadScenario(KESTREL_SOURCE_DIR "/data/demo.scenario", &s, &error)) << error;
  int defined = 0, sata = 0, packet = 0, disabled = 0;
  for (const SimDriveState& d : s.epochs[0].drives) {
    defined += d.defined;
    sata += d.defined && IdentifyWord(d.identify, 222) == 0x101F;
    packet += d.packet;
    disabled += d.defined && !d.packet && !d.smartEnabled;
  }
  EXPECT_GE(defined, 4);
  EXPECT_GE(sata, 1);
  EXPECT_LT(sata, defined - packet) << "parallel ATA drives too";
  EXPECT_EQ(packet, 1);
  EXPECT_GE(disabled, 1);
  EXPECT_GE(s.epochs.size(), 3u) << "attributes degrade over time";
}

}  // namespace
}  // namespace kestrel
