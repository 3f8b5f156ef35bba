#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <vector>

#include "host/entry_facts.h"
#include "romlist/rom_list_entry.h"

namespace ostravex::cli {

// The run's figures for the closing summary object: the sums of its entries.
struct RunSummary {
    std::int32_t wifiGames = 0;
    std::int32_t errors = 0;
    std::int32_t skipped = 0;
    std::int32_t processed = 0;
    std::size_t entries = 0;
    std::int64_t bytesSaved = 0;
    std::int64_t bytesAdded = 0;
    bool halted = false;

    // Counts one finished entry.
    void add(const EntryFacts& facts);
};

// `text` as valid UTF-8: unchanged when it is valid; otherwise each byte that is not part of
// a valid character becomes "\xHH" and each "\" becomes "\\", so the escaping reads one way.
std::string ValidUtf8Text(std::string_view text);

// One line of JSON (no newline) for an entry, and for the summary after the last entry.
std::string EntryJson(const EntryFacts& facts);
std::string SummaryJson(const RunSummary& summary);
// One line of JSON for a listed entry (--list), and for a header report (--info).
std::string ListEntryJson(const RomListEntry& entry);
std::string HeaderReportJson(const std::string& path, const std::vector<std::string>& lines);

}  // namespace ostravex::cli
