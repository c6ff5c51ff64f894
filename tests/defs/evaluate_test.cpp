// Goodness, levels, change marks and the drive status of an evaluation.
#include "defs/evaluate.h"

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

}  // namespace
}  // namespace kestrel
