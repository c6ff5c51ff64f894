// The command-line scanner for "/d" and "/l". Input: the command line.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/command_line.h"
#include "fuzz/fuzz_support.h"

using namespace kestrel;
using namespace kestrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  for (char letter : {'d', 'l'}) {
    const CommandLineOption option = FindCommandLineOption(line, letter);
    const CommandLineOption upper = FindCommandLineOption(line, letter - 32);
    Check(option.found == upper.found && option.tooLong == upper.tooLong &&
              std::memcmp(option.value, upper.value, sizeof option.value) == 0,
          "the letter matches in either case");
    const std::size_t n = CheckField(option.value, sizeof option.value, "value terminated");
    Check(n <= kMaxOptionValue, "value within 259 bytes");
    if (!option.found) {
      Check(n == 0 && !option.tooLong, "no option, no value");
      continue;
    }
    const std::string_view value(option.value, n);
    Check(line.find(value) != std::string_view::npos, "the value is part of the line");
    if (option.tooLong) {
      // Refused, and what is kept for the message is its first 259 bytes
      // cut on a whole character.
      bool cutHere = false;
      for (std::size_t at = 0; at < size && !cutHere; ++at) {
        cutHere =
            FieldCut(line.substr(at), kMaxOptionValue) == value && (at + kMaxOptionValue < size);
      }
      Check(cutHere, "a long value is kept as its whole-character cut");
    }
  }
  return 0;
}
