// Shared pieces of the engine tests: a message sink and a monitor host that
// record, files and a directory of each test's own, fixtures that install
// simulated drives from a scenario text (and watch them), and another
// thread that holds the table lock.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "records/drive_table.h"
#include "records/host.h"
#include "report/monitor.h"
#include "scan/scan.h"
#include "sim/sim_drives.h"

namespace kestrel {

// Records what the drive side reports; safe to call from two threads.
class RecordingSink : public MessageSink {
 public:
  struct Box {
    WindowHandle owner;
    std::string caption;
    std::string text;
    int style;
  };

  void Note(int style, const char* text) override;
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override;
  void GetWindowTitle(WindowHandle window, char* out, std::size_t size) override;
  void SetStatusText(WindowHandle, int, const char*) override {}

  // How many reported texts (any style) equal `text`.
  int CountNotes(std::string_view text) const;
  void Clear() { notes.clear(), boxes.clear(); }

  std::vector<std::pair<int, std::string>> notes;
  std::vector<Box> boxes;

 private:
  std::mutex mutex_;
};

// Records what the monitor and the report show.
class RecordingHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int state) override { icons.push_back(state); }
  void ShowNotice(const char* text, int icon) override { notices.emplace_back(text, icon); }
  void SetStatusText(int part, const char* text) override { status[part] = text; }
  void OpenPage(const char* path) override { pages.emplace_back(path); }
  bool Untouched() const {
    return icons.empty() && notices.empty() && status[0].empty() && status[1].empty() &&
           pages.empty();
  }

  std::vector<int> icons;
  std::vector<std::pair<std::string, int>> notices;  // text, balloon icon
  std::string status[2];
  std::vector<std::string> pages;
};

// The whole file, or "" when it cannot be read; and a file written anew.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// "kestrel<run>_<suite>_<test>" of the running test, usable as a file name.
std::string TestScratchName();

// An empty directory of the running test's own, whose `sub` folder is the
// current directory while the object lives.
class TestDirectory {
 public:
  explicit TestDirectory(const std::filesystem::path& sub = {});
  ~TestDirectory();
  TestDirectory(const TestDirectory&) = delete;
  TestDirectory& operator=(const TestDirectory&) = delete;
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  std::filesystem::path oldDir_;
};

// Another thread holds the drive table's lock while the object lives.
class LockHolder {
 public:
  LockHolder() {
    while (!held_) std::this_thread::yield();
  }
  ~LockHolder() {
    release_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> release_{false};
  std::thread thread_{[this] {
    TheDriveTable().lock->lock();
    held_ = true;
    while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TheDriveTable().lock->unlock();
  }};
};

// A scenario parsed from text, installed with a recording sink and a
// command line whose "/d" names a definition file that calls every id
// "Attribute HH" and shows its whole raw value in decimal. A table that a
// test scanned is shut down after it.
class SimTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (scanned_) ShutdownDrives();
  }

  // Parses `scenario` and installs it; fails the test on a parse error.
  void Install(std::string_view scenario);
  // Install() then ScanDrives() with the given owner and no status window.
  void Scan(std::string_view scenario, WindowHandle owner = nullptr) {
    Install(scenario);
    ScanDrives(owner, nullptr);
    scanned_ = true;
  }

  DriveRecord& Drive(int d) { return TheDriveTable().records[d]; }

  std::unique_ptr<SimDrives> sim;
  RecordingSink sink;

 private:
  bool scanned_ = false;
};

// SimTest with the change monitor: a recording host, the monitor started
// after the scan, a log of the test's own and ticks of one second.
class MonitorSimTest : public SimTest {
 protected:
  void SetUp() override { InstallMonitorHost(&host); }
  void TearDown() override;

  // Scans `scenario` and starts the monitor.
  void ScanAndStart(std::string_view scenario);
  // Writes `earlier` into the test's log file and opens it through "/l".
  void OpenLog(std::string_view earlier = "");
  // `n` ticks, each followed by a second of the virtual clock.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) MonitorTick(), sim->Advance(1000);
  }
  // What the log holds so far.
  std::string LogText();

  RecordingHost host;
  const std::string logPath = testing::TempDir() + TestScratchName() + ".log";
};

// A definition file of the test's own, loaded through "/d", in a test
// directory that is also the current one (where the limit files are read).
class DefinitionFileTest : public SimTest {
 protected:
  void SetUp() override { Install(""); }
  void TearDown() override;

  void Load(std::string_view text);
  // The slot that the lookup of attribute `id` of `model` fills.
  static DriveAttribute Define(int id, const char* model);
  static std::string Name(int id, const char* model) { return Define(id, model).name; }

  TestDirectory dir_;
};

// The text of bytes as hex, for readable failures; and an MD5 in hex.
std::string Hex(const std::uint8_t* bytes, std::size_t n);
std::string Md5Hex(std::string_view bytes);

}  // namespace kestrel
