#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostravex {

// What a log line reports: a failure (an error, a rename that did not happen), a warning
// about the rom that the user should see even when only failures are shown (a bad dump),
// or anything else.
enum class LineKind { Info, Warning, Failure };

struct LogLine {
    std::string text;
    LineKind kind = LineKind::Info;
    // For a failure line whose text is fixed (users match it) and says less than what
    // happened: what did happen, for front ends that can tell it (the command line's
    // standard error). Empty when the text says it all.
    std::string cause;
    bool operator==(const LogLine&) const = default;
};

// A notice (a message box in the window): a warning that asks the user to look at the
// log, or the report of a failure.
enum class NoticeKind { Warning, Failure };

struct Notice {
    NoticeKind kind = NoticeKind::Failure;
    std::string text;
    // What happened and to which file, for a front end that can say more than the fixed
    // text (the command line); may be empty.
    std::string detail;
    bool operator==(const Notice&) const = default;
};

// How one entry of a run ended.
enum class EntryOutcome {
    Trimmed,   // cut (or, with "Only Patch, don't trim", written whole)
    Skipped,   // left alone: nothing to do or not safe to do
    Wifi,      // cut, its download-play block kept
    Dsi,       // left alone because it is DSi-enhanced and "Skip DSi roms" is on
    Restored,  // padded back to its full size
    Error,     // failed; its files are as they were
};

enum class SkipReason { Decision, Dsi };

enum class SramPatchOutcome { Patched, NotPossible, Failed };

enum class RenameOutcome { NotTried, Renamed, Failed };

// What the loaded DATs say about an entry's image.
enum class DatMatchOutcome {
    FullDump,     // the image as it is is a DAT's dump
    TrimmedDump,  // the image padded with `filler` is a DAT's dump
    BadDump,      // the size of a DAT's dump, the checksums of none
    NotInDat,
};

// A DAT entry an image is a dump of.
struct DatEntryName {
    std::string dat;   // the DAT's name, with its version when another DAT has that name
    std::string game;  // the game's name in it
    std::string rom;   // the rom's name in the game
    bool operator==(const DatEntryName&) const = default;
};

struct DatFacts {
    DatMatchOutcome match = DatMatchOutcome::NotInDat;
    std::optional<std::uint8_t> filler;  // a trimmed dump: the byte it was padded with
    std::vector<DatEntryName> entries;   // a full or trimmed dump: every entry it is
    std::uint64_t size = 0;              // the image as it was read
    std::uint64_t datSize = 0;           // the size of the dump in the DAT
    std::uint32_t crc32 = 0;             // of the image as it was read
    std::string sha1;                    // of the image as it was read, hex
    bool operator==(const DatFacts&) const = default;
};

// What a run decided and did with one entry, recorded as it happens. The log lines, the
// counters, the report to other programs and the command line's exit status all come from
// these facts.
struct EntryFacts {
    // The entry.
    std::string listText;                // as the ROM list shows it
    bool gba = false;                    // a GBA image (else NDS)
    std::optional<std::string> archive;  // for an archive member: the archive's path
    std::optional<std::string> member;   // and the member's name in it
    bool restoring = false;              // padded back instead of cut
    std::string path;                    // the rom's file, or the archive holding it
    // When the entry's file is a symbolic link whose rom is changed where it lies: the
    // absolute path of that rom, the file that changes (the link itself stays as it is).
    std::optional<std::string> linkTarget;

    // What was decided.
    std::optional<std::uint64_t> sizeBefore;   // the rom's size, once it was read
    std::optional<std::uint64_t> decidedSize;  // the size the decision gave it
    std::optional<DatFacts> dat;               // with DATs loaded: what they say
    bool wifi = false;                         // counted as a wifi game
    std::optional<SkipReason> skipped;         // counted as skipped
    std::int32_t errors = 0;                   // errors counted

    // What was done. In a dry run: what the run would have done.
    bool written = false;  // the result is in place
    // The file that holds the entry's result: where it was to go, under its new name once
    // a scene-number rename moved it (`renamedFrom` then names where it was written).
    std::optional<std::string> output;
    std::optional<std::string> renamedFrom;
    std::optional<std::uint64_t> sizeAfter;     // the size of the file that holds the rom now
    std::optional<SramPatchOutcome> sramPatch;  // when a patch was tried
    RenameOutcome rename = RenameOutcome::NotTried;
    std::string renameFailure;   // why a failed rename failed
    std::vector<LogLine> lines;  // the entry's log lines, in order
    std::vector<Notice> notices;

    EntryOutcome outcome() const {
        if (skipped) {
            return *skipped == SkipReason::Dsi ? EntryOutcome::Dsi : EntryOutcome::Skipped;
        }
        if (!written) {
            return EntryOutcome::Error;
        }
        if (restoring) {
            return EntryOutcome::Restored;
        }
        return wifi ? EntryOutcome::Wifi : EntryOutcome::Trimmed;
    }
    // Bytes by which the result is smaller than the source (negative for a restore).
    std::int64_t bytesSaved() const {
        if (!written || !sizeBefore || !sizeAfter) {
            return 0;
        }
        return static_cast<std::int64_t>(*sizeBefore) - static_cast<std::int64_t>(*sizeAfter);
    }
    // Anything that failed: a counted error, a failure notice, a scene-number rename.
    bool failed() const {
        if (errors > 0 || rename == RenameOutcome::Failed) {
            return true;
        }
        for (const Notice& notice : notices) {
            if (notice.kind == NoticeKind::Failure) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace ostravex
