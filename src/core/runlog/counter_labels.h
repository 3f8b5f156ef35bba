#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostravex {

// Captions of the counter labels before a run has counted anything.
inline constexpr const char* kWifiCaption = "Wifi games:";
inline constexpr const char* kErrorsCaption = "Errors:";
inline constexpr const char* kSkippedCaption = "Files skipped:";
inline constexpr const char* kProcessedCaption = "Files Processed:";
inline constexpr const char* kSavingsCaption = "Total Savings:";
// The savings label of a restore run, which adds bytes instead.
inline constexpr const char* kAddedCaption = "Total Added:";

std::string WifiLabel(std::int32_t wifiCount);
std::string ErrorsLabel(std::int32_t errorCount);
std::string SkippedLabel(std::int32_t skippedCount);
// During a run: entries finished so far of all entries.
std::string ProcessedLabel(std::int32_t processedCount, std::size_t entryCount);
// After a scan or drop: the size of the ROM list.
std::string TrimmedLabel(std::size_t entryCount);
std::string SavingsLabel(std::int64_t totalSavings, const std::string& decimalSeparator);
std::string AddedLabel(std::int64_t totalAdded, const std::string& decimalSeparator);

// How many of a run's entries the DATs found to be each kind of dump. An entry that could
// not be read counts in none.
struct DatCounts {
    std::int32_t fullDumps = 0;
    std::int32_t trimmedDumps = 0;
    std::int32_t badDumps = 0;
    std::int32_t notInDat = 0;
    bool operator==(const DatCounts&) const = default;
};

// The counts of a run with DATs, one line each, shown after the five counters:
// "Full dumps: N", "Trimmed dumps: N", "Bad dumps: N", "In no DAT: N".
std::vector<std::string> DatCountLines(const DatCounts& counts);

// A real number in fixed-point notation with two decimals and the given separator,
// without thousands separators.
std::string FormatFixed2(double value, const std::string& decimalSeparator);

}  // namespace ostravex
