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
      DefineAttribute(*slot, record.modelNumber, record.transport);
      ++record.attributeCount;
    }

    std::uint8_t bits = slot->changeBits & (AttrWarning | AttrError);
    // A raw value that leaves 0 is no change: the slot starts at 0 before
    // its first reading. A defect count's first defects are one, though,
    // once the slot has been read.
    const bool counted = slot->countWarning != 0 || slot->countError != 0;
    const bool readBefore = slot->current != 0 || slot->worst != 0;
    slot->flags = entry.flags;
    if (slot->worst != 0 && slot->worst != entry.worst) bits |= WorstChanged;
    slot->worst = entry.worst;
    if (slot->current != 0 && slot->current != entry.current) {
      bits |= CurrentChanged;
    }
    slot->current = entry.current;

    char text[sizeof slot->rawText];
    std::uint64_t raw = RenderRawValue(*slot, entry.raw, table.rawHexMode, text);
    if ((slot->raw != 0 || (counted && readBefore)) && slot->raw != raw) bits |= RawChanged;
    slot->raw = raw;
    std::memcpy(slot->rawText, text, sizeof text);

    // Not judged: goodness and its level stay as they were. A goodness
    // change mark from the previous reading is not carried over, or the
    // monitor would log the same change again at every tick while the
    // value is out of range.
    const bool judged =
        slot->current != 0 && slot->current < 254 && slot->threshold != kNoThreshold;
    const bool preFailure = (slot->flags & 1) != 0;
    if (judged) {
      int g = Goodness(slot->current, slot->threshold);
      if (slot->goodness != 0 && slot->goodness != g) bits |= GoodnessChanged;
      slot->goodness = static_cast<std::int8_t>(g);
      // Limits and levels are signed goodness values: the comparison is
      // signed on purpose.
      std::int8_t errorLimit = preFailure ? table.errorLimits[slot->id] : table.errorLevel;
      std::int8_t warningLimit = preFailure ? table.warningLimits[slot->id] : table.warningLevel;
      slot->goodnessLevel = g <= errorLimit ? AttrError : g <= warningLimit ? AttrWarning : 0;
    }
    // A pre-failure attribute out of the judged range counts for nothing.
    if (preFailure && judged) {
      noteError |= slot->goodnessLevel == AttrError;
      noteWarning |= slot->goodnessLevel == AttrWarning;
    }

    // Raised levels count for the drive whatever the attribute's kind: a
    // defect count, and a value the drive's maker calls failed.
    std::uint8_t raised = 0;
    if (slot->countError != 0 && slot->raw >= slot->countError) {
      raised = AttrError;
    } else if (slot->countWarning != 0 && slot->raw >= slot->countWarning) {
      raised = AttrWarning;
    }
    if (judged && table.thresholdLevel != 0 && slot->threshold != 0 &&
        slot->current <= slot->threshold) {
      raised = table.thresholdLevel >= 2 ? AttrError
               : raised == AttrError     ? AttrError
                                         : AttrWarning;
    }
    slot->raisedLevel = raised;
    noteError |= raised == AttrError;
    noteWarning |= raised == AttrWarning;

    std::uint8_t level = slot->goodnessLevel | raised;
    if (level & AttrError) level = AttrError;
    bits &= static_cast<std::uint8_t>(~(AttrWarning | AttrError));
    slot->changeBits = bits | level;
  }

  // The drive's own verdict, from its last RETURN STATUS, is an error too.
  if (record.status & SmartFailing) noteError = true;
  record.status &= ~static_cast<std::uint32_t>(StatusWarning | StatusError);
  if (noteWarning) record.status |= StatusWarning | StatusWarningSeen;
  if (noteError) record.status |= StatusError | StatusErrorSeen;
  record.lastEvaluated = InstalledServices().env->Now();
}

}  // namespace kestrel
