#include "runlog/counter_labels.h"

#include <gtest/gtest.h>

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
         }) {
        EXPECT_EQ(SavingsLabel(row.bytes, row.separator), row.text);
    }
}

}  // namespace
}  // namespace ostravex
