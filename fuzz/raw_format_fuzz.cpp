// The raw-data format language: a format text parsed into a slot and raw
// values rendered through it, with and without the raw hexadecimal mode;
// then the same render through a slot whose fields are taken from the
// input as they are, as a slot filled some other way would hold them.
//
// Input: six raw bytes, a byte of which bit 0 chooses the hexadecimal
// mode, then the format text (up to its first NUL byte).
#include <cstdint>
#include <cstring>
#include <string>

#include "base/cp932.h"
#include "defs/raw_format.h"
#include "fuzz/fuzz_support.h"
#include "records/drive_table.h"

using namespace kestrel;
using namespace kestrel::fuzz;

namespace {

std::uint64_t Raw48(const std::uint8_t raw[6]) {
  std::uint64_t v = 0;
  for (int i = 5; i >= 0; --i) v = v << 8 | raw[i];
  return v;
}

// Renders `raw` through `slot` in both modes and checks the text and value.
void Render(const DriveAttribute& slot, const std::uint8_t raw[6], bool wholeTemplate) {
  for (bool hex : {false, true}) {
    char text[68];
    std::memset(text, 'x', sizeof text);
    const std::uint64_t value = RenderRawValue(slot, raw, hex, text);
    const std::size_t n = CheckField(text, sizeof text, "raw text terminated within 68 bytes");
    const auto factor = static_cast<std::uint32_t>(slot.multiplier);
    const std::uint64_t masked = hex ? Raw48(raw) : Raw48(raw) & slot.rawMask;
    Check(value == (factor > 1 ? masked * factor : masked), "raw value is masked and scaled");
    if (hex) {
      Check(n == 14 && text[4] == ':' && text[9] == ':', "hexadecimal text is XXXX:XXXX:XXXX");
    } else if (wholeTemplate) {
      // A template of whole characters gives a text of whole characters,
      // cut or not.
      Check(EndsWhole(text, n), "raw text ends on a whole character");
    }
    if (slot.rawFormat[0] == '\0' && !hex) Check(n == 0, "no template, no text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool installed = false;
  if (!installed) {
    InstallServices("", "kestrel.exe");
    installed = true;
  }
  if (size < 7) return 0;
  std::uint8_t raw[6];
  std::memcpy(raw, data, 6);
  const std::string format(reinterpret_cast<const char*>(data) + 7, size - 7);

  DriveAttribute slot{};
  slot.id = data[6];
  const long before = Sink().messages;
  ParseRawFormat(slot, format.c_str(), "MODEL", "SECTION");
  const long reported = Sink().messages - before;
  const std::size_t length =
      CheckField(slot.rawFormat, sizeof slot.rawFormat, "template terminated");
  Check(length < 64, "template shorter than 64 bytes");
  Check(reported <= 1, "a faulty format is reported once");
  if (length != 0) {
    Check(reported == 0, "an accepted format is not reported");
    for (int k = 0; k + 1 < slot.splitCount && k < 6; ++k) {
      Check(slot.splitDivisors[k] >= 2, "accepted divisors are 2 or more");
    }
    Check(EndsWhole(slot.rawFormat, length), "template ends on a whole character");
  }
  Render(slot, raw, true);

  // The same bytes as the slot's fields: any template, divisors and count.
  DriveAttribute wild{};
  CopyText(wild.rawFormat, sizeof wild.rawFormat, format);
  for (int k = 0; k < 6; ++k) wild.splitDivisors[k] = raw[k] % 4;
  wild.splitCount = static_cast<std::int8_t>(data[6]);
  wild.multiplier = static_cast<std::int32_t>(Raw48(raw) >> 16);
  wild.rawMask = ~Raw48(raw);
  // Its template need not be made of whole elements: a "%" may take the
  // lead byte of a double-byte character for its letter, so only the
  // bounds are checked.
  Render(wild, raw, false);
  return 0;
}
