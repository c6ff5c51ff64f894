#include "base/ini.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/cp932.h"

namespace kestrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Names equal under MbsICompare have the same character structure and so
// the same length; the length test rejects most candidates for free.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MbsICompare(a, b) == 0;
}

std::string_view TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

// Trims trailing blanks by whole characters, so that a blank standing as
// the second byte of a double-byte character stays with its lead byte.
// `s` must already be trimmed on the left.
std::string_view TrimRight(std::string_view s) {
  std::size_t end = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t len = CharLength(s.data() + pos, s.size() - pos);
    if (!IsBlank(s[pos])) end = pos + len;
    pos += len;
  }
  return s.substr(0, end);
}

// A name recoded so that plain byte order is MbsICompare order: a folded
// ASCII byte stands for itself, any other single byte b becomes 0x80 b, and
// a double-byte character keeps its two bytes, its lead (0x81-0xFC) putting
// it after every single byte. No code is a prefix of another, so comparing
// bytes and then lengths orders the recoded names as MbsICompare orders the
// names, and equal codes mean equal names.
void AppendSortKey(std::string& out, std::string_view name) {
  std::size_t pos = 0;
  while (pos < name.size()) {
    const auto c = static_cast<unsigned char>(name[pos]);
    if (CharLength(name.data() + pos, name.size() - pos) == 2) {
      out.append(name.data() + pos, 2);
      pos += 2;
      continue;
    }
    if (c >= 0x80) out += '\x80';
    out += static_cast<char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
    ++pos;
  }
}

struct NameKey {
  std::uint64_t head;  // first 8 recoded bytes, big-endian, zero-padded
  std::size_t offset;  // of the recoded name in the key text
  std::size_t length;
  std::size_t section;  // index in file order
};

std::uint64_t Head(const std::string& keyText, std::size_t offset) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = offset + i;
    const unsigned char c = at < keyText.size() ? static_cast<unsigned char>(keyText[at]) : 0;
    head = (head << 8) | c;
  }
  return head;
}

// The zero padding of a head can tie with a recoded NUL byte; only
// different heads decide on their own.
int CompareKeys(const char* keyText, const NameKey& a, const NameKey& b) {
  if (a.head != b.head) return a.head < b.head ? -1 : 1;
  const std::size_t n = a.length < b.length ? a.length : b.length;
  const int c = n == 0 ? 0 : std::memcmp(keyText + a.offset, keyText + b.offset, n);
  if (c != 0) return c;
  if (a.length == b.length) return 0;
  return a.length < b.length ? -1 : 1;
}

// Keeps the first entry of each key, in file order. Small sections, by far
// the usual ones, are checked pairwise; large ones through a sorted index
// so that a section of many thousand keys stays linear-logarithmic.
void DropRepeatedKeys(std::vector<IniEntry>& entries) {
  const std::size_t n = entries.size();
  if (n < 2) return;
  std::vector<bool> drop(n, false);
  bool any = false;
  if (n <= 16) {
    for (std::size_t i = 1; i < n; ++i) {
      for (std::size_t k = 0; k < i; ++k) {
        if (!drop[k] && SameName(entries[k].key, entries[i].key)) {
          drop[i] = any = true;
          break;
        }
      }
    }
  } else {
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
      const int c = MbsICompare(entries[x].key, entries[y].key);
      return c != 0 ? c < 0 : x < y;
    });
    for (std::size_t i = 1; i < n; ++i) {
      if (SameName(entries[order[i - 1]].key, entries[order[i]].key)) {
        drop[order[i]] = any = true;
      }
    }
  }
  if (!any) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!drop[i]) entries[out++] = entries[i];
  }
  entries.resize(out);
}

}  // namespace

const IniEntry* IniSection::Find(std::string_view key) const {
  for (const IniEntry& e : entries) {
    if (SameName(e.key, key)) return &e;
  }
  return nullptr;
}

bool IniFile::Load(const std::string& path) {
  text_.clear();
  sections_.clear();
  sorted_.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<char> data;
  constexpr std::size_t kChunk = 1 << 16;
  for (;;) {
    const std::size_t old = data.size();
    data.resize(old + kChunk);
    const std::size_t got = std::fread(data.data() + old, 1, kChunk, f);
    data.resize(old + got);
    if (got < kChunk) break;
  }
  // A directory opens fine on some systems and only fails on reading.
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  Parse(std::string_view(data.data(), data.size()));
  return true;
}

void IniFile::Parse(std::string_view text) {
  // Copied before anything is cleared: `text` may point into text_.
  std::vector<char> copy(text.begin(), text.end());
  text_.swap(copy);
  sections_.clear();
  sorted_.clear();

  // First every "[name]" line becomes a section of its own; repeated names
  // are merged afterwards, once the order by name is known.
  const char* p = text_.data();
  const char* const end = p + text_.size();
  IniSection* current = nullptr;
  while (p < end) {
    const char* eol =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (eol == nullptr) eol = end;
    std::string_view line(p, static_cast<std::size_t>(eol - p));
    p = eol + (eol < end ? 1 : 0);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    line = TrimLeft(line);
    if (line.empty() || line[0] == ';') continue;

    if (line[0] == '[') {
      const std::string_view inner = line.substr(1);
      const std::size_t close = FindChar(inner, ']');
      if (close != std::string_view::npos) {
        sections_.push_back(IniSection{TrimRight(TrimLeft(inner.substr(0, close))), {}});
        current = &sections_.back();
        continue;
      }
      // An unclosed '[' is no header; the line is read as any other.
    }
    if (current == nullptr) continue;

    const std::size_t eq = FindChar(line, '=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = TrimRight(line.substr(0, eq));
    std::string_view value = TrimRight(TrimLeft(line.substr(eq + 1)));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    current->entries.push_back(IniEntry{key, value});
  }

  // Sorting reads recoded copies of the names packed together, not the
  // names scattered through the text: with 200,000 sections the sort is
  // most of the work and cache misses most of the sort.
  const std::size_t count = sections_.size();
  std::string keyText;
  std::vector<NameKey> keys(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t offset = keyText.size();
    AppendSortKey(keyText, sections_[i].name);
    keys[i] = NameKey{Head(keyText, offset), offset, keyText.size() - offset, i};
  }
  const char* const kt = keyText.data();
  // Equal names are ordered by position, so the first of a run is the
  // occurrence that keeps the name and the file order of the sections.
  std::sort(keys.begin(), keys.end(), [kt](const NameKey& a, const NameKey& b) {
    const int c = CompareKeys(kt, a, b);
    return c != 0 ? c < 0 : a.section < b.section;
  });

  std::vector<bool> merged(count, false);
  bool anyMerged = false;
  for (std::size_t i = 1; i < count; ++i) {
    if (CompareKeys(kt, keys[i - 1], keys[i]) != 0) continue;
    // Runs of three or more collapse step by step into the first.
    const std::size_t keep = keys[i - 1].section;
    const std::size_t dup = keys[i].section;
    std::vector<IniEntry>& into = sections_[keep].entries;
    std::vector<IniEntry>& from = sections_[dup].entries;
    into.insert(into.end(), from.begin(), from.end());
    from.clear();
    keys[i].section = keep;
    merged[dup] = true;
    anyMerged = true;
  }

  std::vector<std::size_t> newIndex;
  if (anyMerged) {
    newIndex.resize(count);
    std::size_t out = 0;
    for (std::size_t i = 0; i < count; ++i) {
      newIndex[i] = out;
      if (!merged[i]) {
        if (out != i) sections_[out] = std::move(sections_[i]);
        ++out;
      }
    }
    sections_.resize(out);
  }
  sorted_.reserve(sections_.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0 && keys[i].section == keys[i - 1].section) continue;
    sorted_.push_back(anyMerged ? newIndex[keys[i].section] : keys[i].section);
  }

  for (IniSection& s : sections_) DropRepeatedKeys(s.entries);
}

const IniSection* IniFile::FindSection(std::string_view name) const {
  const auto it = std::lower_bound(
      sorted_.begin(), sorted_.end(), name,
      [this](std::size_t i, std::string_view n) { return MbsICompare(sections_[i].name, n) < 0; });
  if (it == sorted_.end() || !SameName(sections_[*it].name, name)) return nullptr;
  return &sections_[*it];
}

std::string_view IniFile::Get(std::string_view section, std::string_view key) const {
  const IniSection* s = FindSection(section);
  if (s == nullptr) return {};
  const IniEntry* e = s->Find(key);
  return e != nullptr ? e->value : std::string_view();
}

std::size_t IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback, char* out, std::size_t outSize) const {
  std::string_view value = Get(section, key);
  if (value.empty()) value = fallback;
  CopyText(out, outSize, value);
  return std::strlen(out);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
  const std::string_view value = Get(section, key);
  if (value.empty()) return fallback;
  std::size_t i = 0;
  // A quoted value may still start with blanks; atoi skips them too.
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  // Accumulated negative so that INT_MIN fits; out-of-range values saturate
  // (atoi leaves them undefined).
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 - (value[i] - '0');
    if (n < static_cast<long long>(INT_MIN)) {
      n = static_cast<long long>(INT_MIN) - 1;
    }
  }
  if (negative) return n < INT_MIN ? INT_MIN : static_cast<int>(n);
  return -n > INT_MAX ? INT_MAX : static_cast<int>(-n);
}

int IniFile::LineOf(std::string_view view) const {
  const char* begin = text_.data();
  const char* end = begin + text_.size();
  if (view.data() < begin || view.data() > end) return 0;
  int line = 1;
  for (const char* p = begin; p < view.data(); ++p) line += *p == '\n';
  return line;
}

}  // namespace kestrel
