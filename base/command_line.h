// The program's command-line options "/d" (definition file) and "/l" (log
// file), read from the whole command line by one scanner.
//
// An option is a "/" that follows a space or a tab, then its letter in
// either case. Its value follows the letter after any spaces and tabs (or
// at once: "/lfile.log"); a value that starts with a double quote runs to
// the next double quote, or to the end of the line when there is none;
// any other value runs to the next space or tab. The scan goes by whole
// code-page-932 characters, so the second byte of a double-byte character
// is never a blank, quote or slash. Only the first option with the letter
// counts.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

// Values are held in 260 bytes (259 and the terminator), as the platform's
// paths are.
constexpr std::size_t kMaxOptionValue = 259;

struct CommandLineOption {
  bool found = false;    // the option is on the command line
  bool tooLong = false;  // its value has more than kMaxOptionValue bytes
  // The value, NUL-terminated. A longer value is refused rather than cut
  // (a cut path would name another file); `value` then holds its first
  // kMaxOptionValue bytes, for messages only.
  char value[kMaxOptionValue + 1] = {};
};

// The first option `letter` (matched without regard to case) of
// `commandLine`.
CommandLineOption FindCommandLineOption(std::string_view commandLine, char letter);

}  // namespace kestrel
