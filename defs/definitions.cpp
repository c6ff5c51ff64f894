// The definition file is not read yet: every lookup gives its default, so
// each attribute is named "不明な属性" with no meaning and no raw format.
#include "defs/definitions.h"

#include <cstring>

#include "base/cp932.h"
#include "scan/drive_table.h"
#include "scan/smart_sectors.h"

namespace kestrel {

namespace {

std::int8_t g_errorLimits[256];
std::int8_t g_warningLimits[256];

}  // namespace

void LoadDefinitions() {
  DriveTable& table = TheDriveTable();
  std::memset(g_errorLimits, 1, sizeof g_errorLimits);
  std::memset(g_warningLimits, 15, sizeof g_warningLimits);
  table.errorLimits = g_errorLimits;
  table.warningLimits = g_warningLimits;
  CopyText(table.definitionPath, sizeof table.definitionPath, "smart.dat");
  table.errorLevel = 0;
  table.warningLevel = 5;
  table.sectionNames.storage.clear();
  table.sectionNames.sorted.clear();
}

bool HasSection(std::string_view) { return true; }

void ReadDefinitionString(std::string_view, std::string_view, char* out,
                          std::size_t size) {
  if (size > 0) out[0] = '\0';
}

void DefineAttribute(DriveAttribute& slot, const char*) {
  CopyText(slot.name, sizeof slot.name, "不明な属性");
  slot.meaning[0] = '\0';
}

void BuildAttributes(int drive) {
  DriveRecord& record = TheDriveTable().records[drive];
  record.attributeCount = 0;
  for (int i = 0; i < kSmartEntries; ++i) {
    ThresholdEntry entry = ThresholdEntryAt(record.thresholds, i);
    if (entry.id == 0) break;
    DriveAttribute& slot = record.attributes[record.attributeCount];
    slot.id = entry.id;
    slot.threshold = entry.threshold;
    DefineAttribute(slot, record.modelNumber);
    ++record.attributeCount;
  }
}

void ReleaseDefinitions() {
  DriveTable& table = TheDriveTable();
  table.sectionNames.storage = {};
  table.sectionNames.sorted = {};
}

}  // namespace kestrel
