// Timings of the work that runs at start-up and on every monitor tick.
//   build/host/bench/kestrel_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "defs/definitions.h"
#include "defs/evaluate.h"
#include "records/drive_table.h"
#include "report/metrics.h"
#include "report/monitor.h"
#include "scan/scan.h"
#include "sim/sim_drives.h"

namespace kestrel {
namespace {

class NullSink final : public MessageSink {
 public:
  void ShowMessageBox(WindowHandle, const char*, const char*, int) override {}
  void GetWindowTitle(WindowHandle, char* out, std::size_t) override { out[0] = 0; }
  void SetStatusText(WindowHandle, int, const char*) override {}
};

class NullHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int) override {}
  void ShowNotice(const char*, int) override {}
  void SetStatusText(int, const char*) override {}
  void OpenPage(const char*) override {}
};

// A definition file of `models` model sections, each with a comment and
// the four attributes a model section typically overrides (raw formats
// included), and a "Default Drive" of every id.
std::string WriteDefinitions(int models) {
  std::string path = "/tmp/kestrel_bench_definitions.ini";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("[Default Drive]\n", f);
  for (int id = 1; id <= 255; ++id) std::fprintf(f, "%02X=Attr %02X|Meaning|,,,\"#\"\n", id, id);
  for (int m = 0; m < models; ++m) {
    std::fprintf(f, "[MODEL%05d]\nComment=Family %d\n", m, m);
    for (int id : {0x01, 0x09, 0xC2, 0xC5}) {
      std::fprintf(f, "%02X=Name %d|A meaning of some length for %02X|0xFFFFFFFF,,2,60,\"#h00m\"\n",
                   id, m, id);
    }
  }
  std::fclose(f);
  return path;
}

// Ten drives of thirty attributes whose models are in the file.
std::string TenDrives() {
  std::string scenario;
  for (int d = 0; d < 10; ++d) {
    char head[64];
    std::snprintf(head, sizeof head, "[Drive%d]\nModel = MODEL%05d-XYZ\n", d, d * 1000);
    scenario += head;
    for (int id = 1; id <= 30; ++id) {
      char line[64];
      std::snprintf(line, sizeof line, "Attribute.%02X = 0x000B 100 100 %d 50\n", id, id * 77);
      scenario += line;
    }
    char change[80];
    std::snprintf(change, sizeof change, "[At 30]\nDrive%d.Attribute.01 = 0x000B 90 95 1 50\n", d);
    scenario += change;
  }
  return scenario;
}

struct Fixture {
  Fixture() {
    std::string error;
    Scenario scenario;
    ParseScenario(TenDrives(), &scenario, &error);
    sim = std::make_unique<SimDrives>(std::move(scenario));
    sim->SetCommandLine("bench /d \"" + WriteDefinitions(20000) + "\"");
    InstallServices(Services{sim.get(), sim.get(), &sink});
    InstallMonitorHost(&host);
  }
  std::unique_ptr<SimDrives> sim;
  NullSink sink;
  NullHost host;
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// The start-up scan's definition work: load the file, then define the
// slots of ten drives of thirty attributes.
void BM_LoadDefinitionsAndBuildTenDrives(benchmark::State& state) {
  TheFixture();
  ScanDrives(nullptr, nullptr);
  for (auto _ : state) {
    LoadDefinitions();
    for (int d = 0; d < kMaxDrives; ++d) BuildAttributes(d);
    benchmark::DoNotOptimize(TheDriveTable().records[9].attributes[29].rawFormat);
  }
  ShutdownDrives();
}
BENCHMARK(BM_LoadDefinitionsAndBuildTenDrives)->Unit(benchmark::kMillisecond);

// The same with the shipped definition file and ten drives of models
// people have, thirty common attributes each.
void BM_LoadShippedDefinitionsTenDrives(benchmark::State& state) {
  static const char* const kModels[kMaxDrives] = {
      "ST1000DM003-1CH162",     "WDC WD10EZEX-08WN4A0",      "TOSHIBA MQ01ABD100",
      "HGST HTS721010A9E630",   "Samsung SSD 860 EVO 500GB", "CT500MX500SSD1",
      "KINGSTON SA400S37240G",  "INTEL SSDSC2BW240A4",       "SanDisk SDSSDA240G",
      "Hitachi HDS721010CLA332"};
  static const int kIds[kMaxAttributes] = {
      0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A, 0x0C, 0xAA, 0xAB, 0xAC, 0xAD, 0xB7, 0xB8, 0xBB,
      0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xF0, 0xF1, 0xF2};
  std::string text;
  for (int d = 0; d < kMaxDrives; ++d) {
    text += "[Drive" + std::to_string(d) + "]\nModel = " + kModels[d] + "\n";
    for (int id : kIds) {
      char line[64];
      std::snprintf(line, sizeof line, "Attribute.%02X = 0x0033 100 100 %d 10\n", id, id);
      text += line;
    }
  }
  Scenario scenario;
  std::string error;
  ParseScenario(text, &scenario, &error);
  SimDrives sim(std::move(scenario));
  sim.SetCommandLine("bench /d \"" KESTREL_SHIPPED_DEFINITIONS "\"");
  NullSink sink;
  const Services saved = InstalledServices();
  InstallServices(Services{&sim, &sim, &sink});
  ScanDrives(nullptr, nullptr);
  for (auto _ : state) {
    LoadDefinitions();
    for (int d = 0; d < kMaxDrives; ++d) BuildAttributes(d);
    benchmark::DoNotOptimize(TheDriveTable().records[9].attributes[29].rawFormat);
  }
  ShutdownDrives();
  InstallServices(saved);
}
BENCHMARK(BM_LoadShippedDefinitionsTenDrives)->Unit(benchmark::kMillisecond);

// One drive's evaluation: thirty attributes, each with a raw format.
void BM_EvaluateOneDrive(benchmark::State& state) {
  TheFixture();
  ScanDrives(nullptr, nullptr);
  RereadSmart(1);
  for (auto _ : state) {
    EvaluateAttributes(0);
    benchmark::DoNotOptimize(TheDriveTable().records[0].attributes[0].rawText);
  }
  ShutdownDrives();
}
BENCHMARK(BM_EvaluateOneDrive)->Unit(benchmark::kMicrosecond);

// A monitor tick in which all ten drives are due and each has a change to
// log and queue (the log file is the null device).
void BM_MonitorTickTenDueDrives(benchmark::State& state) {
  Fixture& f = TheFixture();
  ScanDrives(nullptr, nullptr);
  StartMonitor(*LockDriveTable());
  UnlockDriveTable();
  TheMonitorState().logFile = std::fopen("/dev/null", "ab");
  MonitorTick();
  for (auto _ : state) {
    for (MonitorSlot& slot : TheMonitorState().slots) slot.lastReadTick -= 30000;
    MonitorTick();
  }
  std::fclose(TheMonitorState().logFile);
  TheMonitorState().logFile = nullptr;
  (void)f;
  ShutdownDrives();
}
BENCHMARK(BM_MonitorTickTenDueDrives)->Unit(benchmark::kMicrosecond);

// The Prometheus text of ten drives of thirty attributes, read and named
// (the metrics server renders it after every tick): at most 1 ms.
void BM_RenderMetricsTenDrives(benchmark::State& state) {
  TheFixture();
  ScanDrives(nullptr, nullptr);
  RereadSmart((1u << kMaxDrives) - 1);
  MetricsExtras extras;
  extras.withHttp = true;
  for (auto _ : state) {
    std::string text;
    RenderMetrics(TheDriveTable().records, extras, &text);
    benchmark::DoNotOptimize(text.data());
    state.counters["bytes"] = static_cast<double>(text.size());
  }
  ShutdownDrives();
}
BENCHMARK(BM_RenderMetricsTenDrives)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrel

BENCHMARK_MAIN();
