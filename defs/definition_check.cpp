#include "defs/definition_check.h"

#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "base/ini.h"
#include "defs/definitions.h"
#include "records/drive_table.h"
#include "records/host.h"

namespace kestrel {

namespace {

// Collects what the parser reports, instead of showing it.
class CollectingSink final : public MessageSink {
 public:
  void Note(int, const char* text) override { texts.emplace_back(text); }
  void ShowMessageBox(WindowHandle, const char*, const char*, int) override {}
  void GetWindowTitle(WindowHandle, char* out, std::size_t) override { out[0] = '\0'; }
  void SetStatusText(WindowHandle, int, const char*) override {}
  std::vector<std::string> texts;
};

bool Same(std::string_view a, std::string_view b) { return MbsICompare(a, b) == 0; }

bool IsHexId(std::string_view key) {
  auto hex = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  };
  return key.size() == 2 && hex(key[0]) && hex(key[1]);
}

// Follows "Alias" from `start`; true when the chain comes back to a
// section it has passed.
bool AliasCycle(const IniFile& file, std::string_view start) {
  std::vector<std::string_view> passed{start};
  std::string_view current = start;
  for (;;) {
    const IniSection* section = file.FindSection(current);
    if (section == nullptr) return false;
    std::string_view alias = file.Get(current, "Alias");
    if (alias.empty() || Same(alias, "Default Drive")) return false;
    for (std::string_view p : passed) {
      if (Same(p, alias)) return true;
    }
    passed.push_back(alias);
    current = alias;
  }
}

// "W" or "W,E" with W and E decimal counts.
bool IsCountPair(std::string_view value) {
  int numbers = 0;
  bool digits = false;
  for (char c : value) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == ',' && digits && numbers == 0) {
      ++numbers, digits = false;
    } else if (c != ' ') {
      return false;
    }
  }
  return digits;
}

// The multiplier, split count and divisors of a raw format ("|" parts
// already taken off) that a signed 32-bit number cannot hold: the parser
// would read them as its largest value.
std::vector<std::string> OversizedNumbers(std::string_view format) {
  std::vector<std::string> out;
  const std::size_t quote = FindChar(format, '"');
  if (quote != std::string_view::npos) format = format.substr(0, quote);
  std::size_t comma = FindChar(format, ',');
  while (comma != std::string_view::npos) {
    format.remove_prefix(comma + 1);
    comma = FindChar(format, ',');
    std::string number(format.substr(0, comma));
    number.erase(0, number.find_first_not_of(' '));
    number.erase(number.find_last_not_of(' ') + 1);
    if (number.empty()) continue;
    const long long value = std::strtoll(number.c_str(), nullptr, 0);
    if (value > 2147483647LL || value < -2147483648LL) out.push_back(number);
  }
  return out;
}

bool IsAliasTarget(const IniFile& file, std::string_view name) {
  for (const IniSection& section : file.sections()) {
    if (Same(file.Get(section.name, "Alias"), name)) return true;
  }
  return false;
}

}  // namespace

std::vector<DefinitionProblem> CheckDefinitions(const std::string& path) {
  std::vector<DefinitionProblem> problems;
  IniFile file;
  if (!file.Load(path)) {
    problems.push_back({0, "読み込めません."});
    return problems;
  }

  const Services saved = InstalledServices();
  CollectingSink sink;
  Services services = saved;
  services.sink = &sink;
  InstallServices(services);
  DriveTable& table = TheDriveTable();
  std::memset(table.records, 0, sizeof table.records);
  for (DriveRecord& r : table.records) r.handle = kInvalidDeviceHandle;
  table.ownerWindow = nullptr;
  table.statusWindow = nullptr;
  LoadDefinitions();

  for (const IniSection& section : file.sections()) {
    if (Same(section.name, "Error Level") || Same(section.name, "Minor Version")) continue;
    std::string model(section.name);
    for (const IniEntry& e : section.entries) {
      int line = file.LineOf(e.key);
      if (Same(e.key, "Comment")) {
        // Only the section of a drive's whole model number gives its
        // comment: never an alias target, the default, or a name longer
        // than any model number.
        if (Same(section.name, "Default Drive") || section.name.size() > 40 ||
            IsAliasTarget(file, section.name)) {
          problems.push_back({line, "このセクションのCommentは表示されることがありません."});
        }
        continue;
      }
      if (e.key.size() == 8 && IsHexId(e.key.substr(0, 2)) && Same(e.key.substr(2), ".Count")) {
        if (!IsCountPair(e.value)) {
          problems.push_back(
              {line, "キー" + std::string(e.key) + "の値は件数(警告,エラー)ではありません."});
        }
        continue;
      }
      if (Same(e.key, "Alias")) {
        if (Same(e.value, "Default Drive")) continue;
        if (file.FindSection(e.value) == nullptr) {
          problems.push_back(
              {line, "Aliasのセクション[" + std::string(e.value) + "]がありません."});
        } else if (AliasCycle(file, section.name)) {
          problems.push_back({line, "Aliasが循環しています."});
        }
        continue;
      }
      if (!IsHexId(e.key)) {
        problems.push_back({line, "キー" + std::string(e.key) + "は属性IDではありません."});
        continue;
      }
      DriveAttribute slot{};
      slot.id = static_cast<std::uint8_t>(std::strtol(std::string(e.key).c_str(), nullptr, 16));
      sink.texts.clear();
      DefineAttribute(slot, model.c_str());
      for (const std::string& text : sink.texts) problems.push_back({line, text});
      std::string_view format = e.value;
      for (int bars = 0; bars < 2; ++bars) {
        const std::size_t bar = FindChar(format, '|');
        format = bar == std::string_view::npos ? std::string_view() : format.substr(bar + 1);
      }
      for (const std::string& number : OversizedNumbers(format)) {
        problems.push_back({line, "ロウデータフォーマットの数値" + number +
                                      "は32ビットの符号付き整数に収まりません."});
      }
    }
  }
  ReleaseDefinitions();
  InstallServices(saved);
  return problems;
}

}  // namespace kestrel
