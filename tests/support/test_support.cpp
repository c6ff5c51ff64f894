#include "tests/support/test_support.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "app/log_option.h"
#include "base/cp932.h"
#include "defs/definitions.h"
#include "report/md5.h"

namespace kestrel {

namespace fs = std::filesystem;

void RecordingSink::Note(int style, const char* text) {
  std::lock_guard<std::mutex> hold(mutex_);
  notes.emplace_back(style, text);
}

void RecordingSink::ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                                   int style) {
  std::lock_guard<std::mutex> hold(mutex_);
  boxes.push_back(Box{owner, caption, text, style});
}

void RecordingSink::GetWindowTitle(WindowHandle, char* out, std::size_t size) {
  CopyText(out, size, "Owner");
}

int RecordingSink::CountNotes(std::string_view text) const {
  int n = 0;
  for (const auto& [style, t] : notes) n += t == text;
  return n;
}

namespace {

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

}  // namespace

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string TestScratchName() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  // The run's own number keeps two runs of one test side by side apart.
  static const std::string run = std::to_string(std::random_device{}() % 1000000);
  std::string name = "kestrel" + run + "_" + info->test_suite_name() + "_" + info->name();
  for (char& c : name) c = c == '/' ? '_' : c;
  return name;
}

TestDirectory::TestDirectory(const fs::path& sub)
    : root_(fs::path(testing::TempDir()) / TestScratchName()), oldDir_(fs::current_path()) {
  fs::remove_all(root_);
  fs::create_directories(root_ / sub);
  fs::current_path(root_ / sub);
}

TestDirectory::~TestDirectory() {
  fs::current_path(oldDir_);
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void SimTest::Install(std::string_view scenario) {
  Scenario parsed;
  std::string error;
  ASSERT_TRUE(ParseScenario(scenario, &parsed, &error)) << error;
  sim = std::make_unique<SimDrives>(std::move(parsed));
  sim->SetCommandLine("kestrel /d \"" + TestDefinitionFile() + "\"");
  InstallServices(Services{sim.get(), sim.get(), &sink});
}

void MonitorSimTest::TearDown() {
  CloseLog(TheMonitorState());
  std::remove(logPath.c_str());
  TheMonitorState().trayState = 0;
  InstallMonitorHost(nullptr);
  SimTest::TearDown();
}

void MonitorSimTest::ScanAndStart(std::string_view scenario) {
  Scan(scenario);
  DriveTable* table = LockDriveTable();
  ASSERT_NE(table, nullptr);
  StartMonitor(*table);
  UnlockDriveTable();
}

void MonitorSimTest::OpenLog(std::string_view earlier) {
  CloseLog(TheMonitorState());
  WriteFile(logPath, earlier);
  OpenLogFromCommandLine("kestrel /l \"" + logPath + "\"", TheMonitorState(), nullptr);
  ASSERT_NE(TheMonitorState().logFile, nullptr);
}

std::string MonitorSimTest::LogText() {
  if (TheMonitorState().logFile != nullptr) std::fflush(TheMonitorState().logFile);
  return ReadFile(logPath);
}

void DefinitionFileTest::TearDown() {
  SimTest::TearDown();
  ReleaseDefinitions();
}

void DefinitionFileTest::Load(std::string_view text) {
  const fs::path file = dir_.root() / "defs.ini";
  WriteFile(file, text);
  sim->SetCommandLine("kestrel /d \"" + file.string() + "\"");
  LoadDefinitions();
}

DriveAttribute DefinitionFileTest::Define(int id, const char* model) {
  DriveAttribute slot{};
  slot.id = static_cast<std::uint8_t>(id);
  DefineAttribute(slot, model);
  return slot;
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

std::string Md5Hex(std::string_view bytes) {
  std::uint8_t digest[kMd5DigestSize];
  if (!Md5(bytes.data(), bytes.size(), digest)) return "<no digest>";
  std::string out;
  char two[3];
  for (std::uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

}  // namespace kestrel
