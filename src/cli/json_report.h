#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <vector>

#include "host/entry_facts.h"
#include "romlist/rom_list_entry.h"
#include "trim/trim_run.h"

namespace ostravex::cli {

// The run's figures for the closing summary object: its counters, and how it ended.
struct RunSummary {
    RunCounters counters;  // errors include those of the search
    std::size_t entries = 0;
    bool halted = false;
    bool withDats = false;  // the DAT counts are given
};

// `text` as valid UTF-8: unchanged when it is valid; otherwise each byte that is not part of
// a valid character becomes "\xHH" and each "\" becomes "\\", so the escaping reads one way.
std::string ValidUtf8Text(std::string_view text);

// One line of JSON (no newline) for an entry, and for the summary after the last entry.
std::string EntryJson(const EntryFacts& facts);
std::string SummaryJson(const RunSummary& summary);
// One line of JSON for a listed entry (--list), and for a header report (--info).
std::string ListEntryJson(const RomListEntry& entry);
// With DATs: one line of JSON for an entry identified (--list --dat), and for the summary of
// the identification.
std::string IdentifiedEntryJson(const EntryFacts& facts);
std::string IdentificationSummaryJson(const RunSummary& summary);
std::string HeaderReportJson(const std::string& path, const std::vector<std::string>& lines);

}  // namespace ostravex::cli
