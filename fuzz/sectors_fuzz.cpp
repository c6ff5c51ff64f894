// The sectors a drive returns: an identity sector decoded, the checksum of
// each sector, the attribute slots built from a thresholds sector, and a
// run of data sectors evaluated one after the other into those slots.
//
// Input: the drive number (mod 10), a byte whose bit 0 sets the raw
// hexadecimal mode, then the identity, thresholds and up to eight data
// sectors of 512 bytes each; what the input lacks reads as zeros.
#include <cstdint>
#include <cstring>

#include "base/cp932.h"
#include "defs/definitions.h"
#include "defs/evaluate.h"
#include "fuzz/fuzz_support.h"
#include "records/drive_table.h"
#include "records/smart_sectors.h"
#include "scan/identity.h"

using namespace kestrel;
using namespace kestrel::fuzz;

namespace {

void Sector(const std::uint8_t* data, std::size_t size, std::size_t index, std::uint8_t out[512]) {
  std::memset(out, 0, 512);
  const std::size_t at = 2 + 512 * index;
  if (at < size) std::memcpy(out, data + at, size - at < 512 ? size - at : 512);
}

// TestChecksum returns the sum and reports it once when it is not 0.
void CheckSum(const std::uint8_t* sector, const char* name, int drive) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += sector[i];
  const long before = Sink().messages;
  Check(TestChecksum(sector, name, drive) == sum, "checksum is the byte sum");
  Check(Sink().messages - before == (sum != 0 ? 1 : 0), "a bad sum is reported once");
}

void CheckSlots(const DriveRecord& r, const std::uint8_t* data) {
  Check(r.attributeCount >= 0 && r.attributeCount <= kMaxAttributes, "attributeCount within 0..30");
  for (int i = 0; i < r.attributeCount; ++i) {
    const DriveAttribute& a = r.attributes[i];
    Check(a.goodness >= -100 && a.goodness <= 100, "goodness within -100..100");
    Check((a.changeBits & 0x0A) == 0, "unused change bits stay clear");
    CheckField(a.name, sizeof a.name, "name terminated");
    CheckField(a.meaning, sizeof a.meaning, "meaning terminated");
    Check(CheckField(a.rawFormat, sizeof a.rawFormat, "template terminated") < 64,
          "template shorter than 64 bytes");
    const std::size_t n = CheckField(a.rawText, sizeof a.rawText, "raw text terminated");
    Check(EndsWhole(a.rawText, n), "raw text ends on a whole character");
    if (data == nullptr) continue;
    bool listed = false;
    for (int k = 0; k < kSmartEntries; ++k) listed |= SmartAttributeAt(data, k).id == a.id;
    // A slot the drive no longer lists was not read now: a mark on it would
    // be a change logged again.
    if (!listed) {
      Check((a.changeBits & 0xF0) == 0, "a slot not in the data has no change mark");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool loaded = false;
  if (!loaded) {
    InstallServices("", "kestrel.exe /d " + DefinitionFile());
    LoadDefinitions();
    loaded = true;
  }
  if (size < 2) return 0;
  DriveTable& table = TheDriveTable();
  const int d = data[0] % kMaxDrives;
  table.rawHexMode = (data[1] & 1) != 0;
  DriveRecord& r = table.records[d];
  std::memset(&r, 0, sizeof r);

  Sector(data, size, 0, r.identify);
  CheckSum(r.identify, kIdentitySectorName, d);
  DecodeIdentity(r);
  Check(CheckField(r.serialNumber, sizeof r.serialNumber, "serial terminated") <= 20, "serial");
  CheckField(r.firmwareRevision, sizeof r.firmwareRevision, "firmware terminated");
  CheckField(r.modelNumber, sizeof r.modelNumber, "model terminated");
  CheckField(r.capacityText, sizeof r.capacityText, "capacity terminated");
  const std::size_t minor =
      CheckField(r.minorVersionText, sizeof r.minorVersionText, "minor version terminated");
  Check(EndsWhole(r.minorVersionText, minor), "minor version ends on a whole character");
  Check(r.ataMajorVersion >= 0 && r.ataMajorVersion <= 15, "major version is a bit number");
  Check(IdentifyWord(r.identify, 80) != 0xFFFF && IdentifyWord(r.identify, 81) != 0xFFFF,
        "words 80 and 81 of 0xFFFF are cleared");
  ReadDefinitionString(r.modelNumber, "Comment", r.comment, sizeof r.comment);
  CheckField(r.comment, sizeof r.comment, "comment terminated");

  Sector(data, size, 1, r.thresholds);
  CheckSum(r.thresholds, kThresholdsSectorName, d);
  BuildAttributes(d);
  CheckSlots(r, nullptr);

  const std::size_t sectors = size > 2 + 2 * 512 ? (size - 2 - 2 * 512 + 511) / 512 : 1;
  for (std::size_t k = 0; k < sectors && k < 8; ++k) {
    Sector(data, size, 2 + k, r.smartData);
    CheckSum(r.smartData, kDataSectorName, d);
    EvaluateAttributes(d);
    CheckSlots(r, r.smartData);
    Check((r.status & ~0x70Fu) == 0, "only known status bits");
    Check(r.lastEvaluated.year != 0, "the evaluation is stamped");
  }
  return 0;
}
