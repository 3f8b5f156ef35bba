#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostravex {

// What a decision line does besides being logged.
enum class VerdictLine {
    Note,     // a log line only
    Bricker,  // a log line and the bricker notice
    Wifi,     // a log line, counted as a wifi game
    Skip,     // a log line, counted as skipped; the entry is finished
    DsiSkip,  // the same, because the image is DSi-enhanced and "Skip DSi roms" is on
    Error,    // a log line, counted as an error; the entry is finished
};

struct VerdictMessage {
    VerdictLine kind;
    std::string text;  // the fixed text; the rom's name follows it in the log
};

// The decision about one image: the lines to report, in order, and the cut size unless the
// last line finished the entry.
struct CutVerdict {
    std::vector<VerdictMessage> messages;
    std::optional<std::int64_t> cutSize;
    bool hasWifi = false;
    // The image's header checksum is wrong: the file must not be changed in any way, its
    // name included (no scene-number rename either).
    bool headerMismatch = false;
    // A restore's size is a guess from the image's own size (a GBA image says nothing of
    // its cartridge): its line says so.
    bool sizeAssumed = false;

    void note(VerdictLine kind, std::string text) { messages.push_back({kind, std::move(text)}); }
    CutVerdict& finish(VerdictLine kind, std::string text) {
        note(kind, std::move(text));
        cutSize.reset();
        return *this;
    }
};

}  // namespace ostravex
