#include "defs/raw_format.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/cp932.h"
#include "records/drive_table.h"

namespace kestrel {
namespace {

// A template that reaches this many bytes is refused, so rawFormat always
// keeps its terminator with room to spare.
constexpr std::size_t kTemplateLimit = 64;
// rawText holds this many bytes and its terminator.
constexpr std::size_t kTextLimit = 67;
constexpr int kMaxSplit = 6;

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

enum class Fault { Mask, Comma, Count, Divisor, Quote, Fields, Length };

// Every message takes the same four values; each is given only the ones its
// text prints, so the compiler still checks every argument list.
void ReportFault(Fault fault, const DriveAttribute& slot, const char* modelNumber,
                 const char* sectionName, std::int32_t count) {
  const std::string where = std::string("(") + (sectionName != nullptr ? sectionName : "") + ")";
  const char id[3] = {kUpperHex[slot.id >> 4], kUpperHex[slot.id & 0xF], '\0'};
  const char* m = modelNumber != nullptr ? modelNumber : "";
  const char* s = where.c_str();
  switch (fault) {
    case Fault::Mask:
      ReportMessage(kStyleQuestion, "モデルナンバ%s%sの属性%sのロウデータマスク値が不正です.", m, s,
                    id);
      break;
    case Fault::Comma:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットにカンマ"
                    "がありません.",
                    m, s, id);
      break;
    case Fault::Count:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットの分割数"
                    "が%dを超えています.",
                    m, s, id, static_cast<int>(count));
      break;
    case Fault::Divisor:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットの分割除"
                    "数が2未満です.",
                    m, s, id);
      break;
    case Fault::Quote:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットに\"\"で"
                    "くくられた書式がありません.",
                    m, s, id);
      break;
    case Fault::Fields:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットの書式中"
                    "の分割データ数が多すぎます.",
                    m, s, id);
      break;
    case Fault::Length:
      ReportMessage(kStyleQuestion,
                    "モデルナンバ%s%sの属性%sのロウデータフォーマットの書式が"
                    "長すぎます.",
                    m, s, id);
      break;
  }
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasHexPrefix(const char* p) { return p[0] == '0' && (p[1] == 'x' || p[1] == 'X'); }

struct Digits {
  bool found;
  bool overflow;  // more than `limit`; value is then `limit`
  std::uint64_t value;
};

// Reads the digits of `base` at p, moving p past them.
Digits ReadDigits(const char*& p, int base, std::uint64_t limit) {
  Digits n{false, false, 0};
  for (int d = DigitValue(*p); d >= 0 && d < base; d = DigitValue(*++p)) {
    n.found = true;
    const auto digit = static_cast<std::uint64_t>(d);
    if (n.overflow || n.value > (limit - digit) / base) {
      n.overflow = true;
      n.value = limit;
    } else {
      n.value = n.value * base + digit;
    }
  }
  return n;
}

// The mask: hexadecimal, empty (all ones), or decimal with an optional minus
// taken in two's complement. A magnitude beyond 64 bits reads as all ones,
// with or without the minus, as strtoull has it: an over-long mask then hides
// nothing instead of some arbitrary part of the counter. "0x" without a hex
// digit is no number.
bool ReadMask(const char*& p, std::uint64_t& mask) {
  if (*p == ',') {
    mask = ~std::uint64_t{0};
    return true;
  }
  const bool hex = HasHexPrefix(p);
  const bool negative = !hex && *p == '-';
  const char* q = p + (hex ? 2 : negative ? 1 : 0);
  const Digits n = ReadDigits(q, hex ? 16 : 10, ~std::uint64_t{0});
  if (!n.found) return false;
  p = q;
  if (n.overflow) {
    mask = ~std::uint64_t{0};
  } else {
    mask = negative ? 0 - n.value : n.value;
  }
  return true;
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A multiplier, split count or divisor, read from where the comma left p.
//
// Hexadecimal right at the comma is the unsigned 32-bit pattern, clamped at
// 0xFFFFFFFF, so a factor or divisor above 2^31 can be written (0xFFFFFFFF
// is the factor 4294967295, or the count -1).
//
// Decimal goes as strtol goes with a 32-bit long, on every platform: white
// space, a sign, digits; a value out of range clamps to INT32_MIN/INT32_MAX.
// A 64-bit long (Linux) would let strtol read further, so it is not used.
//
// Without a digit (spaces alone, or "0x" with no hex digit) the value is 0
// and p does not move, again as strtol leaves its end pointer.
std::int32_t ReadInt32(const char*& p) {
  if (HasHexPrefix(p)) {
    const char* q = p + 2;
    const Digits n = ReadDigits(q, 16, 0xFFFFFFFF);
    if (!n.found) return 0;
    p = q;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n.value));
  }
  const char* q = p;
  while (IsCSpace(*q)) ++q;
  const bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  // 2^31 is the largest magnitude of either sign that matters.
  const Digits n = ReadDigits(q, 10, 0x80000000u);
  if (!n.found) return 0;
  p = q;
  if (negative) {
    return n.value >= 0x80000000u ? INT32_MIN : -static_cast<std::int32_t>(n.value);
  }
  return n.value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n.value);
}

// Optional spaces (0x20 only), then a comma, which is passed.
bool TakeComma(const char*& p) {
  while (*p == ' ') ++p;
  if (*p != ',') return false;
  ++p;
  return true;
}

bool IsFieldLetter(char c) { return c == '#' || c == '0' || c == 'H' || c == 'h'; }

bool IsEscapable(char c) { return c == '\\' || c == '"' || IsFieldLetter(c); }

// A field of `width` letters `letter` as a conversion of the template:
// "%" ["0"] width "I64" (u | X | x). The template keeps this form because
// the length limit counts its bytes. Returns its length.
std::size_t WriteConversion(char* out, char letter, std::size_t width) {
  std::size_t n = 0;
  out[n++] = '%';
  if (letter != '#') out[n++] = '0';
  char digits[24];
  std::size_t d = 0;
  do {
    digits[d++] = static_cast<char>('0' + width % 10);
    width /= 10;
  } while (width != 0);
  while (d != 0) out[n++] = digits[--d];
  out[n++] = 'I';
  out[n++] = '6';
  out[n++] = '4';
  out[n++] = letter == 'H' ? 'X' : letter == 'h' ? 'x' : 'u';
  return n;
}

// Fills rawText one whole character at a time. The first character that
// does not fit closes it: the text is cut there, never in the middle of a
// double-byte character, and nothing after a dropped character is shown.
class TextWriter {
 public:
  explicit TextWriter(char* text) : text_(text) {}
  void Put(const char* bytes, std::size_t n) {
    if (closed_ || size_ + n > kTextLimit) {
      closed_ = true;
      return;
    }
    std::memcpy(text_ + size_, bytes, n);
    size_ += n;
  }
  void Put(char c) { Put(&c, 1); }
  void Finish() { text_[size_] = '\0'; }

 private:
  char* text_;
  std::size_t size_ = 0;
  bool closed_ = false;
};

void PutHex16(TextWriter& out, std::uint64_t v) {
  for (int shift = 12; shift >= 0; shift -= 4) out.Put(kUpperHex[(v >> shift) & 0xF]);
}

void PutNumber(TextWriter& out, std::uint64_t value, std::size_t width, bool zeroPad, char letter) {
  const unsigned base = (letter == 'X' || letter == 'x') ? 16 : 10;
  const char* digitSet = letter == 'x' ? kLowerHex : kUpperHex;
  char digits[20];  // 2^64 - 1 has 20 decimal digits
  std::size_t n = 0;
  do {
    digits[n++] = digitSet[value % base];
    value /= base;
  } while (value != 0);
  for (std::size_t i = n; i < width; ++i) out.Put(zeroPad ? '0' : ' ');
  while (n != 0) out.Put(digits[--n]);
}

// Prints the template written by ParseRawFormat. Not the C library's printf:
// "I64" is a length modifier only on Windows, and the print must stay inside
// rawText without a scratch buffer.
void PrintTemplate(TextWriter& out, const char* t, const std::uint64_t (&parts)[kMaxSplit]) {
  int field = 0;
  while (*t != '\0') {
    if (IsLeadByte(static_cast<unsigned char>(*t)) && t[1] != '\0') {
      out.Put(t, 2);
      t += 2;
      continue;
    }
    if (*t != '%') {
      out.Put(*t++);
      continue;
    }
    if (*++t == '%') {
      out.Put('%');
      ++t;
      continue;
    }
    const bool zeroPad = *t == '0';
    if (zeroPad) ++t;
    // Anything wider than the text cannot show, so the width stops there.
    std::size_t width = 0;
    for (; *t >= '0' && *t <= '9'; ++t) {
      width = width * 10 + static_cast<std::size_t>(*t - '0');
      if (width > kTextLimit) width = kTextLimit;
    }
    if (t[0] == 'I' && t[1] == '6' && t[2] == '4') t += 3;
    const char letter = *t;
    if (letter == '\0') break;
    ++t;
    PutNumber(out, field < kMaxSplit ? parts[field] : 0, width, zeroPad, letter);
    ++field;
  }
}

}  // namespace

void ParseRawFormat(DriveAttribute& slot, const char* formatText, const char* modelNumber,
                    const char* sectionName) {
  slot.rawFormat[0] = '\0';
  std::int32_t count = 0;
  auto fail = [&](Fault fault) { ReportFault(fault, slot, modelNumber, sectionName, count); };

  const char* p = formatText != nullptr ? formatText : "";
  while (*p == ' ') ++p;
  std::uint64_t mask = 0;
  if (!ReadMask(p, mask)) return fail(Fault::Mask);
  slot.rawMask = mask;

  if (!TakeComma(p)) return fail(Fault::Comma);
  slot.multiplier = *p == ',' ? 1 : ReadInt32(p);

  if (!TakeComma(p)) return fail(Fault::Comma);
  count = *p == ',' ? 1 : ReadInt32(p);
  // Stored before it is judged: a refused count stays visible in the slot
  // but never takes effect, because the template stays empty.
  slot.splitCount = count;
  if (count > kMaxSplit) return fail(Fault::Count);

  for (int i = 0; i + 1 < count; ++i) {
    if (!TakeComma(p)) return fail(Fault::Comma);
    slot.splitDivisors[i] = static_cast<std::uint32_t>(ReadInt32(p));
    if (slot.splitDivisors[i] < 2) return fail(Fault::Divisor);
  }

  if (!TakeComma(p)) return fail(Fault::Comma);
  while (*p == ' ') ++p;
  if (*p != '"') return fail(Fault::Quote);
  ++p;

  char format[kTemplateLimit];
  std::size_t length = 0;
  int fields = 0;
  while (*p != '"') {
    // The largest element: "%0", 20 digits of a width, "I64" and a letter.
    char element[32];
    std::size_t size = 0;
    if (*p == '\0') return fail(Fault::Quote);
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      // Whole: a second byte of 0x5C or 0x22 is neither escape nor quote.
      element[size++] = *p++;
      element[size++] = *p++;
    } else if (IsFieldLetter(*p)) {
      const char letter = *p;
      std::size_t width = 0;
      for (; *p == letter; ++p) ++width;
      if (++fields > count) return fail(Fault::Fields);
      size = WriteConversion(element, letter, width);
    } else if (*p == '\\' && IsEscapable(p[1])) {
      element[size++] = p[1];
      p += 2;
    } else if (*p == '%') {
      element[size++] = '%';
      element[size++] = '%';
      ++p;
    } else {
      element[size++] = *p++;
    }
    if (length + size >= kTemplateLimit) return fail(Fault::Length);
    std::memcpy(format + length, element, size);
    length += size;
  }
  std::memcpy(slot.rawFormat, format, length);
  slot.rawFormat[length] = '\0';
}

std::uint64_t RenderRawValue(const DriveAttribute& slot, const std::uint8_t raw[6], bool rawHexMode,
                             char text[68]) {
  std::uint64_t value = 0;
  for (int i = 5; i >= 0; --i) value = value << 8 | raw[i];
  if (!rawHexMode) value &= slot.rawMask;
  // 0 and 1 both leave the value as it is; the product wraps at 64 bits.
  const auto factor = static_cast<std::uint32_t>(slot.multiplier);
  if (factor > 1) value *= factor;

  TextWriter out(text);
  if (rawHexMode) {
    PutHex16(out, value >> 32);
    out.Put(':');
    PutHex16(out, value >> 16);
    out.Put(':');
    PutHex16(out, value);
  } else if (slot.rawFormat[0] != '\0') {
    // The last part is the remainder of the first divisor, so the first
    // field of the pattern gets the most significant part.
    std::uint64_t parts[kMaxSplit] = {};
    const int count = slot.splitCount < kMaxSplit ? slot.splitCount : kMaxSplit;
    std::uint64_t v = value;
    for (int k = 0; k + 1 < count; ++k) {
      const std::uint64_t divisor = slot.splitDivisors[k];
      // ParseRawFormat never leaves a template beside a divisor under 2;
      // a slot filled some other way must still not divide by zero.
      if (divisor == 0) break;
      parts[count - 1 - k] = v % divisor;
      v /= divisor;
    }
    parts[0] = v;
    PrintTemplate(out, slot.rawFormat, parts);
  }
  out.Finish();
  return value;
}

}  // namespace kestrel
