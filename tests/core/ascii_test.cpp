#include "io/ascii.h"

#include <gtest/gtest.h>

namespace ostravex {
namespace {

TEST(Ascii, OnlyAsciiLettersChangeCase) {
    // "Ä" in UTF-8 and "É" in Latin-1 stay as they are, whatever the locale.
    const std::string mixed = "Rom_1.NDS \xC3\x84 \xC9 @[`{";
    EXPECT_EQ(AsciiLower(mixed), "rom_1.nds \xC3\x84 \xC9 @[`{");
    EXPECT_EQ(AsciiUpper(mixed), "ROM_1.NDS \xC3\x84 \xC9 @[`{");
}

TEST(Ascii, EqualIgnoringAsciiCase) {
    EXPECT_TRUE(EqualIgnoringAsciiCase("Game.NDS", "gAME.nds"));
    EXPECT_TRUE(EqualIgnoringAsciiCase("", ""));
    EXPECT_FALSE(EqualIgnoringAsciiCase("game.nds", "game.nd"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("\xC3\xA4", "\xC3\x84"));  // "ä" is not "Ä" here
    EXPECT_FALSE(EqualIgnoringAsciiCase("@", "`"));                // one apart, like 'A' and 'a'
}

}  // namespace
}  // namespace ostravex
