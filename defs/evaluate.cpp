#include "defs/evaluate.h"

#include <cstring>

#include "defs/definitions.h"
#include "defs/raw_format.h"
#include "records/drive_table.h"
#include "records/host.h"
#include "records/smart_sectors.h"

namespace kestrel {

int Goodness(int current, int threshold) {
  int d = (current - threshold) * 100;
  if (d > 0) return d / (253 - threshold);
  if (d < 0) return d / (threshold - 1);
  return 0;
}

namespace {

DriveAttribute* FindSlot(DriveRecord& record, std::uint8_t id) {
  for (int i = 0; i < record.attributeCount; ++i) {
    if (record.attributes[i].id == id) return &record.attributes[i];
  }
  return nullptr;
}

}  // namespace

void EvaluateAttributes(int drive) {
  DriveTable& table = TheDriveTable();
  DriveRecord& record = table.records[drive];
  bool noteWarning = false;
  bool noteError = false;

  // Change marks tell of this reading only: a slot the drive no longer
  // lists keeps its last values, but its last change was logged already.
  for (int i = 0; i < record.attributeCount; ++i) {
    record.attributes[i].changeBits &= AttrWarning | AttrError;
  }

  for (int i = 0; i < kSmartEntries; ++i) {
    SmartAttribute entry = SmartAttributeAt(record.smartData, i);
    if (entry.id == 0) continue;

    DriveAttribute* slot = FindSlot(record, entry.id);
    if (slot == nullptr) {
      ReportMessage(kStyleExclamation, "ドライブ%dに閾値の存在しないSMART属性(%02X)があります.",
                    drive, entry.id);
      if (record.attributeCount >= kMaxAttributes) continue;
      slot = &record.attributes[record.attributeCount];
      // The slot may hold what another attribute left there (thresholds
      // rebuilt in another order): that reading is no change of this one.
      *slot = DriveAttribute{};
      slot->id = entry.id;
      slot->threshold = kNoThreshold;
      DefineAttribute(*slot, record.modelNumber);
      ++record.attributeCount;
    }

    std::uint8_t bits = slot->changeBits & (AttrWarning | AttrError);
    slot->flags = entry.flags;
    if (slot->worst != 0 && slot->worst != entry.worst) bits |= WorstChanged;
    slot->worst = entry.worst;
    if (slot->current != 0 && slot->current != entry.current) {
      bits |= CurrentChanged;
    }
    slot->current = entry.current;

    char text[sizeof slot->rawText];
    std::uint64_t raw = RenderRawValue(*slot, entry.raw, table.rawHexMode, text);
    if (slot->raw != 0 && slot->raw != raw) bits |= RawChanged;
    slot->raw = raw;
    std::memcpy(slot->rawText, text, sizeof text);

    // Not judged: goodness and level stay as they were. A goodness change
    // mark from the previous reading is not carried over, or the monitor
    // would log the same change again at every tick while the value is out
    // of range.
    if (slot->current == 0 || slot->current >= 254 || slot->threshold == kNoThreshold) {
      slot->changeBits = bits;
      continue;
    }

    int g = Goodness(slot->current, slot->threshold);
    if (slot->goodness != 0 && slot->goodness != g) bits |= GoodnessChanged;
    bits &= static_cast<std::uint8_t>(~(AttrWarning | AttrError));
    slot->goodness = static_cast<std::int8_t>(g);

    // Limits and levels are signed goodness values: the comparison is
    // signed on purpose.
    bool preFailure = (slot->flags & 1) != 0;
    std::int8_t errorLimit = preFailure ? table.errorLimits[slot->id] : table.errorLevel;
    std::int8_t warningLimit = preFailure ? table.warningLimits[slot->id] : table.warningLevel;
    if (g <= errorLimit) {
      bits |= AttrError;
      if (preFailure) noteError = true;
    } else if (g <= warningLimit) {
      bits |= AttrWarning;
      if (preFailure) noteWarning = true;
    }
    slot->changeBits = bits;
  }

  record.status &= ~static_cast<std::uint32_t>(StatusWarning | StatusError);
  if (noteWarning) record.status |= StatusWarning | StatusWarningSeen;
  if (noteError) record.status |= StatusError | StatusErrorSeen;
  record.lastEvaluated = InstalledServices().env->Now();
}

}  // namespace kestrel
