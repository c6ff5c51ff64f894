// Judging a drive's newest SMART data: values into the slots, change marks,
// goodness, levels, the drive's status bits and the evaluation time.
#pragma once

namespace kestrel {

// Evaluates drive `drive` (0..9) from its smartData sector. The caller holds
// the table lock. Allocates nothing.
void EvaluateAttributes(int drive);

// Goodness of current value `current` against `threshold`: 0 at the
// threshold, 100 at 253, -100 at 1, truncated toward 0.
// REQUIRES: 1 <= current <= 253, threshold < 254, current != threshold
// implies the divisor is not 0.
int Goodness(int current, int threshold);

}  // namespace kestrel
