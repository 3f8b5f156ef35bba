#pragma once

#include <cstdint>
#include <string>

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

// A real number in fixed-point notation with two decimals and the given separator,
// without thousands separators.
std::string FormatFixed2(double value, const std::string& decimalSeparator);

}  // namespace ostravex
