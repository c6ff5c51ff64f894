// Layouts of the two SMART sectors a drive returns. Both are 512 bytes: a
// 2-byte revision, thirty 12-byte entries from byte 2 to byte 361, and the
// checksum in byte 511. Entries are read byte by byte, so nothing here
// depends on the host's byte order or alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

constexpr std::size_t kSectorSize = 512;
constexpr int kSmartEntries = 30;
constexpr std::size_t kSmartEntrySize = 12;
constexpr std::size_t kSmartEntriesOffset = 2;

// One entry of the SMART data sector, decoded.
struct SmartAttribute {
  std::uint8_t id;      // 0: empty entry
  std::uint16_t flags;  // little-endian in the sector; bit 0 pre-failure
  std::uint8_t current;
  std::uint8_t worst;
  std::uint8_t raw[6];  // little-endian 48-bit raw value
};

// One entry of the SMART thresholds sector, decoded.
struct ThresholdEntry {
  std::uint8_t id;  // 0: empty entry
  std::uint8_t threshold;
};

// Entry i (0..29) of a data sector.
inline SmartAttribute SmartAttributeAt(const std::uint8_t* sector, int i) {
  const std::uint8_t* e = sector + kSmartEntriesOffset + kSmartEntrySize * i;
  SmartAttribute a;
  a.id = e[0];
  a.flags = static_cast<std::uint16_t>(e[1] | (e[2] << 8));
  a.current = e[3];
  a.worst = e[4];
  for (int k = 0; k < 6; ++k) a.raw[k] = e[5 + k];
  return a;
}

// Entry i (0..29) of a thresholds sector.
inline ThresholdEntry ThresholdEntryAt(const std::uint8_t* sector, int i) {
  const std::uint8_t* e = sector + kSmartEntriesOffset + kSmartEntrySize * i;
  return ThresholdEntry{e[0], e[1]};
}

// The six raw bytes as a number.
inline std::uint64_t RawValue48(const std::uint8_t raw[6]) {
  std::uint64_t v = 0;
  for (int k = 5; k >= 0; --k) v = (v << 8) | raw[k];
  return v;
}

}  // namespace kestrel
