#pragma once

#include <string>
#include <vector>

#include "host/entry_facts.h"

namespace ostravex::app {

// The lines "Rom Info" adds for a rom while DATs are set: what the last run that read the
// rom found (full, trimmed or bad dump, or in no DAT; every game and DAT it is a dump of;
// the filler of a trimmed dump; its CRC-32 and SHA-1 as read), or that no run has read it
// against the DATs yet.
std::vector<std::string> DatMatchReport(const DatFacts* facts);

// Why the list marks an entry the last run found a bad dump; nothing for any other.
std::string BadDumpReason(const DatFacts& facts);

}  // namespace ostravex::app
