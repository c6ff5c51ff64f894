#include "defs/definitions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/command_line.h"
#include "base/cp932.h"
#include "base/ini.h"
#include "defs/raw_format.h"
#include "records/drive_table.h"
#include "records/host.h"
#include "records/smart_sectors.h"

namespace kestrel {

namespace {

constexpr char kDefaultDrive[] = "Default Drive";
constexpr char kNvmeDrive[] = "NVMe Drive";
constexpr char kNvmePrefix[] = "NVMe ";
constexpr char kUnknownAttribute[] = "不明な属性";

// Longest texts read from the file.
constexpr std::size_t kDefinitionBytes = 449;
constexpr std::size_t kAliasBytes = 39;
constexpr std::size_t kModelBytes = 40;
// Aliases followed for one attribute at most; a longer chain is cut there.
constexpr int kMaxAliases = 64;

std::int8_t g_errorLimits[256];
std::int8_t g_warningLimits[256];
IniFile g_definitions;
bool g_definitionsLoaded = false;
// Whether any section holds an "HH.Count" key: a file without one spares
// every slot the second walk along its lookup chain.
bool g_anyCountKey = false;

// Reads up to 256 raw bytes of the limit file `name` over `table`.
void LoadLimitFile(const char* name, std::int8_t* table) {
  char path[4096];  // Linux's PATH_MAX
  if (!InstalledServices().env->FindLimitFile(name, path, sizeof path)) return;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return;
  std::size_t n = std::fread(table, 1, 256, f);
  (void)n;  // a short file replaces only as many entries as it has bytes
  std::fclose(f);
}

bool HasPathCharacter(const char* value) {
  std::string_view v(value);
  // On Linux a "/" marks a path as a colon or backslash does on Windows.
  return FindChar(v, ':') != std::string_view::npos ||
         FindChar(v, '\\') != std::string_view::npos || FindChar(v, '/') != std::string_view::npos;
}

// Splits a bare file name at its last "." and searches for it.
bool SearchBareName(Environment* env, const char* name, char* out, std::size_t size) {
  std::string_view v(name);
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < v.size(); i += CharLength(v.data() + i, v.size() - i)) {
    if (v[i] == '.') dot = i;
  }
  char stem[kMaxOptionValue + 1];
  char extension[kMaxOptionValue + 1];
  std::size_t stemLength = dot == std::string_view::npos ? v.size() : dot;
  std::memcpy(stem, name, stemLength);
  stem[stemLength] = '\0';
  CopyText(extension, sizeof extension,
           dot == std::string_view::npos ? std::string_view() : v.substr(dot));
  if (stem[0] == '\0') return false;
  return env->SearchFile(stem, extension, out, size);
}

void FindDefinitionFile(DriveTable& table) {
  Environment* env = InstalledServices().env;
  char* path = table.definitionPath;
  path[0] = '\0';
  CommandLineOption option = FindCommandLineOption(env->CommandLine(), 'd');
  if (option.found && !option.tooLong && option.value[0] != '\0') {
    if (HasPathCharacter(option.value)) {
      if (env->IsFile(option.value)) CopyText(path, sizeof table.definitionPath, option.value);
    } else {
      SearchBareName(env, option.value, path, sizeof table.definitionPath);
    }
  }
  if (path[0] != '\0') return;
  if (env->SearchFile("Smart", ".dat", path, sizeof table.definitionPath)) return;
  CopyText(path, sizeof table.definitionPath, "smart.dat");
}

void BuildSectionNames(SectionNames& names) {
  names.storage.clear();
  names.sorted.clear();
  std::size_t bytes = 0;
  for (const IniSection& s : g_definitions.sections()) bytes += s.name.size() + 1;
  names.storage.reserve(bytes);
  for (const IniSection& s : g_definitions.sections()) {
    names.storage.insert(names.storage.end(), s.name.begin(), s.name.end());
    names.storage.push_back('\0');
  }
  names.sorted.reserve(g_definitions.sections().size());
  for (std::size_t i = 0; i < names.storage.size(); i += std::strlen(&names.storage[i]) + 1) {
    names.sorted.push_back(&names.storage[i]);
  }
  std::sort(names.sorted.begin(), names.sorted.end(),
            [](const char* a, const char* b) { return MbsICompare(a, b) < 0; });
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return MbsICompare(a, b) == 0;
}

}  // namespace

void LoadDefinitions() {
  DriveTable& table = TheDriveTable();
  std::memset(g_errorLimits, 1, sizeof g_errorLimits);
  std::memset(g_warningLimits, 15, sizeof g_warningLimits);
  table.errorLimits = g_errorLimits;
  table.warningLimits = g_warningLimits;
  LoadLimitFile("error.dat", g_errorLimits);
  LoadLimitFile("warning.dat", g_warningLimits);

  FindDefinitionFile(table);
  g_definitionsLoaded = g_definitions.Load(table.definitionPath);
  if (!g_definitionsLoaded) g_definitions.Parse("");
  g_anyCountKey = false;
  for (const IniSection& section : g_definitions.sections()) {
    for (const IniEntry& e : section.entries) {
      g_anyCountKey |= e.key.size() == 8 && MbsICompare(e.key.substr(2), ".Count") == 0;
    }
  }

  // Only the low 8 bits of each level count.
  table.errorLevel = static_cast<std::int8_t>(g_definitions.GetInt("Error Level", "Error", 0));
  table.warningLevel = static_cast<std::int8_t>(g_definitions.GetInt("Error Level", "Warning", 5));
  table.thresholdLevel = static_cast<std::int8_t>(
      std::clamp(g_definitions.GetInt("Error Level", "Threshold", 0), 0, 2));
  BuildSectionNames(table.sectionNames);
}

bool DefinitionsLoaded() { return g_definitionsLoaded; }

bool HasSection(std::string_view name) {
  const std::vector<const char*>& sorted = TheDriveTable().sectionNames.sorted;
  if (sorted.empty()) return true;
  std::size_t low = 0;
  std::size_t high = sorted.size();
  while (low < high) {
    std::size_t mid = low + (high - low) / 2;
    int c = MbsICompare(name, sorted[mid]);
    if (c == 0) return true;
    if (c < 0) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return false;
}

void ReadDefinitionString(std::string_view section, std::string_view key, char* out,
                          std::size_t size) {
  g_definitions.GetString(section, key, "", out, size);
}

namespace {

// Looks `key` up for a drive of model `modelNumber`: in the section of the
// whole model number or of its longest leading part that has the key or
// an alias, following "Alias" keys, else in "Default Drive". The value
// goes into `out` (`size` bytes; empty when no section has it), the name
// of the section it came from into `section` (kDefinitionBytes + 1 bytes).
// An alias already followed in this lookup counts as absent, so a cycle of
// aliases ends. Allocates nothing.
void LookUpForModel(const char* modelNumber, const char* fallback, const char* key, char* out,
                    std::size_t size, char* section) {
  char* current = section;
  CopyText(current, kModelBytes + sizeof kNvmePrefix, modelNumber);
  out[0] = '\0';
  char followed[kMaxAliases][kAliasBytes + 1];
  int followedCount = 0;

  while (current[0] != '\0') {
    if (HasSection(current)) {
      ReadDefinitionString(current, key, out, size);
      if (out[0] != '\0') return;
      char alias[kAliasBytes + 1];
      ReadDefinitionString(current, "Alias", alias, sizeof alias);
      if (EqualsIgnoringAsciiCase(alias, fallback)) break;
      bool seen = false;
      for (int i = 0; i < followedCount && !seen; ++i) {
        seen = EqualsIgnoringAsciiCase(alias, followed[i]);
      }
      if (alias[0] != '\0' && !seen && followedCount < kMaxAliases) {
        std::memcpy(followed[followedCount++], alias, sizeof alias);
        std::memcpy(current, alias, sizeof alias);
        continue;
      }
    }
    // The next shorter leading part of the name, byte by byte.
    current[std::strlen(current) - 1] = '\0';
  }
  CopyText(current, kDefinitionBytes + 1, fallback);
  ReadDefinitionString(fallback, key, out, size);
}

// "W,E": the raw values from which a defect count is a warning and an
// error; a missing, empty or unreadable number is 0 (never).
void ParseCountLimits(const char* text, std::uint64_t* warning, std::uint64_t* error) {
  char* end = nullptr;
  *warning = std::strtoull(text, &end, 10);
  *error = 0;
  const char* comma = std::strchr(text, ',');
  if (comma != nullptr) *error = std::strtoull(comma + 1, &end, 10);
}

}  // namespace

void DefineAttribute(DriveAttribute& slot, const char* modelNumber, DriveTransport transport) {
  // An NVMe drive's attributes are the bridge's, not ATA ones: they are
  // looked up under "NVMe " and the model number, then in "NVMe Drive".
  char nvmeModel[sizeof kNvmePrefix + kModelBytes];
  const char* fallback = kDefaultDrive;
  if (transport == DriveTransport::kNvme) {
    std::snprintf(nvmeModel, sizeof nvmeModel, "%s%s", kNvmePrefix, modelNumber);
    modelNumber = nvmeModel;
    fallback = kNvmeDrive;
  }
  char key[12];
  std::snprintf(key, sizeof key, "%02X.Count", slot.id);
  char section[kDefinitionBytes + 1];
  char limits[kDefinitionBytes + 1];
  limits[0] = '\0';
  if (g_anyCountKey) LookUpForModel(modelNumber, fallback, key, limits, sizeof limits, section);
  ParseCountLimits(limits, &slot.countWarning, &slot.countError);

  key[2] = '\0';
  char definition[kDefinitionBytes + 1];
  LookUpForModel(modelNumber, fallback, key, definition, sizeof definition, section);
  if (definition[0] == '\0') CopyText(definition, sizeof definition, kUnknownAttribute);
  const char* current = section;

  std::string_view rest(definition);
  std::size_t bar = FindChar(rest, '|');
  CopyText(slot.name, sizeof slot.name, rest.substr(0, bar));
  slot.meaning[0] = '\0';
  slot.rawFormat[0] = '\0';
  if (bar == std::string_view::npos) return;
  rest.remove_prefix(bar + 1);
  bar = FindChar(rest, '|');
  CopyText(slot.meaning, sizeof slot.meaning, rest.substr(0, bar));
  if (bar == std::string_view::npos) return;
  ParseRawFormat(slot, rest.data() + bar + 1, modelNumber, current);
}

void BuildAttributes(int drive) {
  DriveRecord& record = TheDriveTable().records[drive];
  record.attributeCount = 0;
  for (int i = 0; i < kSmartEntries; ++i) {
    ThresholdEntry entry = ThresholdEntryAt(record.thresholds, i);
    if (entry.id == 0) break;
    DriveAttribute& slot = record.attributes[record.attributeCount];
    // Thresholds fetched again after a stale sector may order the slots
    // otherwise than the data did meanwhile: a slot that held another
    // attribute starts afresh, or that attribute's reading would count as
    // a change of this one.
    if (slot.id != entry.id) slot = DriveAttribute{};
    slot.id = entry.id;
    slot.threshold = entry.threshold;
    DefineAttribute(slot, record.modelNumber, record.transport);
    ++record.attributeCount;
  }
}

void ReleaseDefinitions() {
  DriveTable& table = TheDriveTable();
  table.sectionNames.storage = {};
  table.sectionNames.sorted = {};
  g_definitions = IniFile();
}

}  // namespace kestrel
