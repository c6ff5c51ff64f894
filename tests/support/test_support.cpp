#include "tests/support/test_support.h"

#include <cstdio>
#include <random>

#include "base/cp932.h"

namespace kestrel {

void RecordingSink::Note(int style, const char* text) { notes.emplace_back(style, text); }

void RecordingSink::ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                                   int style) {
  boxes.push_back(Box{owner, caption, text, style});
}

void RecordingSink::GetWindowTitle(WindowHandle, char* out, std::size_t size) {
  CopyText(out, size, "Owner");
}

void RecordingSink::SetStatusText(WindowHandle, int, const char* text) {
  statusTexts.emplace_back(text);
}

int RecordingSink::CountNotes(std::string_view text) const {
  int n = 0;
  for (const auto& [style, t] : notes) n += t == text;
  return n;
}

std::vector<std::string> RecordingSink::StatusOnlyTexts() const {
  std::vector<std::string> out;
  for (const auto& [style, t] : notes) {
    if (style < 0) out.push_back(t);
  }
  return out;
}

void RecordingSink::Clear() {
  notes.clear();
  boxes.clear();
  statusTexts.clear();
}

void SimTest::TearDown() {
  if (scanned_) ShutdownDrives();
}

const std::string& TestDefinitionFile() {
  static const std::string path = [] {
    // ctest runs test processes side by side, and each of them writes this
    // file: it is written under a name of its own and renamed into place,
    // so that no process ever reads it half written.
    std::string p = testing::TempDir() + "kestrel_test_definitions.ini";
    std::string part = p + "." + std::to_string(std::random_device{}());
    std::FILE* f = std::fopen(part.c_str(), "wb");
    std::fputs("[Default Drive]\n", f);
    for (int id = 1; id < 256; ++id) {
      std::fprintf(f, "%02X=Attribute %02X|Test attribute|,,,\"#\"\n", id, id);
    }
    std::fclose(f);
    // Where renaming onto an existing file fails, that file is already whole.
    if (std::rename(part.c_str(), p.c_str()) != 0) std::remove(part.c_str());
    return p;
  }();
  return path;
}

void SimTest::Install(std::string_view scenario) {
  Scenario parsed;
  std::string error;
  ASSERT_TRUE(ParseScenario(scenario, &parsed, &error)) << error;
  sim = std::make_unique<SimDrives>(std::move(parsed));
  sim->SetCommandLine("kestrel /d \"" + TestDefinitionFile() + "\"");
  InstallServices(Services{sim.get(), sim.get(), &sink});
}

void SimTest::Scan(std::string_view scenario, WindowHandle owner) {
  Install(scenario);
  ScanDrives(owner, nullptr);
  scanned_ = true;
}

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", bytes[i]);
    out += buf;
  }
  return out;
}

}  // namespace kestrel
