// The scenario parser, and the drives of every scenario it accepts put
// through the scan and the change monitor. Input: the scenario text.
//
// The monitor writes its log into a scratch file; every tick's new lines
// are checked: each is a whole line, and no attribute's change is logged
// twice at one reading.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "app/log_option.h"
#include "fuzz/fuzz_support.h"
#include "records/drive_table.h"
#include "report/monitor.h"
#include "scan/scan.h"
#include "sim/scenario.h"

using namespace kestrel;
using namespace kestrel::fuzz;

namespace {

class CheckingHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int state) override { Check(state >= 0 && state <= 2, "tray state 0..2"); }
  void ShowNotice(const char* text, int icon) override {
    Check(strnlen(text, 256) < 256, "notice within 256 bytes");
    Check(icon >= 1 && icon <= 3, "balloon icon 1..3");
  }
  void SetStatusText(int part, const char* text) override {
    Check(part == 0 || part == 1, "status part 0 or 1");
    Check(strnlen(text, 256) < 256, "status text within 256 bytes");
  }
  void OpenPage(const char*) override { Check(false, "the monitor opens no page"); }
};

std::uint32_t Sum(const std::uint8_t* sector) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += sector[i];
  return sum;
}

void CheckParsed(const Scenario& s) {
  Check(!s.epochs.empty() && s.epochs[0].second == 0, "the first epoch starts at 0");
  for (std::size_t k = 1; k < s.epochs.size(); ++k) {
    Check(s.epochs[k - 1].second < s.epochs[k].second, "epochs ascend");
  }
  for (const SimEpoch& e : s.epochs) {
    for (const SimDriveState& d : e.drives) {
      if (!d.defined) continue;
      Check(Sum(d.thresholds) <= 1 && Sum(d.data) <= 1, "SMART sectors are sealed");
    }
  }
}

// Reads what the log gained since `from` and checks it line by line.
void CheckNewLogLines(const std::string& path, long* from) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  Check(f != nullptr, "log readable");
  std::fseek(f, *from, SEEK_SET);
  std::string added;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) added.append(buffer, n);
  std::fclose(f);
  *from += static_cast<long>(added.size());
  std::set<std::tuple<std::string, std::string, std::string, std::string>> seen;
  std::size_t at = 0;
  while (at < added.size()) {
    const std::size_t end = added.find("\r\n", at);
    Check(end != std::string::npos, "every log line ends in CR LF");
    const std::string line = added.substr(at, end - at);
    at = end + 2;
    // time, drive, id, what
    std::size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1),
                t4 = line.find('\t', t3 + 1);
    Check(t4 != std::string::npos, "a log line has five fields");
    Check(seen.emplace(line.substr(0, t1), line.substr(t1, t2 - t1), line.substr(t2, t3 - t2),
                       line.substr(t3, t4 - t3))
              .second,
          "no change logged twice at one reading");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CheckingHost host;
  InstallMonitorHost(&host);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Scenario parsed;
  std::string error;
  if (!ParseScenario(text, &parsed, &error)) {
    Check(!error.empty(), "a refused scenario says why");
    return 0;
  }
  CheckParsed(parsed);

  const std::string& log = ScratchFile("monitor.log");
  WriteScratch(log, "earlier\r\n");
  SimDrives& sim = InstallServices(text, "kestrel.exe /d " + DefinitionFile() + " /l " + log);
  ScanDrives(nullptr, nullptr);
  MonitorState& state = TheMonitorState();
  if (DriveTable* table = LockDriveTable()) {
    StartMonitor(*table);
    UnlockDriveTable();
  }
  OpenLogFromCommandLine(sim.CommandLine(), state, nullptr);
  Check(state.logFile != nullptr && state.logBytes == 9, "the log opens at its end");

  // Every epoch is reached, each a few readings long, within 300 ticks.
  long logged = 9;
  int ticks = 0;
  for (std::size_t k = 0; k < parsed.epochs.size() && ticks < 300; ++k) {
    const std::uint64_t at = parsed.epochs[k].second * 1000ull;
    if (at > sim.ElapsedMs())
      sim.Advance(static_cast<std::uint32_t>(
          at - sim.ElapsedMs() > 0xFFFFFFFFull ? 0xFFFFFFFFull : at - sim.ElapsedMs()));
    for (int i = 0; i < 70 && ticks < 300; ++i, ++ticks) {
      MonitorTick();
      sim.Advance(1000);
      std::fflush(state.logFile);
      CheckNewLogLines(log, &logged);
      Check(state.trayState >= 0 && state.trayState <= 2, "tray state 0..2");
      const DriveTable& table = TheDriveTable();
      for (const DriveRecord& r : table.records) {
        Check(r.attributeCount >= 0 && r.attributeCount <= 30, "attributeCount within 0..30");
        for (int j = 0; j < r.attributeCount; ++j) {
          Check(r.attributes[j].goodness >= -100 && r.attributes[j].goodness <= 100,
                "goodness within -100..100");
        }
      }
    }
  }
  CloseLog(state);
  ShutdownDrives();
  return 0;
}
