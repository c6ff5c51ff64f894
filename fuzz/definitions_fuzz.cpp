// The definition file and every lookup made on it. The input is the file;
// it is loaded through a "/d" command line as the scan loads it, and then
// every section is looked for and attributes are defined for model numbers
// made from the section names (so that alias chains and cycles are
// followed) and from the input's own bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/cp932.h"
#include "base/ini.h"
#include "defs/definitions.h"
#include "fuzz/fuzz_support.h"
#include "records/drive_table.h"

namespace kestrel::fuzz {
namespace {

// The part of `text` before the first "|" found by whole characters, and
// what follows that "|" (nothing when there is none).
std::string_view Field(std::string_view text, std::string_view* rest) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (!lead && text[i] == '|') {
      *rest = text.substr(i + 1);
      return text.substr(0, i);
    }
    i += lead && i + 1 < text.size() ? 2 : 1;
  }
  *rest = {};
  return text;
}

using Named = std::pair<std::string, std::string>;  // name, meaning

// What a slot may be named and mean for `key`: the definitions of every
// section holding it, each as the lookup cuts it, or the unknown attribute.
std::set<Named> Expected(const IniFile& file, const char* key) {
  std::set<Named> out{{"不明な属性", ""}};
  for (const IniSection& s : file.sections()) {
    const IniEntry* e = s.Find(key);
    if (e == nullptr || e->value.empty()) continue;
    std::string_view definition = FieldCut(e->value, 449);
    if (definition.empty()) continue;
    std::string_view rest;
    std::string_view name = Field(definition, &rest);
    std::string_view unused;
    std::string_view meaning = Field(rest, &unused);
    out.emplace(std::string(FieldCut(name, 64)), std::string(FieldCut(meaning, 256)));
  }
  return out;
}

}  // namespace
}  // namespace kestrel::fuzz

using namespace kestrel;
using namespace kestrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string& path = ScratchFile("definitions.ini");
  static bool installed = false;
  if (!installed) {
    InstallServices("", "kestrel.exe /d \"" + path + "\"");
    installed = true;
  }
  WriteScratch(path, text);
  LoadDefinitions();
  const DriveTable& table = TheDriveTable();
  Check(path == table.definitionPath, "the /d file is the one loaded");

  IniFile file;
  file.Parse(text);

  // Every section is found by the index the lookups use, as a C string
  // (the engine's model numbers never hold a NUL byte).
  std::vector<std::string> models{"", std::string(FieldCut(text, 40))};
  for (const IniSection& s : file.sections()) {
    const std::string name(FieldCut(s.name, s.name.size()));
    Check(HasSection(name), "HasSection finds every section of the file");
    char out[2];
    // No key holds '=': a line is split at its first one.
    ReadDefinitionString(name, "=", out, sizeof out);
    Check(out[0] == '\0', "an absent key reads as empty");
    if (models.size() < 40) {
      models.push_back(name);
      models.push_back(name + "Z9");
      models.push_back(name.substr(0, name.size() / 2));
    }
  }

  std::vector<std::uint8_t> ids{0x01, 0x05, 0x09, 0xC2, 0xFF};
  if (size > 0) ids.push_back(data[size / 2]);
  for (std::uint8_t id : ids) {
    char key[3];
    std::snprintf(key, sizeof key, "%02X", id);
    const std::set<Named> expected = Expected(file, key);
    for (const std::string& model : models) {
      char number[41];
      CopyText(number, sizeof number, model);
      DriveAttribute slot{};
      slot.id = id;
      DefineAttribute(slot, number);
      CheckField(slot.name, sizeof slot.name, "name terminated within its field");
      CheckField(slot.meaning, sizeof slot.meaning, "meaning terminated within its field");
      Check(CheckField(slot.rawFormat, sizeof slot.rawFormat, "template terminated") < 64,
            "template shorter than 64 bytes");
      Check(expected.count({slot.name, slot.meaning}) == 1,
            "name and meaning are one definition of the id, cut on whole characters");
      Check(slot.id == id, "the id stays");
    }
  }
  return 0;
}
