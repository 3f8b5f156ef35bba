#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dat/dat_index.h"
#include "datsources/dat_sources.h"

namespace ostravex::app {

// The DATs a run of the window identifies roms against, loaded from the sources the user
// set (files, zips of DATs, folders), on the engine's thread.
struct WindowDats {
    std::vector<std::string> sources;  // what was loaded
    // Null when a source failed (then `failures` says which and why) or roms cannot be
    // hashed (`hashFailure`).
    std::shared_ptr<const DatIndex> index;
    // "N games loaded from NAME, version VERSION", one line per DAT.
    std::vector<std::string> loadedLines;
    // "WARNING: SOURCE: N entries left out (first: GAME: REASON)".
    std::vector<std::string> warnings;
    std::vector<DatSourceFailure> failures;
    std::string hashFailure;  // "ERROR: Cannot hash roms: REASON", or empty

    bool usable() const { return index != nullptr; }
    // What stops a run, one line each: every failure, then the hashing's.
    std::vector<std::string> failureLines() const;
};

// Loads every source; a source that fails leaves no index, so that no run goes ahead
// without the checks the user asked for.
WindowDats LoadWindowDats(const std::vector<std::string>& sources);

// "N games loaded from NAME, version VERSION" (no version when the DAT gives none).
std::string LoadedDatLine(const DatFile& dat);

}  // namespace ostravex::app
