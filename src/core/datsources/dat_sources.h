#pragma once

#include <string>
#include <vector>

#include "dat/dat_file.h"

namespace ostravex {

// A DAT source that could not be loaded: the file, folder or zip member, and why.
struct DatSourceFailure {
    std::string source;
    std::string reason;
    bool operator==(const DatSourceFailure&) const = default;
};

// What loading the DATs a user named gave.
struct LoadedDats {
    // Every distinct DAT, in the order named, labelled where names are shared (LabelDats).
    std::vector<DatFile> dats;
    // One line for each DAT that leaves roms out: "WARNING: SOURCE: N entries left out
    // (first: GAME: REASON)".
    std::vector<std::string> warnings;
    // Every source that could not be loaded, in the order met. The DATs above are then
    // not the ones the user asked for.
    std::vector<DatSourceFailure> failures;
};

// Loads DATs as they are downloaded. Each path names
// - a DAT file (Logiqx XML, UTF-8 or UTF-16, or clrmamepro text), whatever its extension;
// - a zip archive holding DATs (every ".dat" and ".xml" member), as DAT-o-MATIC gives them;
//   a file that is a zip archive by its content is read as one whatever its name;
// - a folder: every ".dat", ".xml" and ".zip" file in it, by name order, not its subfolders.
// A DAT reached twice (the same file, or a copy of it) is kept once. A source that cannot
// be read, is no DAT, or holds no rom that can be matched is a failure; the others are
// still loaded, so that every failure is reported at once.
LoadedDats LoadDatSources(const std::vector<std::string>& paths);

// "ERROR: Cannot load DAT: SOURCE: REASON".
std::string FailureLine(const DatSourceFailure& failure);

}  // namespace ostravex
