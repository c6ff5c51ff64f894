// Attribute definitions: the definition file and the two limit files, the
// lookups made in them, and the attribute slots of a drive.
//
// The definition file ("smart.dat", INI, code page 932) is read once by
// LoadDefinitions and kept in memory until ReleaseDefinitions; lookups
// never touch the file again. Its sections are model numbers or leading
// parts of them ("WDC WD" covers every model that starts so), plus
// "Default Drive", "Minor Version" and "Error Level". An attribute's
// definition is "name|meaning|raw format" under the key of its id in two
// upper-case hexadecimal digits.
#pragma once

#include <cstddef>
#include <string_view>

#include "records/attribute.h"
#include "records/platform_types.h"

namespace kestrel {

// Fills the definition state of the drive table, in this order: the limit
// tables ("error.dat" and "warning.dat" of the current directory over their
// defaults 1 and 15), definitionPath (the "/d" option, else "Smart.dat"
// searched beside the executable and in the standard places, else the bare
// "smart.dat"), errorLevel and warningLevel, and the sorted sectionNames.
// Called by the scan after the table was cleared and before the lock
// exists. Reports nothing: a missing file leaves every default in place.
void LoadDefinitions();

// Whether the last LoadDefinitions read a definition file (definitionPath
// names it); false when none was found or it could not be read.
bool DefinitionsLoaded();

// Whether the definition file has a section of that name (ASCII case
// folded, double-byte characters as units). True for every name when the
// section index is empty.
bool HasSection(std::string_view name);

// Reads `key` of `section` into `out` (`size` bytes, terminator included,
// cut on a character boundary); absent or empty gives an empty text.
void ReadDefinitionString(std::string_view section, std::string_view key, char* out,
                          std::size_t size);

// Fills name, meaning and the raw-format fields of `slot`, whose id is set,
// for a drive of model `modelNumber`: from the section of the whole model
// number or of its longest leading part that defines the id, following
// "Alias" keys, else from "Default Drive", else "不明な属性". An alias
// already followed for this lookup counts as absent, so a cycle of aliases
// ends. Allocates nothing.
//
// An NVMe drive (`transport`) has the bridge's attributes: its lookup goes
// by "NVMe " and the model number and ends in section "NVMe Drive".
void DefineAttribute(DriveAttribute& slot, const char* modelNumber,
                     DriveTransport transport = DriveTransport::kAta);

// Sets up the attribute slots of drive `drive` from its thresholds sector:
// one slot per entry up to the first empty one. The caller holds the lock.
void BuildAttributes(int drive);

// Frees the definition file and the section index (at shutdown).
void ReleaseDefinitions();

}  // namespace kestrel
