// Shared pieces of the fuzz targets: the engine's services with a message
// sink that checks every text, and the checks themselves, which abort so
// that libFuzzer keeps the input that broke them.
//
// The fuzz build is compiled by clang, which writes narrow literals in
// UTF-8 only; every check here looks at bytes and never at what a literal
// decodes to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/host.h"
#include "sim/sim_drives.h"

namespace kestrel::fuzz {

// Aborts with `what` when `ok` is false.
void Check(bool ok, const char* what);

// Whether `text` of `size` bytes ends on a whole character: its last
// character, read from the start by whole code-page-932 characters, is not
// a lead byte standing alone.
bool EndsWhole(const char* text, std::size_t size);

// The longest prefix of `text` of at most `max` bytes that ends on a
// character boundary, stopping at a NUL byte: what a field of max + 1 bytes
// holds of `text`. Written here on its own so that it checks the engine
// rather than repeating it.
std::string_view FieldCut(std::string_view text, std::size_t max);

// Checks that the field of `size` bytes holds its terminator and returns
// the text's length.
std::size_t CheckField(const char* field, std::size_t size, const char* what);

// Checks every text a message sink receives: terminated within the 1024
// bytes the engine formats into.
class CheckingSink final : public MessageSink {
 public:
  void Note(int style, const char* text) override;
  void ShowMessageBox(WindowHandle owner, const char* caption, const char* text,
                      int style) override;
  void GetWindowTitle(WindowHandle window, char* out, std::size_t size) override;
  void SetStatusText(WindowHandle statusBar, int part, const char* text) override;

  long messages = 0;
};

// Simulated drives of `scenario` (none when empty) installed as the
// engine's services with a CheckingSink, and the command line `commandLine`.
// Replaces what an earlier call installed.
SimDrives& InstallServices(std::string_view scenario, std::string commandLine);
CheckingSink& Sink();

// A definition file for the targets that scan or evaluate: every id named
// in "Default Drive" with raw formats of every kind (splits, hexadecimal,
// a multiplier, double-byte texts, names and meanings longer than their
// fields), model sections with aliases, and minor versions. Written once;
// returns its path.
const std::string& DefinitionFile();

// A file of this process for the target's own use: "<dir>/kestrel_fuzz_<pid>_<name>",
// removed at exit.
const std::string& ScratchFile(const char* name);
void WriteScratch(const std::string& path, std::string_view bytes);

}  // namespace kestrel::fuzz
