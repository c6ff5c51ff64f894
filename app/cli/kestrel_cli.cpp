// kestrel-cli: the diagnosis on Linux, on real drives or on a scenario of
// simulated ones. It scans, runs the change monitor (once, for a number of
// seconds, or until interrupted) and prints the drive table.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_output.h"
#include "app/cli/metrics_export.h"
#include "app/cli/notify_hook.h"
#include "app/log_option.h"
#include "app/program_texts.h"
#include "ata/ata_platform.h"
#include "ata/linux_devices.h"
#include "base/cp932.h"
#include "defs/definition_check.h"
#include "defs/definitions.h"
#include "records/drive_table.h"
#include "records/host.h"
#include "report/health_report.h"
#include "report/monitor.h"
#include "scan/scan.h"
#include "sim/sim_drives.h"

namespace kestrel {
namespace {

constexpr char kUsage[] =
    "usage: kestrel-cli [--sim SCENARIO] [--json] [--verbose] [--ticks N | --watch]\n"
    "                   [DEVICE...] [/l FILE] [/d FILE]\n"
    "       kestrel-cli --list\n"
    "  DEVICE          a disk to watch (/dev/sdb, /dev/nvme0n1), in this order;\n"
    "                  at most ten; default: the SCSI disks, then the NVMe ones\n"
    "  --list          list every disk found, how it is reached and whether its\n"
    "                  health can be read, and exit\n"
    "  --sim SCENARIO  use the simulated drives of a scenario file\n"
    "  --json          print the drive table as JSON\n"
    "  --verbose       also print the status texts of the scan\n"
    "  --ticks N       watch the drives N seconds more (simulated seconds with --sim)\n"
    "  --watch         watch the drives until interrupted (SIGINT, SIGTERM)\n"
    "  --wake          with --watch or --ticks: re-read ATA drives in standby too\n"
    "                  (by default they are asked their power mode and left asleep)\n"
    "  --notify-exec PROGRAM\n"
    "                  run PROGRAM (no shell) for every notice, with KESTREL_*\n"
    "                  environment variables telling what it is about\n"
    "  --report        write the HTML health report after the last tick\n"
    "  --open          write it and open it with the desktop's opener\n"
    "  --metrics-file PATH\n"
    "                  write Prometheus metrics to PATH after each reading\n"
    "  --metrics-listen [ADDRESS:]PORT\n"
    "                  serve them at /metrics (address 127.0.0.1 by default)\n"
    "  --check-definitions FILE\n"
    "                  check a definition file; exit 1 when it has faults\n"
    "  /l FILE         log every change of an attribute to FILE\n"
    "  /d FILE         definition file\n";

// Every message box becomes one line on standard error.
class CliSink final : public MessageSink {
 public:
  explicit CliSink(bool verbose) : verbose_(verbose) {}

  void Note(int style, const char* text) override {
    if (verbose_ && style < 0) Print(style, kProgramTitle, text);
  }
  void ShowMessageBox(WindowHandle, const char* caption, const char* text, int style) override {
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

// The tray and the status bar of the console: each output of the monitor
// is a line of its own on standard output, in UTF-8.
class CliMonitorHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int state) override { std::printf("TRAY %d\n", state); }
  void Noticed(const NoticeDetails& notice) override {
    if (hook != nullptr) hook->Run(notice);
  }
  void ShowNotice(const char* text, int balloonIcon) override {
    std::printf("NOTICE %d %s\n", balloonIcon, Cp932ToUtf8(text).c_str());
  }
  void SetStatusText(int part, const char* text) override {
    if (part == 1) readDrive = true;  // part 1 shows the time of a reading
    std::printf("STATUS %d %s\n", part, Cp932ToUtf8(text).c_str());
  }
  // The diagnosis's page: its path is printed, and opened on request.
  void OpenPage(const char* path) override {
    page = path;
    std::printf("REPORT %s\n", path);
    std::fflush(stdout);
    if (open) OpenWithDesktop(path);
  }

  bool open = false;
  std::string page;
  bool readDrive = false;  // a tick read a drive
  NotifyHook* hook = nullptr;

 private:
  static void OpenWithDesktop(const char* path) {
    pid_t child = fork();
    if (child == 0) {
      execlp("xdg-open", "xdg-open", path, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
};

// Stands for the main window, whose title captions the scan's boxes.
int g_mainWindow;

// Prints every problem of a definition file as "FILE:LINE: text".
int CheckDefinitionFile(const std::string& path, MessageSink& sink) {
  SetDefaultCommandLine("kestrel-cli /d \"" + path + "\"");
  InstallServices(Services{DefaultAtaPlatform(), DefaultEnvironment(), &sink});
  std::vector<DefinitionProblem> problems = CheckDefinitions(path);
  for (const DefinitionProblem& p : problems) {
    std::printf("%s:%d: %s\n", path.c_str(), p.line, Cp932ToUtf8(p.text).c_str());
  }
  std::printf("%zu problem%s\n", problems.size(), problems.size() == 1 ? "" : "s");
  return problems.empty() ? 0 : 1;
}

// Every disk of the machine, beyond ten: its device, how it is reached,
// whether its health can be read, and why not.
int ListDisks() {
  for (const std::string& path : FindDisks()) {
    const DiskDescription d = DescribeDisk(path);
    std::printf("%-16s %-7s %s%s%s\n", path.c_str(), d.transport.c_str(),
                d.healthReadable ? "health readable" : "no health data", d.note.empty() ? "" : "  ",
                Cp932ToUtf8(d.note.c_str()).c_str());
  }
  return 0;
}

std::uint32_t AsleepDrives(const MonitorState& state) {
  std::uint32_t mask = 0;
  for (int d = 0; d < kMaxDrives; ++d) {
    if (state.slots[d].asleep) mask |= 1u << d;
  }
  return mask;
}

volatile sig_atomic_t g_stop = 0;
void OnStopSignal(int) { g_stop = 1; }
// SIGHUP asks for the log to be reopened; the watch does it between ticks.
volatile sig_atomic_t g_reopenLog = 0;
void OnHangUp(int) { g_reopenLog = 1; }

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

  CliSink sink(options.verbose);
  if (!options.checkDefinitions.empty()) {
    return CheckDefinitionFile(options.checkDefinitions, sink);
  }
  if (options.list) return ListDisks();

  std::unique_ptr<SimDrives> sim;
  Services services;
  services.sink = &sink;
  std::string commandLine = ComposeCommandLine(options);
  if (!options.scenarioPath.empty()) {
    Scenario scenario;
    if (!LoadScenario(options.scenarioPath, &scenario, &error)) {
      std::fprintf(stderr, "kestrel-cli: %s\n", error.c_str());
      return 2;
    }
    sim = std::make_unique<SimDrives>(std::move(scenario));
    sim->SetCommandLine(commandLine);
    services.ata = sim.get();
    services.env = sim.get();
  } else {
    if (!options.devices.empty()) UseDevices(options.devices);
    SetDefaultCommandLine(commandLine);
    services.ata = DefaultAtaPlatform();
    services.env = DefaultEnvironment();
  }
  InstallServices(services);
  CliMonitorHost host;
  host.open = options.open;
  std::unique_ptr<NotifyHook> hook;
  if (!options.notifyExec.empty()) hook = std::make_unique<NotifyHook>(options.notifyExec);
  host.hook = hook.get();
  InstallMonitorHost(&host);

  // A watch ends on SIGINT or SIGTERM, also one that comes during the scan
  // of slow real disks, and always through the shutdown below (log closed,
  // then drives closed). SIGHUP reopens the log under its name, for a
  // rotation that has renamed it. Standard output is written line by line,
  // so that a service's journal gets each line as it comes.
  if (options.watch) {
    signal(SIGINT, OnStopSignal);
    signal(SIGTERM, OnStopSignal);
    signal(SIGHUP, OnHangUp);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
  }

  // The start-up order of the Windows program: log, scan, monitor.
  MonitorState& state = TheMonitorState();
  OpenLogFromCommandLine(commandLine, state, &g_mainWindow);
  ScanDrives(&g_mainWindow, nullptr);
  auto shutdown = [&] {
    CloseLog(state);
    ShutdownDrives();
  };

  DriveTable* table = LockDriveTable();
  if (table == nullptr) {
    shutdown();
    return 1;
  }
  bool anyAttributes = false;
  for (const DriveRecord& r : table->records) {
    if ((r.state & Present) && r.attributeCount != 0) anyAttributes = true;
  }
  if (!anyAttributes) {
    UnlockDriveTable();
    sink.ShowMessageBox(&g_mainWindow, kProgramTitle, kNoSmartDriveMessage, kStyleStop);
    shutdown();
    return 1;
  }
  StartMonitor(*table);
  // A watch leaves spun-down disks asleep; a one-shot diagnosis reads them.
  state.standbyAware = (options.watch || options.ticks > 0) && !options.wake;
  if (options.verbose && !DefinitionsLoaded()) {
    std::fprintf(stderr, "kestrel-cli: no definition file %s: every attribute is unknown\n",
                 Cp932ToUtf8(table->definitionPath).c_str());
  }
  UnlockDriveTable();

  // Prometheus metrics after every tick (app/cli/metrics_export.h).
  MetricsExport metrics;
  if (!metrics.Start(options.metricsFile, options.metricsHost, options.metricsPort, &error)) {
    std::fprintf(stderr, "kestrel-cli: %s\n", error.c_str());
    shutdown();
    return 2;
  }
  const auto tick = [&] {
    host.readDrive = false;
    MonitorTick();
    metrics.AfterTick(host.readDrive, state.trayState, AsleepDrives(state));
  };

  // A one-shot diagnosis reads the drives now, even within the first 30
  // seconds after boot; a watch keeps the monitor's own first wait.
  if (!options.watch && options.ticks == 0) MakeDrivesDue();
  tick();
  if (options.watch && sim) sim->FollowRealTime();
  for (int i = 0; options.watch ? !g_stop : i < options.ticks; ++i) {
    if (sim && !options.watch) {
      sim->Advance(1000);
    } else {
      sleep(1);
    }
    // Closing writes out what is buffered: the lines before the signal
    // stay in the renamed file, the later ones go to the new one.
    if (g_reopenLog) {
      g_reopenLog = 0;
      CloseLog(state);
      OpenLogFromCommandLine(commandLine, state, &g_mainWindow);
    }
    if (!g_stop) tick();
    if (hook) hook->Reap();
  }
  metrics.Stop();

  if (options.report) {
    WriteHealthReport();
    if (host.page.empty()) {
      std::fprintf(stderr,
                   "kestrel-cli: no report written: none of html/<status>/ and the "
                   "other report folders is here\n");
    }
  }

  table = LockDriveTable();
  if (table != nullptr) {
    std::string text = options.json
                           ? FormatDriveTableJson(*table, state.trayState, AsleepDrives(state))
                           : FormatDriveTableText(*table);
    UnlockDriveTable();
    std::fputs(text.c_str(), stdout);
  }
  shutdown();
  return 0;
}

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kestrel::Run(args);
}
