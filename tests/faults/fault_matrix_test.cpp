// Faults of simulated drives, one at a time: every command failing, driver
// errors, bad checksums, status registers of every kind and drives that
// fail part-way through a run. Each case scans, runs the monitor for 65
// ticks (readings at seconds 0, 30 and 60) and checks the drive's state,
// how often each message came, the readings, the tray, the notice of a
// drive that stops answering and the log.
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "defs/evaluate.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// Drive 0 takes the faults; its attribute 01 falls to a warning at second
// 20, seen by the reading at 30: current, worst and goodness are logged.
// Drive 1 stays healthy; its raw counter grows once (one log line).
constexpr char kDrives[] = R"(
[Platform]
Clock = 2026-12-07 09:00:00
[Drive0]
Model = FAULTY
Attribute.01 = 0x000B 100 100 0 50
Attribute.05 = 0x0033 100 100 0 36
[Drive1]
Model = STEADY
Attribute.05 = 0x0033 100 100 1 36
[At 20]
Drive0.Attribute.01 = 0x000B 60 60 0 50
Drive1.Attribute.05 = 0x0033 100 100 3 36
)";

constexpr int kTicks = 65;
constexpr char kEarlierLog[] = "2026/12/06 23:59\tATA#0\t01\t現在値\t99\r\nxyz";

constexpr std::uint32_t kUsable = Present | Usable;

// Messages, as the drive side words them for drive 0.
constexpr char kCallFailed[] = "DeviceIoControl(0)に失敗しました!(      1F/31)";
constexpr char kDriverError[] = "ドライブ0のドライバエラー0x01/IDEエラー=0x04です.";
constexpr char kEnableFailed[] = "ドライブ0のSMARTを有効にできません.";
constexpr char kThresholdsFailed[] = "ドライブ0のSMART属性の閾値取得に失敗しました.";
constexpr char kThresholdsRefetched[] = "ドライブ0のSMART属性の閾値再取得に成功しました.";
constexpr char kNoThreshold01[] = "ドライブ0に閾値の存在しないSMART属性(01)があります.";
constexpr char kNoThreshold05[] = "ドライブ0に閾値の存在しないSMART属性(05)があります.";
constexpr char kDataFailed[] = "ドライブ0のSMART属性値の取得に失敗しました.";
constexpr char kDataRead[] = "ドライブ0のSMART属性値の取得に成功しました.";
constexpr char kStatusFailed[] = "ドライブ0のSMARTステータスコマンドが失敗しました.";
constexpr char kIdentitySum[] = "ドライブ0のID情報チェックサムエラーです.";
constexpr char kThresholdsSum[] = "ドライブ0のSMART属性閾値チェックサムエラーです.";
constexpr char kDataSum[] = "ドライブ0のSMART属性値チェックサムエラーです.";
constexpr char kSilent[] = "ドライブATA#0がSMARTのコマンドに答えなくなりました.";

struct FaultCase {
  std::string name;
  std::string fault;  // lines for [Drive0], then any [At S] sections
  std::uint32_t state;
  std::map<std::string, int> messages;  // every box, and chosen status texts
  int dataCommands;                     // READ DATA commands drive 0 received
  int tray;
  int logLines;         // of drive 0
  int handlesLeft = 0;  // open after the shutdown
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

// The healthy drive's outcome, and variations of it.
FaultCase Healthy(std::string name, std::string fault, std::map<std::string, int> messages = {}) {
  return {std::move(name), std::move(fault), kUsable, std::move(messages), 3, 1, 3};
}
FaultCase Row(std::string name, std::string fault, std::map<std::string, int> messages,
              int dataCommands, int tray, int logLines, std::uint32_t state = kUsable) {
  return {std::move(name), std::move(fault), state, std::move(messages), dataCommands, tray,
          logLines};
}

std::vector<FaultCase> Cases() {
  return {
      Healthy("Healthy", ""),
      // Every command failing from the start. A drive whose status fails
      // is usable but never read: each tick asks for the status again.
      Row("FailOpen", "Fail = open", {}, 0, 0, 0, 0),
      Row("FailProbe", "Fail = probe", {}, 0, 0, 0, 0),
      Row("FailIdentify", "Fail = identify", {{kCallFailed, 2}}, 0, 0, 0, 0),  // and the packet one
      Healthy("FailEnable", "Fail = enable", {{kCallFailed, 1}, {kEnableFailed, 1}}),
      // Slots come from the data only, unjudged: no goodness, no warning.
      Row("FailThresholds", "Fail = thresholds",
          {{kCallFailed, 1}, {kThresholdsFailed, 1}, {kNoThreshold01, 1}, {kNoThreshold05, 1}}, 3,
          0, 2),
      Row("FailData", "Fail = data", {{kCallFailed, 3}, {kDataFailed, 3}}, 3, 0, 0),
      // A failed call of RETURN STATUS is not reported.
      Row("FailStatus", "Fail = status", {}, 0, 0, 0),
      {"FailClose", "Fail = close", kUsable, {}, 3, 1, 3, 1},
      // Driver errors fail a command as a failed call does; on the status
      // command they are reported.
      Row("DriverErrorData", "DriverError = data, 1, 4", {{kDriverError, 3}, {kDataFailed, 3}}, 3,
          0, 0),
      Row("DriverErrorStatus", "DriverError = status, 1, 4", {{kDriverError, kTicks}}, 0, 0, 0),
      // Checksums: the message once per failing read.
      Healthy("BadIdentityChecksum", "IdentifyChecksum = bad", {{kIdentitySum, 1}}),
      Row("BadThresholdsChecksum", "ThresholdsChecksum = bad",
          {{kThresholdsSum, 4},
           {kThresholdsRefetched, 3},
           {kNoThreshold01, 1},
           {kNoThreshold05, 1}},
          3, 0, 2, kUsable | ThresholdsStale),
      Row("BadDataChecksum", "DataChecksum = bad", {{kDataSum, 3}, {kDataRead, 3}}, 3, 0, 0),
      // The drive's own verdict makes it an error; it stays watched.
      Row("StatusExceeded", "Status = exceeded", {}, 3, 2, 3),
      // Faults from second 45 on: the readings at 0 and 30 went well.
      Healthy("LaterFailData", "[At 45]\nDrive0.Fail = data", {{kCallFailed, 1}, {kDataFailed, 1}}),
      Healthy("LaterBadDataChecksum", "[At 45]\nDrive0.DataChecksum = bad", {{kDataSum, 1}}),
      // Asked from second 60 on (the interval since 30), every tick.
      Row("LaterStatus_00_00", "[At 45]\nDrive0.Status = 0 0", {{kStatusFailed, 5}}, 2, 1, 3),
      Row("LaterSmartOff", "[At 45]\nDrive0.SmartEnabled = 0", {}, 2, 1, 3),
      // Worse at 60: below the threshold, an error.
      Row("LaterExceeded",
          "[At 45]\nDrive0.Status = exceeded\nDrive0.Attribute.01 = 0x000B 40 40 0 50", {}, 3, 2,
          6),
      // Stale thresholds that pass from second 10 on: fetched again at the
      // reading at 0 (still bad) and at 30, and judged from then on.
      Row("ThresholdsChecksumRecovers",
          "ThresholdsChecksum = bad\n[At 10]\nDrive0.ThresholdsChecksum = good",
          {{kThresholdsSum, 2},
           {kThresholdsRefetched, 2},
           {kNoThreshold01, 1},
           {kNoThreshold05, 1}},
          3, 1, 2, kUsable | ThresholdsStale),
      // Register pairs of one half of ok (4F C2) and one of exceeded (F4
      // 2C): a check of either half alone takes them for ok or exceeded.
      Row("Status_4F_2C", "Status = 0x4F 0x2C", {{kStatusFailed, kTicks}}, 0, 0, 0),
      Row("Status_F4_C2", "Status = 0xF4 0xC2", {{kStatusFailed, kTicks}}, 0, 0, 0),
  };
}

class FaultMatrix : public MonitorSimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMatrix, ScanAndMonitorRun) {
  const FaultCase& c = GetParam();
  // The case's [Drive0] lines go before the first [At S] of its own.
  std::string scenario = kDrives;
  const std::size_t at = c.fault.find('[');
  scenario.insert(scenario.find("[Drive1]"), c.fault.substr(0, at) + "\n");
  if (at != std::string::npos) scenario += c.fault.substr(at) + "\n";

  ScanAndStart(scenario);
  EXPECT_EQ(Drive(0).state, c.state);
  EXPECT_EQ(sim->OpenHandles(), c.state != 0 ? 2 : 1) << "a drive found unusable is closed";
  OpenLog(kEarlierLog);
  Tick(kTicks);

  for (const auto& [text, count] : c.messages) EXPECT_EQ(sink.CountNotes(text), count) << text;
  for (const RecordingSink::Box& box : sink.boxes) {
    EXPECT_EQ(c.messages.count(box.text), 1u) << "unexpected box: " << box.text;
  }
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), c.dataCommands);
  EXPECT_EQ(sim->CommandCount(1, SimCommand::kData), 3) << "the other drive is read as ever";

  EXPECT_EQ(TheMonitorState().trayState, c.tray);
  EXPECT_EQ(host.icons.empty() ? 0 : host.icons.back(), c.tray);
  for (std::size_t i = 1; i < host.icons.size(); ++i) EXPECT_NE(host.icons[i - 1], host.icons[i]);
  // A usable drive read less than three times stopped answering: that is
  // announced once.
  const std::pair<std::string, int> silence{kSilent, 2};
  const bool silenced = c.state != 0 && c.dataCommands < 3;
  EXPECT_EQ(std::count(host.notices.begin(), host.notices.end(), silence), silenced ? 1 : 0);

  // The log keeps what it held, counts what it has, and logs each value of
  // an attribute once: no change twice.
  const std::string log = LogText();
  ASSERT_EQ(log.substr(0, sizeof kEarlierLog - 1), kEarlierLog);
  EXPECT_EQ(TheMonitorState().logBytes, static_cast<std::int64_t>(log.size()));
  std::istringstream lines(log.substr(sizeof kEarlierLog - 1));
  std::map<std::string, std::string> last;  // drive, id and item -> value
  std::map<std::string, int> linesOf;       // drive -> lines
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(!line.empty() && line.back() == '\r') << line;
    const std::size_t from = line.find('\t') + 1;
    const std::size_t to = line.rfind('\t');
    std::string& previous = last[line.substr(from, to - from)];
    EXPECT_NE(previous, line.substr(to)) << "logged again: " << line;
    previous = line.substr(to);
    ++linesOf[line.substr(from, line.find('\t', from) - from)];
  }
  EXPECT_EQ(linesOf["ATA#0"], c.logLines);
  EXPECT_EQ(linesOf["ATA#1"], 1);

  testing::internal::CaptureStdout();
  ShutdownDrives();
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(sim->OpenHandles(), c.handlesLeft);
  EXPECT_EQ(Drive(0).handle, kInvalidDeviceHandle) << "a handle that failed to close is let go";
  EXPECT_EQ(said, c.handlesLeft != 0 ? "CloseAtaDrives(0) failed!\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return info.param.name;
                         });

// A slot whose place the rebuilt thresholds give to another attribute
// starts afresh: the readings of its former attribute are no change of the
// new one. An attribute the drive stops listing keeps its last reading but
// no mark: its last change was logged when it was read.
TEST_F(FaultMatrix, RebuiltAndUnlistedSlotsCarryNoChange) {
  ScanAndStart(
      "[Platform]\nClock = 2026-12-07 09:00:00\n"
      "[Drive0]\nModel = M\nThresholdsChecksum = bad\n"
      "Attribute.01 = 0x000B 100 100 0 50\n"
      "Attribute.C2 = 0x0022 40 45 40 -\n"  // not in the thresholds
      "Attribute.05 = 0x0033 100 100 0 36\n"
      "[At 10]\nDrive0.ThresholdsChecksum = good\n"
      "[At 70]\nDrive0.Attribute.C2 = 0x0022 40 45 41 -\n");
  OpenLog();
  Tick(61);
  EXPECT_EQ(LogText(), "") << "no value changed";
  ASSERT_EQ(Drive(0).attributeCount, 3);
  EXPECT_EQ(Drive(0).attributes[1].id, 0x05);
  EXPECT_EQ(Drive(0).attributes[2].id, 0xC2);
  Tick(30);
  ASSERT_EQ(Drive(0).attributes[2].changeBits & RawChanged, RawChanged);
  Drive(0).smartData[2 + 12] = 0;  // the second entry: C2
  EvaluateAttributes(0);
  EXPECT_EQ(Drive(0).attributes[2].changeBits & 0xF0, 0);
  EXPECT_EQ(Drive(0).attributes[2].raw, 41u);
}

}  // namespace
}  // namespace kestrel
