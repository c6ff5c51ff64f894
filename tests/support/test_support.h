// Shared pieces of the engine tests: a message sink that records, and a
// fixture that installs simulated drives from a scenario text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/drive_table.h"
#include "scan/host.h"
#include "sim/sim_drives.h"

namespace kestrel {

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
  void SetStatusText(WindowHandle statusBar, int part, const char* text) override;

  // How many reported texts (any style) equal `text`.
  int CountNotes(std::string_view text) const;
  // The texts of style -1, in order.
  std::vector<std::string> StatusOnlyTexts() const;
  void Clear();

  std::vector<std::pair<int, std::string>> notes;
  std::vector<Box> boxes;
  std::vector<std::string> statusTexts;
};

// A definition file that names every id "Attribute HH" and shows its whole
// raw value in decimal; SimTest's command line points "/d" at it.
const std::string& TestDefinitionFile();

// A scenario parsed from text, installed with a recording sink. A table
// that a test scanned is shut down after it.
class SimTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Parses `scenario` and installs it; fails the test on a parse error.
  void Install(std::string_view scenario);
  // Install() then ScanDrives() with the given owner and no status window.
  void Scan(std::string_view scenario, WindowHandle owner = nullptr);

  DriveRecord& Drive(int d) { return TheDriveTable().records[d]; }

  std::unique_ptr<SimDrives> sim;
  RecordingSink sink;

 private:
  bool scanned_ = false;
};

// The text of a sector of 512 bytes as hex, for readable failures.
std::string Hex(const std::uint8_t* bytes, std::size_t n);

}  // namespace kestrel
