// Decoding of the 512-byte identity sector (IDENTIFY DEVICE or IDENTIFY
// PACKET DEVICE: 256 little-endian words) into a drive record, and the
// checksum test every sector from a drive passes before it is used.
#pragma once

#include <cstdint>

#include "records/drive_table.h"

namespace kestrel {

// Identify word `index` (0..255) of a sector.
inline std::uint16_t IdentifyWord(const std::uint8_t* sector, int index) {
  return static_cast<std::uint16_t>(sector[2 * index] | (sector[2 * index + 1] << 8));
}

// Fills serialNumber, firmwareRevision, modelNumber, capacityText, the
// geometry, ataMajorVersion, minorVersionText and isSerialAta of `record`
// from its identify sector. Words 80 and 81 that read 0xFFFF are first set
// to 0 in the stored sector itself.
void DecodeIdentity(DriveRecord& record);

// "74.5 GB" and the like, into `out` (64 bytes).
void FormatCapacity(const std::uint8_t* identify, char out[64]);

// Adds the 512 bytes modulo 256. A sum other than 0 is reported as the
// checksum error of sector `name` of drive `drive` (exclamation icon).
// Returns the sum: 0 is a pass.
std::uint8_t TestChecksum(const std::uint8_t* sector, const char* name, int drive);

// The device-type name of a packet device, given identify word 0.
const char* DeviceTypeName(std::uint16_t word0);

// Sector names used in checksum messages.
extern const char kIdentitySectorName[];    // "ID情報"
extern const char kThresholdsSectorName[];  // "SMART属性閾値"
extern const char kDataSectorName[];        // "SMART属性値"

}  // namespace kestrel
