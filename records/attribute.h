// One attribute slot of a drive: the latest reading of one SMART attribute
// together with the definition that names it and renders its raw value.
#pragma once

#include <cstdint>

namespace kestrel {

// Level and change bits of DriveAttribute::changeBits. 0x02 and 0x08 are
// not used.
enum AttributeChangeBits : std::uint8_t {
  AttrWarning = 0x01,
  AttrError = 0x04,
  CurrentChanged = 0x10,
  WorstChanged = 0x20,
  GoodnessChanged = 0x40,
  RawChanged = 0x80,
};

// A threshold of 254 marks a slot whose threshold the drive did not list.
constexpr std::uint8_t kNoThreshold = 254;

struct DriveAttribute {
  std::uint8_t id;
  std::uint8_t threshold;
  std::uint8_t worst;
  std::uint8_t current;
  std::uint16_t flags;      // bit 0: pre-failure attribute
  std::uint64_t raw;        // after mask and multiplier
  std::uint8_t changeBits;  // AttributeChangeBits
  std::int8_t goodness;     // -100..100, 0 at the threshold
  char name[64 + 1];
  char meaning[256 + 1];
  char rawFormat[66];  // the print template built from the raw format
  char rawText[68];    // the raw value as shown, at most 67 bytes
  std::uint32_t splitDivisors[6];
  std::int32_t multiplier;
  std::uint64_t rawMask;
  std::int32_t splitCount;
  // Defect counts ("HH.Count" in the definition file): the raw values at
  // or above which the attribute is at warning and at error level,
  // whatever its goodness and kind; 0 never.
  std::uint64_t countWarning;
  std::uint64_t countError;
  // AttrWarning or AttrError as the goodness limits gave it, kept while
  // the value is out of the judged range.
  std::uint8_t goodnessLevel;
  // AttrWarning or AttrError from the defect count or from a current value
  // at or below a non-zero threshold (see DriveTable::thresholdLevel).
  // The attribute's level in changeBits is the higher of the two.
  std::uint8_t raisedLevel;
};

}  // namespace kestrel
