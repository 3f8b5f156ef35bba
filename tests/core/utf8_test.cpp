#include "io/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "io/paths.h"

namespace ostravex {
namespace {

using namespace std::string_literals;

// What the decoder reads in `text`, one word per step: "U+XXXX" for a character, "!XX"
// for an invalid byte.
std::string Readings(std::string_view text) {
    std::string shown;
    const auto add = [&](const char* format, unsigned value) {
        char word[16];
        std::snprintf(word, sizeof word, format, value);
        shown += shown.empty() ? "" : " ";
        shown += word;
    };
    ForEachUtf8(
        text, [&](std::string_view, char32_t codePoint) { add("U+%04X", codePoint); },
        [&](unsigned char byte) { add("!%02X", byte); });
    return shown;
}

TEST(Utf8, OneRuleForWhatIsACharacterAndWhatIsAnInvalidByte) {
    struct Row {
        const char* what;
        std::string text;
        const char* read;
    };
    for (const Row& row : {
             Row{"ASCII, NUL included", "a\0~\x7F"s, "U+0061 U+0000 U+007E U+007F"},
             Row{"smallest and largest of two bytes", "\xC2\x80\xDF\xBF", "U+0080 U+07FF"},
             Row{"smallest of three bytes", "\xE0\xA0\x80", "U+0800"},
             Row{"beside the surrogates", "\xED\x9F\xBF\xEE\x80\x80", "U+D7FF U+E000"},
             Row{"U+FFFD and U+FFFF", "\xEF\xBF\xBD\xEF\xBF\xBF", "U+FFFD U+FFFF"},
             Row{"smallest and largest of four bytes", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
                 "U+10000 U+10FFFF"},
             Row{"overlong of two bytes", "\xC0\xAF\xC1\xBF", "!C0 !AF !C1 !BF"},
             Row{"overlong of three bytes", "\xE0\x80\xAF\xE0\x9F\xBF", "!E0 !80 !AF !E0 !9F !BF"},
             Row{"overlong of four bytes", "\xF0\x8F\xBF\xBF", "!F0 !8F !BF !BF"},
             Row{"surrogates", "\xED\xA0\x80\xED\xBF\xBF", "!ED !A0 !80 !ED !BF !BF"},
             Row{"past U+10FFFF", "\xF4\x90\x80\x80", "!F4 !90 !80 !80"},
             Row{"lead bytes no character has", "\xF5\x80\xFE\xFF", "!F5 !80 !FE !FF"},
             Row{"stray continuation bytes", "a\x80\xBF", "U+0061 !80 !BF"},
             Row{"cut short by the end", "\xE2\x82", "!E2 !82"},
             Row{"cut short by the end, four bytes", "\xF0\x9F\x98", "!F0 !9F !98"},
             Row{"broken by ASCII",
                 "\xC3"
                 "A\xE2\x82"
                 "B",
                 "!C3 U+0041 !E2 !82 U+0042"},
             Row{"broken by another character", "\xF0\x9F\x98\xC3\xA9", "!F0 !9F !98 U+00E9"},
             Row{"Latin-1 between characters", "caf\xE9 \xC3\xA9",
                 "U+0063 U+0061 U+0066 !E9 U+0020 U+00E9"},
         }) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Readings(row.text), row.read);
        const std::string read = row.read;
        EXPECT_EQ(IsWellFormedUtf8(row.text), read.find('!') == std::string::npos);
        // Each character counts one, and so does each invalid byte (as it shows as one).
        const auto steps = static_cast<std::size_t>(std::count(read.begin(), read.end(), ' ') + 1);
        EXPECT_EQ(CharacterCount(row.text), steps);
    }
    EXPECT_TRUE(IsWellFormedUtf8(""));
    EXPECT_EQ(CharacterCount(""), 0u);
}

}  // namespace
}  // namespace ostravex
