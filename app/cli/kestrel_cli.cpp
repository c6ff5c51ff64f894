// kestrel-cli: the diagnosis on Linux, on real drives or on a scenario of
// simulated ones. It scans, reads every usable drive once and prints the
// drive table.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_output.h"
#include "app/program_texts.h"
#include "ata/ata_channel.h"
#include "ata/ata_platform.h"
#include "base/cp932.h"
#include "scan/drive_table.h"
#include "scan/host.h"
#include "sim/sim_drives.h"

namespace kestrel {
namespace {

constexpr char kUsage[] =
    "usage: kestrel-cli [--sim SCENARIO] [--json] [--verbose] [/l FILE] [/d FILE]\n"
    "  --sim SCENARIO  use the simulated drives of a scenario file\n"
    "  --json          print the drive table as JSON\n"
    "  --verbose       also print the status texts of the scan\n"
    "  /l FILE         log file of the change monitor\n"
    "  /d FILE         definition file\n";

// Every message box becomes one line on standard error.
class CliSink final : public MessageSink {
 public:
  explicit CliSink(bool verbose) : verbose_(verbose) {}

  void Note(int style, const char* text) override {
    if (verbose_ && style < 0) Print(style, kProgramTitle, text);
  }
  void ShowMessageBox(WindowHandle, const char* caption, const char* text,
                      int style) override {
    Print(style, caption, text);
  }
  void GetWindowTitle(WindowHandle, char* out, std::size_t size) override {
    CopyText(out, size, kProgramTitle);
  }
  void SetStatusText(WindowHandle, int, const char*) override {}

 private:
  static void Print(int style, const char* caption, const char* text) {
    std::fprintf(stderr, "%s\n", FormatMessageLine(style, caption, text).c_str());
  }
  bool verbose_;
};

// Stands for the main window, whose title captions the scan's boxes.
int g_mainWindow;

int Run(const std::vector<std::string>& args) {
  CliOptions options;
  std::string error;
  if (!ParseCliArguments(args, &options, &error)) {
    std::fprintf(stderr, "kestrel-cli: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  std::unique_ptr<SimDrives> sim;
  Services services;
  CliSink sink(options.verbose);
  services.sink = &sink;
  if (!options.scenarioPath.empty()) {
    Scenario scenario;
    if (!LoadScenario(options.scenarioPath, &scenario, &error)) {
      std::fprintf(stderr, "kestrel-cli: %s\n", error.c_str());
      return 2;
    }
    sim = std::make_unique<SimDrives>(std::move(scenario));
    sim->SetCommandLine(ComposeCommandLine(options));
    services.ata = sim.get();
    services.env = sim.get();
  } else {
    SetDefaultCommandLine(ComposeCommandLine(options));
    services.ata = DefaultAtaPlatform();
    services.env = DefaultEnvironment();
  }
  InstallServices(services);

  ScanDrives(&g_mainWindow, nullptr);
  DriveTable* table = LockDriveTable();
  if (table == nullptr) {
    ShutdownDrives();
    return 1;
  }
  bool anyAttributes = false;
  std::uint32_t due = 0;
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = table->records[d];
    if ((r.state & Present) && r.attributeCount != 0) anyAttributes = true;
    if ((r.state & Usable) && (ReadSmartStatus(d) & SmartEnabled)) due |= 1u << d;
  }
  if (!anyAttributes) {
    UnlockDriveTable();
    sink.ShowMessageBox(&g_mainWindow, kProgramTitle, kNoSmartDriveMessage,
                        kStyleStop);
    ShutdownDrives();
    return 1;
  }
  RereadSmart(due);
  std::string text =
      options.json ? FormatDriveTableJson(*table) : FormatDriveTableText(*table);
  UnlockDriveTable();
  std::fputs(text.c_str(), stdout);
  ShutdownDrives();
  return 0;
}

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kestrel::Run(args);
}
