// Goodness, levels, change marks and the drive status of an evaluation;
// and the levels beyond the goodness limits: defect counts ("HH.Count"),
// values at or below a non-zero threshold ("Threshold" of "Error Level"),
// and the drive's own verdict from SMART RETURN STATUS, and where they
// show.
#include "defs/evaluate.h"

#include <cstdio>
#include <filesystem>

#include "report/health_report.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

TEST(Goodness, IsAPercentageTruncatedTowardZero) {
  const int cases[][3] = {{100, 0, 39}, {253, 50, 100}, {40, 50, -20}, {1, 50, -100},
                          {50, 50, 0},  {100, 97, 1},   {110, 97, 8},  {150, 97, 33}};
  for (const auto& [current, threshold, goodness] : cases) {
    EXPECT_EQ(Goodness(current, threshold), goodness) << current << " " << threshold;
  }
}

class EvaluateTest : public SimTest {
 protected:
  // Drive 0 with the given attribute lines, scanned and read once.
  void Read(const std::string& attributes, const std::string& later = "") {
    Scan("[Drive0]\nModel = M\n" + attributes + later);
    RereadSmart(1);
  }
  const DriveAttribute& Slot(int i) { return Drive(0).attributes[i]; }
  void Next() {
    sim->Advance(10000);
    RereadSmart(1);
  }
};

// Pre-failure attributes are judged by the limit files (their defaults
// here: error at goodness 1, warning at 15), the advisory C2 by the file's
// levels (error at 0, warning at 5), and it leaves the drive's status
// alone. At second 10 attribute 01 recovers, and 03 leaves the judged
// range: it keeps its goodness and level but counts for nothing.
TEST_F(EvaluateTest, LevelsRecoveryUnjudgedValuesAndAdvisoryLevels) {
  Read(
      "Attribute.01 = 0x000B 100 100 0 97\nAttribute.03 = 0x0003 110 110 0 97\n"
      "Attribute.05 = 0x0033 150 150 0 97\nAttribute.C2 = 0x0022 53 53 0 50\n",
      "[At 10]\nDrive0.Attribute.01 = 0x000B 200 100 0 97\n"
      "Drive0.Attribute.03 = 0x0003 254 110 0 97\nDrive0.Attribute.C2 = 0x0022 50 50 0 50\n");
  EXPECT_EQ(Slot(0).changeBits & (AttrError | AttrWarning), AttrError);
  EXPECT_EQ(Slot(1).changeBits & (AttrError | AttrWarning), AttrWarning);
  EXPECT_EQ(Slot(2).changeBits & (AttrError | AttrWarning), 0);
  EXPECT_EQ(Slot(3).changeBits & (AttrError | AttrWarning), AttrWarning);
  EXPECT_EQ(Drive(0).status & 0xF,
            StatusWarning | StatusWarningSeen | StatusError | StatusErrorSeen);
  Next();
  EXPECT_EQ(Drive(0).status & 0xF, StatusWarningSeen | StatusErrorSeen);
  EXPECT_EQ(Slot(0).changeBits, CurrentChanged | GoodnessChanged);
  EXPECT_EQ(Slot(1).current, 254);
  EXPECT_EQ(Slot(1).goodness, 8);
  EXPECT_EQ(Slot(1).changeBits & AttrWarning, AttrWarning);
  EXPECT_EQ(Slot(3).changeBits & AttrError, AttrError) << "advisory at 0 <= 0";
}

constexpr char kDefinitions[] =
    "[Error Level]\nThreshold=2\n"
    "[Default Drive]\n"
    "05=Reallocated|m|0xFFFFFFFF,,,\"#\"\n05.Count=1,50\n"
    "C5=Pending|m|0xFFFFFFFF,,,\"#\"\nC5.Count=1,10\n"
    "C2=Temperature|m|0xFF,,,\"#\"\n"
    "[SSD X]\nC5.Count=0\n";

class RaisedLevelTest : public MonitorSimTest {
 protected:
  // Scans drive 0 of `model` with `attribute`, reads it once.
  void ReadOne(const char* model, const std::string& attribute, const std::string& later = "") {
    WriteFile(dir_.root() / "defs.ini", kDefinitions);
    Install(std::string("[Drive0]\nModel = ") + model + "\n" + attribute + later);
    sim->SetCommandLine("kestrel /d \"" + (dir_.root() / "defs.ini").string() + "\"");
    ScanDrives(nullptr, nullptr);
    StartMonitor(*LockDriveTable());
    UnlockDriveTable();
    MakeDrivesDue();
    MonitorTick();
  }
  void TearDown() override {
    MonitorSimTest::TearDown();
    ShutdownDrives();
  }
  int Level() { return Drive(0).attributes[0].changeBits & (AttrWarning | AttrError); }

  TestDirectory dir_;
};

TEST_F(RaisedLevelTest, CountsAndCrossedThresholdsRaiseTheLevelAndTheDrive) {
  struct Case {
    const char* model;
    const char* attribute;
    int level;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"M", "Attribute.05 = 0x0033 100 100 0 36", 0, 0},
      {"M", "Attribute.05 = 0x0033 100 100 3 36", AttrWarning, StatusWarning},
      {"M", "Attribute.05 = 0x0033 100 100 50 36", AttrError, StatusError},
      // Advisory attributes count too, with or without a threshold.
      {"M", "Attribute.C5 = 0x0032 100 100 1 0", AttrWarning, StatusWarning},
      {"M", "Attribute.C5 = 0x0032 100 100 12 -", AttrError, StatusError},
      // A family turns a count off.
      {"SSD X1", "Attribute.C5 = 0x0032 100 100 12 0", 0, 0},
      // At or below a non-zero threshold: an error, advisory or not.
      {"M", "Attribute.C2 = 0x0022 045 045 40 45", AttrError, StatusError},
      {"M", "Attribute.C2 = 0x0022 060 045 40 45", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.attribute);
    ReadOne(c.model, std::string(c.attribute) + "\n");
    EXPECT_EQ(Level(), c.level);
    EXPECT_EQ(Drive(0).status & (StatusWarning | StatusError), c.status);
    EXPECT_EQ(TheMonitorState().trayState, c.status == StatusError ? 2 : c.status ? 1 : 0);
    ShutdownDrives();
  }
}

TEST_F(RaisedLevelTest, TheDrivesOwnVerdictIsAnErrorUntilItSaysNormalAgain) {
  ReadOne("M", "Attribute.C5 = 0x0032 100 100 12 0\nStatus = exceeded\n",
          "[At 30]\nDrive0.Status = ok\nDrive0.Attribute.C5 = 0x0032 100 100 0 0\n");
  EXPECT_EQ(Drive(0).status & (SmartFailing | StatusError), SmartFailing | StatusError);
  EXPECT_EQ(host.icons, std::vector<int>{2});
  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].first, "ドライブATA#0が自己診断でSMARTのしきい値超過を報告しました.");
  EXPECT_EQ(host.notices[0].second, 3);

  // The report's error section names the verdict and the raised count.
  const std::filesystem::path path = dir_.root() / "report.html";
  std::FILE* page = std::fopen(path.string().c_str(), "wb");
  WriteReportPage(page, TheDriveTable(), 2, LocalTime{2026, 12, 8, 2, 10, 0, 0, 0});
  std::fclose(page);
  const std::string html = ReadFile(path);
  EXPECT_NE(html.find("ドライブ自身がSMARTのしきい値超過"), std::string::npos);
  EXPECT_NE(html.find("<td bgcolor=\"#FFFFFF\">Pending</td>"), std::string::npos);

  sim->Advance(30000);
  MonitorTick();
  EXPECT_EQ(Drive(0).status & (SmartFailing | StatusError), 0u);
  EXPECT_EQ(host.icons, (std::vector<int>{2, 0}));
}

TEST_F(RaisedLevelTest, ACountsFirstDefectsAreAChangeAnnouncedAtItsLevel) {
  ReadOne("M", "Attribute.C5 = 0x0032 100 100 0 0\nAttribute.C2 = 0x0022 100 100 0 0\n",
          "[At 30]\nDrive0.Attribute.C5 = 0x0032 100 100 8 0\n"
          "Drive0.Attribute.C2 = 0x0022 100 100 40 0\n");
  sim->Advance(30000);
  MonitorTick();
  EXPECT_EQ(Drive(0).attributes[0].changeBits, RawChanged | AttrWarning);
  EXPECT_EQ(Drive(0).attributes[1].changeBits & RawChanged, 0) << "no count: 0 -> 40 is no change";
  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].second, 2);
}

}  // namespace
}  // namespace kestrel
