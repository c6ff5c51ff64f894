// Attribute definitions: the definition file and the two limit files, the
// lookups the scan makes in them, and the attribute slots of a drive.
#pragma once

#include <cstddef>
#include <string_view>

#include "defs/attribute.h"

namespace kestrel {

// Fills the definition state of the drive table: the limit tables,
// definitionPath, errorLevel, warningLevel and sectionNames. Called by the
// scan after the table was cleared and before the lock exists.
void LoadDefinitions();

// Whether the definition file has a section of that name. True for every
// name when the section index is empty.
bool HasSection(std::string_view name);

// Reads `key` of `section` of the definition file into `out` (`size` bytes,
// terminator included); an absent or empty value gives an empty text.
void ReadDefinitionString(std::string_view section, std::string_view key,
                          char* out, std::size_t size);

// Fills name, meaning and the raw-format fields of `slot` (whose id is set)
// for a drive of model `modelNumber`.
void DefineAttribute(DriveAttribute& slot, const char* modelNumber);

// Sets up the attribute slots of drive `drive` from its thresholds sector.
// The caller holds the table lock.
void BuildAttributes(int drive);

// Forgets the loaded definition file (at shutdown).
void ReleaseDefinitions();

}  // namespace kestrel
