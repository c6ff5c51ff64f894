// Character handling for code page 932 (Shift-JIS), the encoding of every
// text this program reads, shows or writes.
//
// Text is scanned by whole characters: a lead byte (0x81-0x9F, 0xE0-0xFC)
// and the byte after it form one character, and that second byte is never
// taken for a separator, quote, slash or escape even where it equals one
// (the katakana "po" is 0x83 0x7C, and 0x7C is "|").
//
// Nothing here allocates except Cp932ToUtf8, which builds a new string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length in bytes of the character starting at text[0] within a text of
// `size` bytes: 2 for a lead byte followed by another byte, else 1. A lead
// byte at the very end counts as one (broken) character.
inline std::size_t CharLength(const char* text, std::size_t size) {
  return (size >= 2 && IsLeadByte(static_cast<unsigned char>(text[0]))) ? 2 : 1;
}

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a
// character boundary (never after half of a double-byte character).
std::size_t CutLength(std::string_view text, std::size_t maxBytes);

// Copies `text` into `dst` of `dstSize` bytes (terminator included), cut on
// a character boundary to at most dstSize - 1 bytes, and NUL-terminates it.
// The text stops early at a NUL byte. REQUIRES: dstSize >= 1.
void CopyText(char* dst, std::size_t dstSize, std::string_view text);

// Finds the first byte `c` (an ASCII character) in `text` that starts a
// character; returns its offset or npos. The double-byte aware strchr.
std::size_t FindChar(std::string_view text, char c);

// Compares two texts as _mbsicmp does: ASCII letters without regard to case,
// a double-byte character as one unit. Returns <0, 0 or >0. Bytes compare
// unsigned. Used by sorting and by binary search, which must agree.
int MbsICompare(std::string_view a, std::string_view b);

// Decodes code-page-932 bytes to UTF-8 for terminals and JSON. Bytes that do
// not decode become U+FFFD.
std::string Cp932ToUtf8(std::string_view text);

}  // namespace kestrel
