#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/cp932.h"
#include "sim/scenario.h"

namespace kestrel::fuzz {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

bool EndsWhole(const char* text, std::size_t size) {
  std::size_t i = 0;
  bool loneLead = false;
  while (i < size) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    loneLead = lead && i + 1 == size;
    i += lead ? 2 : 1;
  }
  return !loneLead;
}

std::string_view FieldCut(std::string_view text, std::size_t max) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.size() <= max) return text;
  std::size_t i = 0;
  for (;;) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const std::size_t next = i + (lead && i + 1 < text.size() ? 2 : 1);
    if (next > max) return text.substr(0, i);
    i = next;
  }
}

std::size_t CheckField(const char* field, std::size_t size, const char* what) {
  const void* nul = std::memchr(field, '\0', size);
  Check(nul != nullptr, what);
  return static_cast<std::size_t>(static_cast<const char*>(nul) - field);
}

// Texts handed to the sink come from buffers of unknown size: strnlen stops
// at the terminator and reads nothing beyond it.
std::size_t CheckPassedText(const char* text, const char* what) {
  const std::size_t n = strnlen(text, 1024);
  Check(n < 1024, what);
  return n;
}

void CheckingSink::Note(int, const char* text) {
  const std::size_t n = CheckPassedText(text, "message text within 1024 bytes");
  // A text cut by the formatter ends on a whole character.
  if (n == 1023) Check(EndsWhole(text, n), "cut message ends on a whole character");
  ++messages;
}

void CheckingSink::ShowMessageBox(WindowHandle, const char* caption, const char* text, int) {
  CheckPassedText(caption, "caption terminated");
  CheckPassedText(text, "box text within 1024 bytes");
}

void CheckingSink::GetWindowTitle(WindowHandle, char* out, std::size_t size) {
  CopyText(out, size, "Fuzz");
}

void CheckingSink::SetStatusText(WindowHandle, int, const char* text) {
  CheckPassedText(text, "status text within 1024 bytes");
}

namespace {

std::unique_ptr<SimDrives> g_sim;
CheckingSink g_sink;
std::map<std::string, std::string> g_scratch;

void RemoveScratch() {
  for (const auto& [name, path] : g_scratch) std::remove(path.c_str());
}

}  // namespace

SimDrives& InstallServices(std::string_view scenario, std::string commandLine) {
  Scenario parsed;
  std::string error;
  if (!ParseScenario(scenario, &parsed, &error)) parsed = Scenario{};
  auto sim = std::make_unique<SimDrives>(std::move(parsed));
  sim->SetCommandLine(std::move(commandLine));
  kestrel::InstallServices(Services{sim.get(), sim.get(), &g_sink});
  g_sim = std::move(sim);  // the old drives go only once nothing points to them
  return *g_sim;
}

CheckingSink& Sink() { return g_sink; }

const std::string& ScratchFile(const char* name) {
  auto it = g_scratch.find(name);
  if (it != g_scratch.end()) return it->second;
  if (g_scratch.empty()) std::atexit(RemoveScratch);
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string path = std::string(dir) + "/kestrel_fuzz_" + std::to_string(getpid()) + "_" + name;
  return g_scratch.emplace(name, std::move(path)).first->second;
}

const std::string& DefinitionFile() {
  // Japanese texts are written as their code-page-932 bytes: this build's
  // literals are UTF-8.
  static const std::string path = [] {
    static const char* const kFormats[] = {
        ",,,\"#\"",
        "0xFFFFFF,1,3,256,256,\"#/#/#\"",
        "0xFFFFFFFFFFFF,1,1,\"HHHHHHHHHHHH\"",
        "0xFFFF,60,1,\"# \x95\xAA\"",
        "-1,1,2,1000,\"\x83\x7C#.000\x83\x7C\"",
        ",0x10,6,2,3,4,5,6,\"######################### # # # # #\"",
        "0x3F,1,1,\"hhhh \\# \\\" \x95\x5C\"",
    };
    std::string text = "[Default Drive]\n";
    char line[128];
    for (int id = 1; id < 256; ++id) {
      const std::string name =
          id % 17 == 0 ? std::string(70, 'N') : "\x96\xBC\x91\x4F" + std::to_string(id);
      const std::string meaning = id % 19 == 0 ? std::string(300, '\x82') : "\x88\xD3\x96\xA1";
      std::snprintf(line, sizeof line, "%02X=", id);
      text += line + name + "|" + meaning + "|" + kFormats[id % 7] + "\n";
    }
    text +=
        "[Error Level]\nError=-10\nWarning=20\n"
        "[Minor Version]\n0001=\x8D\xC5\x8F\x89\n0010=" +
        std::string(80, 'v') +
        "\n"
        "[FUZZ]\nAlias=FUZZ A\n[FUZZ A]\nAlias=FUZZ\n05=Fuzz five||\"#\"\n"
        "[TEST]\nComment=" +
        std::string(300, 'c') + "\nAlias=Default Drive\n";
    const std::string& p = ScratchFile("definitions.ini");
    WriteScratch(p, text);
    return p;
  }();
  return path;
}

void WriteScratch(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr, "scratch file opens");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  Check(std::fclose(f) == 0, "scratch file written");
}

}  // namespace kestrel::fuzz
