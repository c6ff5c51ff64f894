// The scenario file: what it builds, its faults over time, and its errors.
#include "sim/scenario.h"
#include "scan/scan.h"

#include <utility>

#include "ata/ata_channel.h"
#include "scan/identity.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

TEST(ScenarioParse, RejectsWhatItCannotMean) {
  std::string tooMany = "[Drive0]\n";
  for (int a = 1; a <= 31; ++a) {
    tooMany += "Attribute." + std::string(1, "0123456789ABCDEF"[a / 16]) +
               "0123456789ABCDEF"[a % 16] + " = 0 1 1 0 1\n";
  }
  const std::pair<std::string, const char*> cases[] = {
      {"[Drive0]\nColour = red\n", "unknown key"},
      {"[Drive10]\n", "unknown section"},
      {"[Drive0]\nAttribute.1 = 0 1 1 0 1\n", "two hexadecimal"},
      {"[Drive0]\nAttribute.01 = 0 300 1 0 1\n", "flags current"},
      {"[Drive0]\nAttribute.01 = 0 1 1 0x1000000000000 1\n", "flags"},
      {"[Drive0]\nFail = explode\n", "unknown command"},
      {"[Drive0]\nPower = off\n", "expected active, idle, standby or sleep"},
      {"[Drive0]\nTransport = nvme\nPower = idle\n", "not a key of an NVMe drive"},
      {"[Drive0]\nTransport = nvme\nAttribute.05 = 0 1 1 0 1\n", "not a key of an NVMe"},
      {"[Drive0]\nHealth.Temperature = 1\n", "a key of an NVMe drive"},
      {"[Drive0]\nTransport = nvme\nFail = data\n", "not a command of an NVMe"},
      {"[Drive0]\nFail = log\n", "log is a command of an NVMe"},
      {"[Drive0]\nTransport = sata\n", "expected ata or nvme"},
      {"[Drive0]\nTransport = nvme\nHealth.Temperature = 65536\n", "Health.Temperature"},
      {"[Drive0]\n[At 5]\nDrive0.Transport = ata\n", "keeps its transport"},
      {"[Drive0]\n[At 5]\nDrive1.Model = X\n", "DriveN"},
      {"[At soon]\n", "At seconds"},
      {"[Platform]\nClock = yesterday\n", "YYYY"},
      {tooMany, "more than 30"},
  };
  for (const auto& [text, why] : cases) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(ParseScenario(text, &s, &error)) << text;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
}

// Sealed sectors and attribute entries are read by every scan and re-read.
TEST(ScenarioParse, BuildsIdentityWordsAndThresholds) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(
      ParseScenario("[Drive2]\nModel = \"  Big Disk\"\nSectors = 0x123456789\nSerialAta = 1\n"
                    "Major = 0x00FE\nWord.200 = 0xBEEF\nAttribute.09 = 0x0032 98 97 5 0\n",
                    &s, &error))
      << error;
  ASSERT_EQ(s.epochs.size(), 1u);
  const SimDriveState& d = s.epochs[0].drives[2];
  ASSERT_TRUE(d.defined);
  const std::pair<int, int> words[] = {
      {27, ' ' << 8 | ' '}, {28, 'B' << 8 | 'i'}, {60, 0xFFFF},  {61, 0x0FFF},  {83, 0x4400},
      {100, 0x6789},        {101, 0x2345},        {102, 0x0001}, {222, 0x101F}, {200, 0xBEEF}};
  for (const auto& [word, value] : words) EXPECT_EQ(IdentifyWord(d.identify, word), value) << word;
  EXPECT_EQ(d.identify[510], 0xA5) << "a checksum is announced";
  EXPECT_EQ(d.thresholds[2], 0x09);
  EXPECT_EQ(d.thresholds[3], 0);
}

using SimBehaviour = SimTest;

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

}  // namespace
}  // namespace kestrel
