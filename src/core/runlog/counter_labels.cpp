#include "runlog/counter_labels.h"

#include <algorithm>
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

// Built in one string: the run makes this label once per entry.
std::string ProcessedLabel(std::int32_t processedCount, std::size_t entryCount) {
    char number[24];
    std::string text;
    text.reserve(48);
    text += "Files Processed: ";
    text.append(number, std::to_chars(number, number + sizeof number, processedCount).ptr);
    text += '/';
    text.append(number, std::to_chars(number, number + sizeof number, entryCount).ptr);
    return text;
}

std::string TrimmedLabel(std::size_t entryCount) {
    return "Files Trimmed: 0/" + std::to_string(entryCount);
}

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

// Appends `value` with two decimals, its decimal point written as `decimalSeparator`.
void AppendFixed2(std::string& text, double value, const std::string& decimalSeparator) {
    char buffer[400];  // the longest double written in full, with two decimals
    const char* end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2).ptr;
    const char* dot = std::find(static_cast<const char*>(buffer), end, '.');
    text.append(static_cast<const char*>(buffer), dot);
    if (dot != end) {
        text += decimalSeparator;
        text.append(dot + 1, end);
    }
}

// `bytes` in megabytes with two decimals, exactly as the double bytes / 2^20 would be written
// (rounded to nearest, ties to even), but in integers: a run makes this label once per entry.
void AppendMegabytes(std::string& text, std::int64_t bytes, const std::string& decimalSeparator) {
    constexpr std::int64_t kExactInDouble = std::int64_t{1} << 53;
    if (bytes <= -kExactInDouble || bytes >= kExactInDouble) {
        return AppendFixed2(text, static_cast<double>(bytes) / kBytesPerMegabyte, decimalSeparator);
    }
    constexpr int kShift = 20;
    constexpr std::uint64_t kHalf = std::uint64_t{1} << (kShift - 1);
    const std::uint64_t magnitude = bytes < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(bytes)
                                              : static_cast<std::uint64_t>(bytes);
    std::uint64_t whole = magnitude >> kShift;
    const std::uint64_t scaled = (magnitude & ((std::uint64_t{1} << kShift) - 1)) * 100;
    std::uint64_t hundredths = scaled >> kShift;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << kShift) - 1);
    if (rest > kHalf || (rest == kHalf && (hundredths & 1) != 0)) {
        ++hundredths;
    }
    if (hundredths == 100) {
        ++whole;
        hundredths = 0;
    }
    if (bytes < 0) {
        text += '-';
    }
    char number[24];
    text.append(number, std::to_chars(number, number + sizeof number, whole).ptr);
    text += decimalSeparator;
    text += static_cast<char>('0' + hundredths / 10);
    text += static_cast<char>('0' + hundredths % 10);
}

std::string MegabytesLabel(const char* caption, std::int64_t bytes,
                           const std::string& decimalSeparator) {
    std::string text;
    text.reserve(48);
    text += caption;
    text += ' ';
    AppendMegabytes(text, bytes, decimalSeparator);
    text += " MB";
    return text;
}

}  // namespace

std::string SavingsLabel(std::int64_t totalSavings, const std::string& decimalSeparator) {
    return MegabytesLabel(kSavingsCaption, totalSavings, decimalSeparator);
}

std::string AddedLabel(std::int64_t totalAdded, const std::string& decimalSeparator) {
    return MegabytesLabel(kAddedCaption, totalAdded, decimalSeparator);
}

std::vector<std::string> DatCountLines(const DatCounts& counts) {
    return {"Full dumps: " + std::to_string(counts.fullDumps),
            "Trimmed dumps: " + std::to_string(counts.trimmedDumps),
            "Bad dumps: " + std::to_string(counts.badDumps),
            "In no DAT: " + std::to_string(counts.notInDat)};
}

std::string FormatFixed2(double value, const std::string& decimalSeparator) {
    std::string text;
    AppendFixed2(text, value, decimalSeparator);
    return text;
}

}  // namespace ostravex
