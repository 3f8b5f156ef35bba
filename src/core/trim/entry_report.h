#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostravex {

// How one entry of a run ended.
enum class EntryOutcome {
    Trimmed,   // cut (or, with "Only Patch, don't trim", written whole)
    Skipped,   // left alone: nothing to do or not safe to do
    Wifi,      // cut, its download-play block kept
    Dsi,       // left alone because it is DSi-enhanced and "Skip DSi roms" is on
    Restored,  // padded back to its full size
    Error,     // failed; its files are as they were
};

enum class SramPatchOutcome { Patched, NotPossible, Failed };

// What a run tells its front end about one finished entry.
struct EntryReport {
    std::string listText;                // the entry as the ROM list shows it
    bool gba = false;                    // a GBA image (else NDS)
    std::optional<std::string> archive;  // for an archive member: the archive's path
    std::optional<std::string> member;   // and the member's name in it
    EntryOutcome outcome = EntryOutcome::Error;
    std::optional<std::uint64_t> sizeBefore;  // unknown when the rom could not be read
    std::optional<std::uint64_t> sizeAfter;
    std::int64_t bytesSaved = 0;                // negative for a restored image
    std::optional<SramPatchOutcome> sramPatch;  // when a patch was tried
    std::vector<std::string> lines;             // the log lines of this entry, in order
    std::vector<std::string> notices;           // and the notices it showed
};

// The facts of a finished entry that decide its outcome.
struct EntryEnd {
    bool errorCounted = false;
    bool skipCounted = false;
    bool finishedEarly = false;  // ended without output (e.g. a failed extraction)
    bool restoring = false;
    bool hasWifi = false;
};

// The outcome from the facts and the entry's log lines.
EntryOutcome OutcomeOfEntry(const EntryEnd& end, const std::vector<std::string>& lines);

// The SRAM patch outcome the entry's log lines show, when a patch was tried.
std::optional<SramPatchOutcome> SramPatchOutcomeOf(const std::vector<std::string>& lines);

}  // namespace ostravex
