#include "scan/identity.h"

#include <cstdio>
#include <cstring>

#include "base/cp932.h"
#include "defs/definitions.h"
#include "records/smart_sectors.h"

namespace kestrel {

const char kIdentitySectorName[] = "ID情報";
const char kThresholdsSectorName[] = "SMART属性閾値";
const char kDataSectorName[] = "SMART属性値";

namespace {

// Identity texts are stored two characters per word, the first in the
// high byte. `chars` is the field width: 20, 8 or 40.
void DecodeIdentityText(const std::uint8_t* identify, int firstWord, int chars, char* out,
                        std::size_t outSize) {
  char buffer[40 + 1];
  for (int i = 0; i < chars / 2; ++i) {
    std::uint16_t w = IdentifyWord(identify, firstWord + i);
    buffer[2 * i] = static_cast<char>(w >> 8);
    buffer[2 * i + 1] = static_cast<char>(w & 0xFF);
  }
  buffer[chars] = '\0';
  // Trailing blanks go only when the field's last character is a blank;
  // a field padded with 0 bytes keeps the blanks before its first 0.
  if (buffer[chars - 1] == ' ') {
    int end = chars;
    while (end > 0 && buffer[end - 1] == ' ') --end;
    buffer[end] = '\0';
  }
  const char* start = buffer;
  while (*start == ' ') ++start;
  CopyText(out, outSize, start);
}

int HighestVersionBit(std::uint16_t word80) {
  for (int bit = 15; bit >= 1; --bit) {
    if (word80 & (1u << bit)) return bit;
  }
  return 0;
}

// Writes `value` with "," between groups of three digits; 0 gives nothing.
void AppendGroupedDigits(std::uint64_t value, char* out, std::size_t* len) {
  char digits[24];
  int n = 0;
  while (value > 0) {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  for (int i = n - 1; i >= 0; --i) {
    out[(*len)++] = digits[i];
    if (i > 0 && i % 3 == 0) out[(*len)++] = ',';
  }
}

const char* const kDeviceTypeNames[17] = {
    "Direct-access (disk)",
    "Sequential-access (tape)",
    "Printer",
    "Processor",
    "Write-once (optical disk)",
    "CD/DVD",
    "Scanner",
    "Optical memory (optical disk)",
    "Medium changer",
    "Communications",
    "Graphic arts pre-press (10)",
    "Graphic arts pre-press (11)",
    "Array controller",
    "Enclosure services",
    "Reduced block command (simplified disk)",
    "Optical card reader/writer",
    "Reserved",
};

}  // namespace

void FormatCapacity(const std::uint8_t* identify, char out[64]) {
  std::uint64_t sectors = 0;
  if (IdentifyWord(identify, 49) & (1u << 9)) {
    sectors = (static_cast<std::uint64_t>(IdentifyWord(identify, 61)) << 16 |
               IdentifyWord(identify, 60)) &
              0x0FFFFFFFu;
  }
  std::uint16_t w83 = IdentifyWord(identify, 83);
  if ((w83 & 0xC000) == 0x4000 && (w83 & (1u << 10))) {
    std::uint64_t sectors48 = 0;
    for (int w = 103; w >= 100; --w) {
      sectors48 = (sectors48 << 16) | IdentifyWord(identify, w);
    }
    if (sectors48 > sectors) sectors = sectors48;
  }
  // A 48-bit sector count times 512 still fits in 64 bits.
  std::uint64_t tenths = sectors * 512 / 107374182;
  std::size_t len = 0;
  AppendGroupedDigits(tenths / 10, out, &len);
  out[len++] = '.';
  out[len++] = static_cast<char>('0' + tenths % 10);
  std::memcpy(out + len, " GB", 4);
}

void DecodeIdentity(DriveRecord& record) {
  std::uint8_t* id = record.identify;
  for (int w : {80, 81}) {
    if (IdentifyWord(id, w) == 0xFFFF) id[2 * w] = id[2 * w + 1] = 0;
  }
  DecodeIdentityText(id, 10, 20, record.serialNumber, sizeof record.serialNumber);
  DecodeIdentityText(id, 23, 8, record.firmwareRevision, sizeof record.firmwareRevision);
  DecodeIdentityText(id, 27, 40, record.modelNumber, sizeof record.modelNumber);
  FormatCapacity(id, record.capacityText);
  record.cylinders = IdentifyWord(id, 1);
  record.heads = IdentifyWord(id, 3);
  record.sectorsPerTrack = IdentifyWord(id, 6);
  record.ataMajorVersion = HighestVersionBit(IdentifyWord(id, 80));

  char key[8];
  std::snprintf(key, sizeof key, "%04hX", IdentifyWord(id, 81));
  ReadDefinitionString("Minor Version", key, record.minorVersionText,
                       sizeof record.minorVersionText);

  std::uint16_t w222 = IdentifyWord(id, 222);
  if (w222 != 0 && w222 != 0xFFFF && (w222 >> 12) == 1) record.isSerialAta = 1;
}

std::uint8_t TestChecksum(const std::uint8_t* sector, const char* name, int drive) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < kSectorSize; ++i) sum += sector[i];
  if (sum != 0) {
    ReportMessage(kStyleExclamation, "ドライブ%dの%sチェックサムエラーです.", drive, name);
  }
  return sum;
}

const char* DeviceTypeName(std::uint16_t word0) {
  int type = (word0 >> 8) & 0x1F;
  return kDeviceTypeNames[type < 16 ? type : 16];
}

}  // namespace kestrel
