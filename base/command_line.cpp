#include "base/command_line.h"

#include <cstring>

#include "base/cp932.h"

namespace kestrel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

CommandLineOption FindCommandLineOption(std::string_view line, char letter) {
  CommandLineOption option;
  const std::size_t n = line.size();
  bool afterBlank = false;  // the character before the current one is a blank
  std::size_t i = 0;
  while (i < n) {
    std::size_t len = CharLength(line.data() + i, n - i);
    bool isOption = len == 1 && line[i] == '/' && afterBlank && i + 1 < n &&
                    Lower(line[i + 1]) == Lower(letter);
    afterBlank = len == 1 && IsBlank(line[i]);
    if (!isOption) {
      i += len;
      continue;
    }

    i += 2;
    while (i < n && IsBlank(line[i])) ++i;
    std::size_t start = i;
    std::size_t end;
    if (i < n && line[i] == '"') {
      start = ++i;
      std::size_t quote = FindChar(line.substr(start), '"');
      end = quote == std::string_view::npos ? n : start + quote;
    } else {
      end = start;
      while (end < n && !IsBlank(line[end])) end += CharLength(line.data() + end, n - end);
      if (end > n) end = n;
    }
    option.found = true;
    std::size_t length = end - start;
    option.tooLong = length > kMaxOptionValue;
    CopyText(option.value, sizeof option.value, line.substr(start, length));
    return option;
  }
  return option;
}

}  // namespace kestrel
