#include "runlog/counter_labels.h"

#include <charconv>

namespace ostravex {

std::string WifiLabel(std::int32_t wifiCount) {
    return "Wifi games: " + std::to_string(wifiCount);
}

std::string ErrorsLabel(std::int32_t errorCount) {
    return "Errors: " + std::to_string(errorCount);
}

std::string SkippedLabel(std::int32_t skippedCount) {
    return "Files skipped: " + std::to_string(skippedCount);
}

std::string ProcessedLabel(std::int32_t processedCount, std::size_t entryCount) {
    return "Files Processed: " + std::to_string(processedCount) + "/" + std::to_string(entryCount);
}

std::string TrimmedLabel(std::size_t entryCount) {
    return "Files Trimmed: 0/" + std::to_string(entryCount);
}

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

std::string MegabytesLabel(const char* caption, std::int64_t bytes,
                           const std::string& decimalSeparator) {
    return std::string(caption) + " " +
           FormatFixed2(static_cast<double>(bytes) / kBytesPerMegabyte, decimalSeparator) + " MB";
}

}  // namespace

std::string SavingsLabel(std::int64_t totalSavings, const std::string& decimalSeparator) {
    return MegabytesLabel(kSavingsCaption, totalSavings, decimalSeparator);
}

std::string AddedLabel(std::int64_t totalAdded, const std::string& decimalSeparator) {
    return MegabytesLabel(kAddedCaption, totalAdded, decimalSeparator);
}

std::string FormatFixed2(double value, const std::string& decimalSeparator) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text(buffer, result.ptr);
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text.replace(dot, 1, decimalSeparator);
    }
    return text;
}

}  // namespace ostravex
