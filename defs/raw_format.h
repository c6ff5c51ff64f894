// The raw-data format of an attribute definition: how a model's 48-bit raw
// counter is masked, scaled, split into parts and printed.
//
// The format reads: mask, multiplier, split count, one divisor per split
// beyond the first, then a double-quoted pattern in which runs of "#", "0",
// "H" and "h" are fields (decimal padded with spaces, decimal padded with
// zeros, upper- and lower-case hexadecimal), each as wide as its run.
#pragma once

#include <cstdint>

#include "records/attribute.h"

namespace kestrel {

// Parses the raw-data format text (everything after the second "|") into slot.
// On success it stores rawMask, multiplier, splitCount, splitDivisors and the
// print template in rawFormat. A faulty format is reported once through
// ReportMessage (question style) naming modelNumber, "(sectionName)" and the
// slot's id; rawFormat is then empty and the numbers read before the fault
// stay in the slot.
void ParseRawFormat(DriveAttribute& slot, const char* formatText, const char* modelNumber,
                    const char* sectionName);

// Returns the new raw value; writes the shown text (at most 67 bytes + NUL) into text.
// `raw` is the attribute's six raw bytes, least significant first. With
// rawHexMode the mask is not applied and the text is the 48 bits in hex.
// Allocates nothing.
std::uint64_t RenderRawValue(const DriveAttribute& slot, const std::uint8_t raw[6], bool rawHexMode,
                             char text[68]);

}  // namespace kestrel
