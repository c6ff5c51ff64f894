#include "base/cp932.h"

#include <cstdint>
#include <cstring>
#include <iterator>

namespace kestrel {
namespace {

constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kLastTrail = 0xFC;
constexpr std::size_t kTrailCount = kLastTrail - kFirstTrail + 1;
constexpr std::size_t kLeadCount = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);

// Rows for lead bytes 0x81-0x9F followed by 0xE0-0xFC; see the generator.
constexpr std::uint16_t kDoubleByte[] = {
#include "base/cp932_table.inc"
};
static_assert(std::size(kDoubleByte) == kLeadCount * kTrailCount,
              "cp932_table.inc is out of step with this file");

constexpr char32_t kReplacement = 0xFFFD;

std::size_t LeadRow(unsigned char lead) {
  return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + (0x9F - 0x81 + 1);
}

// Only a single-byte character is folded: the second byte of a double-byte
// character may be 0x41-0x5A and must stay as it is.
unsigned FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// The next compare unit of `s` at `pos`: lead<<8|trail for a double-byte
// character, the folded byte otherwise. Advances `pos`.
unsigned NextUnit(std::string_view s, std::size_t& pos) {
  const std::size_t len = CharLength(s.data() + pos, s.size() - pos);
  const auto c = static_cast<unsigned char>(s[pos]);
  if (len == 2) {
    const auto t = static_cast<unsigned char>(s[pos + 1]);
    pos += 2;
    return (static_cast<unsigned>(c) << 8) | t;
  }
  ++pos;
  return FoldAscii(c);
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    // The table holds BMP code points only.
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::size_t CutLength(std::string_view text, std::size_t maxBytes) {
  if (maxBytes >= text.size()) return text.size();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t len = CharLength(text.data() + pos, text.size() - pos);
    if (pos + len > maxBytes) break;
    pos += len;
  }
  return pos;
}

void CopyText(char* dst, std::size_t dstSize, std::string_view text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const std::size_t n = CutLength(text, dstSize - 1);
  if (n != 0) std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
}

std::size_t FindChar(std::string_view text, char c) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == c) return pos;
    pos += CharLength(text.data() + pos, text.size() - pos);
  }
  return std::string_view::npos;
}

int MbsICompare(std::string_view a, std::string_view b) {
  // Units that compare equal have equal lengths, so one offset serves both
  // texts until the first difference.
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  while (i < n) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) < 0x80) {
      if (ca != cb) {
        const unsigned fa = FoldAscii(ca);
        const unsigned fb = FoldAscii(cb);
        if (fa != fb) return fa < fb ? -1 : 1;
      }
      ++i;
      continue;
    }
    std::size_t ia = i;
    std::size_t ib = i;
    const unsigned ua = NextUnit(a, ia);
    const unsigned ub = NextUnit(b, ib);
    if (ua != ub) return ua < ub ? -1 : 1;
    i = ia;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string Cp932ToUtf8(std::string_view text) {
  std::string out;
  // Double-byte characters grow from 2 to 3 bytes, katakana from 1 to 3.
  out.reserve(text.size() + text.size() / 2);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++pos;
    } else if (c >= 0xA1 && c <= 0xDF) {
      AppendUtf8(out, 0xFF61 + (c - 0xA1));
      ++pos;
    } else if (IsLeadByte(c) && pos + 1 < text.size()) {
      const auto t = static_cast<unsigned char>(text[pos + 1]);
      if (t >= kFirstTrail && t <= kLastTrail) {
        const std::uint16_t cp = kDoubleByte[LeadRow(c) * kTrailCount + (t - kFirstTrail)];
        AppendUtf8(out, cp != 0 ? cp : kReplacement);
        pos += 2;
      } else {
        // Not a trail byte at all (a control, a quote...): only the lead is
        // broken, the byte after it is decoded on its own.
        AppendUtf8(out, kReplacement);
        ++pos;
      }
    } else {
      // 0x80, 0xA0, 0xFD-0xFF, or a lead byte ending the text. Windows maps
      // the first five to the private use area; a terminal shows nothing
      // useful for those, so they are reported as undecodable.
      AppendUtf8(out, kReplacement);
      ++pos;
    }
  }
  return out;
}

}  // namespace kestrel
