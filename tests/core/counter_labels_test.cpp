#include "runlog/counter_labels.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace ostravex {
namespace {

TEST(CounterLabels, SavingsInMegabytesWithTwoDecimals) {
    struct Row {
        std::int64_t bytes;
        const char* separator;
        const char* text;
    };
    for (const Row& row : {
             Row{1048576, ".", "Total Savings: 1.00 MB"},
             Row{5242880, ".", "Total Savings: 5.00 MB"},
             Row{1000, ".", "Total Savings: 0.00 MB"},
             Row{0, ".", "Total Savings: 0.00 MB"},
             Row{1572864, ",", "Total Savings: 1,50 MB"},
             Row{2475008, ".", "Total Savings: 2.36 MB"},
             Row{5000LL * 1048576 * 1024, ".", "Total Savings: 5120000.00 MB"},
             Row{-1572864, ".", "Total Savings: -1.50 MB"},
             Row{1572864, "\u066B", "Total Savings: 1\u066B50 MB"},
             // Halfway between two hundredths: to the even one.
             Row{131072, ".", "Total Savings: 0.12 MB"},
             Row{393216, ".", "Total Savings: 0.38 MB"},
             Row{-131072, ".", "Total Savings: -0.12 MB"},
             Row{-1, ".", "Total Savings: -0.00 MB"},
             Row{1048575, ".", "Total Savings: 1.00 MB"},
             Row{(std::int64_t{1} << 53) + 1048576 * 3 / 2, ".", "Total Savings: 8589934593.50 MB"},
         }) {
        EXPECT_EQ(SavingsLabel(row.bytes, row.separator), row.text);
    }
}

// The megabytes are written as printf writes the double bytes / 2^20 with two decimals.
TEST(CounterLabels, SavingsRoundLikePrintf) {
    std::uint64_t seed = 1;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        // Sizes of every magnitude, and many near a halfway point.
        const int shift = static_cast<int>(seed >> 58) % 50;
        auto bytes = static_cast<std::int64_t>((seed >> 8) >> (14 + shift));
        if (i % 3 == 0) {
            bytes = (bytes | 1) * 131072;
        }
        if (i % 2 == 0) {
            bytes = -bytes;
        }
        char expected[64];
        std::snprintf(expected, sizeof expected, "Total Savings: %.2f MB",
                      static_cast<double>(bytes) / 1048576.0);
        EXPECT_EQ(SavingsLabel(bytes, "."), expected) << bytes;
    }
}

TEST(CounterLabels, ProcessedCountsOfAllEntries) {
    EXPECT_EQ(ProcessedLabel(0, 0), "Files Processed: 0/0");
    EXPECT_EQ(ProcessedLabel(7, 2000), "Files Processed: 7/2000");
    EXPECT_EQ(ProcessedLabel(2147483647, 4294967296), "Files Processed: 2147483647/4294967296");
}

}  // namespace
}  // namespace ostravex
