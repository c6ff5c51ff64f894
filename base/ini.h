// An INI file reader, the same on every platform, aware of code page 932.
//
// Rules (every reader of settings, definition and scenario files relies on
// them):
// - The whole file is read into memory once; lookups never touch the file.
// - Lines end in LF or CR LF. A line whose first non-blank character is ';'
//   is a comment. There are no comments after a value.
// - "[name]" starts a section; the name is what stands between the '[' and
//   the first ']' found by whole characters, blanks trimmed. Lines before
//   the first section belong to no section and are ignored.
// - "key=value": key and value are trimmed of blanks (space, tab). A value
//   that starts and ends with a double quote loses the two quotes and keeps
//   the blanks between them. A line without '=' is ignored.
// - Section and key names compare as MbsICompare does (ASCII case folded, a
//   double-byte character as one unit).
// - A section that appears twice is one section: the later lines add to the
//   earlier. A key that appears twice in a section keeps its first value.
// - An empty value counts as absent wherever a value is looked up.
// - NUL bytes are ordinary bytes inside the file; a looked-up value copied
//   into a C string ends at the first of them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

struct IniEntry {
  std::string_view key;
  std::string_view value;
};

struct IniSection {
  std::string_view name;
  std::vector<IniEntry> entries;  // file order, first occurrence of each key

  // The entry of `key`, or nullptr.
  const IniEntry* Find(std::string_view key) const;
};

class IniFile {
 public:
  IniFile() = default;
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;
  IniFile(IniFile&&) = default;
  IniFile& operator=(IniFile&&) = default;

  // Reads and parses the file at `path`. Returns false, leaving the reader
  // empty, when the file cannot be opened or read.
  bool Load(const std::string& path);

  // Parses `text` (a copy is kept), replacing anything loaded before.
  void Parse(std::string_view text);

  // Sections in file order, each name once.
  const std::vector<IniSection>& sections() const { return sections_; }

  // The 1-based line of the file on which `view` (a name, key or value of
  // this reader) starts; 0 for a view from elsewhere.
  int LineOf(std::string_view view) const;

  // The section of that name, or nullptr. Binary search, no allocation.
  const IniSection* FindSection(std::string_view name) const;

  // The non-empty value of `key` in `section`, or an empty view when the
  // section, the key or the value is missing.
  std::string_view Get(std::string_view section, std::string_view key) const;

  // The profile-style lookup: copies the value (or `fallback` when absent)
  // into `out` of `outSize` bytes, cut on a character boundary, terminated.
  // Returns the number of bytes copied without the terminator.
  // REQUIRES: outSize >= 1.
  std::size_t GetString(std::string_view section, std::string_view key, std::string_view fallback,
                        char* out, std::size_t outSize) const;

  // The value read as a decimal integer with an optional sign (leading
  // digits only, as atoi), or `fallback` when absent. "0x" is not special.
  int GetInt(std::string_view section, std::string_view key, int fallback) const;

 private:
  std::vector<char> text_;  // a vector, so that moving keeps the views valid
  std::vector<IniSection> sections_;
  std::vector<std::size_t> sorted_;  // indexes into sections_, by name
};

}  // namespace kestrel
