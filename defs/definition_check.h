// A check of a definition file for the people who maintain it: every
// definition parsed as the scan would parse it, and the mistakes the
// lookup passes over silently.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

struct DefinitionProblem {
  int line;          // 1-based line of the key, 0 for the file itself
  std::string text;  // code page 932
};

// Loads `path` as the definition file (through the "/d" option of the
// installed environment's command line, which the caller sets) and checks
// it: each attribute key of each section defined for the model number
// equal to the section name, with every fault that the raw-format parser
// would report, and a multiplier, split count or divisor beyond a signed
// 32-bit number, which the parser would read as its largest value; an
// "Alias" naming no section; an alias cycle; a "Comment" that can never
// show (in "Default Drive", an alias target, or a section whose name is
// longer than a model number); an "HH.Count" that is not "W" or "W,E"; a
// key that is none of these. The
// sections "Error Level" and "Minor Version" hold other keys and are
// checked only for being readable. The drive table's definition state is
// replaced.
std::vector<DefinitionProblem> CheckDefinitions(const std::string& path);

}  // namespace kestrel
