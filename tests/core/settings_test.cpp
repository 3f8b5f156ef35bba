#include "settings/settings_groups.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "settings/main_options.h"
#include "support/rom_images.h"

namespace ostravex {
namespace {

TEST(RegFile, RoundTripsTextsNumbersAndEscapes) {
    RegFile file;
    file.set(kMainSettingsKey, "Edit1_Text", RegValue::String("C:\\roms \"new\"/"));
    file.set(kMainSettingsKey, "BlendTrackBar_Position", RegValue::Dword(255));
    file.set(kWizardSettingsKey, "BgsPath_Text", RegValue::String("line\nbreak \xC3\xA9"));
    const std::string text = file.Serialize();
    EXPECT_TRUE(
        text.starts_with("Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Ostravex]\r\n"
                         "\"Edit1_Text\"=\"C:\\\\roms \\\"new\\\"/\"\r\n"
                         "\"BlendTrackBar_Position\"=dword:000000ff\r\n"))
        << text;
    EXPECT_NE(text.find("\"BgsPath_Text\"=hex(1):6c,00,69,00"), std::string::npos) << text;

    const RegFile back = RegFile::Parse(text);
    EXPECT_EQ(back.find(kMainSettingsKey, "Edit1_Text")->text, "C:\\roms \"new\"/");
    EXPECT_EQ(back.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 255u);
    EXPECT_EQ(back.find(kWizardSettingsKey, "BgsPath_Text")->text, "line\nbreak \xC3\xA9");
}

TEST(RegFile, AcceptsLfBomContinuationsAndOtherTypes) {
    const RegFile file = RegFile::Parse(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Ostravex]\n"
        "\"A\"=\"x\"\n\"B\"=hex(1):41,00,\\\n  42,00,00,00\n\"C\"=hex:01,02\n\"D\"=dword:zz\n"
        "junk line\n");
    EXPECT_EQ(file.find(kMainSettingsKey, "A")->text, "x");
    EXPECT_EQ(file.find(kMainSettingsKey, "B")->text, "AB");
    EXPECT_EQ(file.find(kMainSettingsKey, "C")->type, RegValue::Type::Other);
    EXPECT_EQ(file.find(kMainSettingsKey, "D")->type, RegValue::Type::Other);
}

RegFile ReadWrittenBack(const RegFile& file) {
    return RegFile::Parse(file.Serialize());
}

TEST(RegFile, TextsOfAnyBytesComeBackAsTheyWere) {
    using namespace std::string_literals;
    struct Row {
        std::string text;
        bool hexForm;  // written as hex(1) rather than in quotes
    };
    for (const Row& row : {
             Row{"a\0b\x01"s, true},                     // NUL next to a control character
             Row{"line\nand \xff byte"s, true},          // invalid UTF-8 next to one
             Row{"\xc3\x01"s, true},                     // a sequence cut by a control character
             Row{"ends in NUL\0"s, true},                // the written terminator is not this one
             Row{"\0"s, true},                           // only a NUL
             Row{"latin-1 \xe9t\xe9"s, true},            // invalid UTF-8 alone
             Row{"\xed\xa0\x80 \xed\xb2\x80\t"s, true},  // surrogates spelled in UTF-8
             Row{"\xf4\x90\x80\x80 \xc0\xaf"s, true},    // past U+10FFFF, overlong
             Row{"\xef\xbf\xbd\r"s, true},               // a real U+FFFD
             Row{"\xf0\x9f\x98\x80\n\xc3\xa9"s, true},   // four-byte UTF-8
             Row{"C:\\ \"q\" \xc3\xa9\x7f"s, false},     // plain UTF-8 stays readable
         }) {
        RegFile file;
        file.set(kMainSettingsKey, "Edit1_Text", RegValue::String(row.text));
        const std::string written = file.Serialize();
        EXPECT_EQ(written.find("=hex(1):") != std::string::npos, row.hexForm) << written;
        const RegFile reread = RegFile::Parse(written);
        const RegValue* back = reread.find(kMainSettingsKey, "Edit1_Text");
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->type, RegValue::Type::String);
        EXPECT_EQ(back->text, row.text) << written;
    }
}

TEST(RegFile, ValuesOfOtherTypesSurviveEverySave) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[k]\r\n";
    for (const std::string& body : {
             std::string("\"A\"=hex(2):41,00,\\\\"),               // the file ends in "\\"
             std::string("\"A\"=hex(7):41,00,\\\r\n"),             // ends inside a continuation
             std::string("\"n=he\\x\"=raw\\\r\n\"B\"=\"b\"\r\n"),  // "=hex" only once unescaped
             std::string("\"A\"=hex:\\\r\n\\\r\n"),
         }) {
        const RegFile read = RegFile::Parse(head + body);
        const RegFile once = ReadWrittenBack(read);
        EXPECT_EQ(once, read) << body << "\nwritten:\n" << read.Serialize();
        EXPECT_EQ(ReadWrittenBack(once), read) << body;
    }
    const RegFile named = RegFile::Parse(head + "\"n=he\\x\"=raw\\\r\n\"B\"=\"b\"\r\n");
    ASSERT_NE(ReadWrittenBack(named).find("k", "B"), nullptr);
}

// Pieces that the reader and writer treat specially, for the generated cases below.
std::string RandomText(std::mt19937& random, bool allowLineFeed) {
    using namespace std::string_view_literals;
    // clang-format off
    static constexpr std::string_view kPieces[] = {
        "\0"sv, "\r", "\n", "\t", "\\", "\"", "=", "a", " ", "\x7f", "\xc3\xa9", "\xe2\x82\xac",
        "\xf0\x9f\x98\x80", "\xed\xa0\x80", "\xed\xb2\x80", "\xc3", "\x80", "\xff", "\xef\xbf\xbd",
        "hex", "hex(1):", "hex:", "dword:", "00,", "41,00,", "[", "]", ";", "\xef\xbb\xbf"};
    // clang-format on
    std::string text;
    const int pieces = std::uniform_int_distribution<int>(0, 8)(random);
    for (int i = 0; i < pieces; ++i) {
        if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
            text += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        } else {
            text += kPieces[std::uniform_int_distribution<std::size_t>(
                0, std::size(kPieces) - 1)(random)];
        }
    }
    if (!allowLineFeed) {
        std::erase(text, '\n');
    }
    return text;
}

TEST(RegFile, GeneratedValuesComeBackAsTheyWere) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        RegFile file;
        const int values = std::uniform_int_distribution<int>(1, 4)(random);
        for (int i = 0; i < values; ++i) {
            const std::string key = std::uniform_int_distribution<int>(0, 1)(random)
                                        ? std::string(kMainSettingsKey)
                                        : RandomText(random, false);
            const std::string name = RandomText(random, false);
            if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
                file.set(key, name, RegValue::Dword(static_cast<std::uint32_t>(random())));
            } else {
                file.set(key, name, RegValue::String(RandomText(random, true)));
            }
        }
        ASSERT_EQ(ReadWrittenBack(file), file) << file.Serialize();
    }
}

TEST(RegFile, GeneratedFilesAreWrittenBackAsTheyWereRead) {
    std::mt19937 random(1210);
    for (int round = 0; round < 3000; ++round) {
        std::string content = "[k]\r\n";
        const int lines = std::uniform_int_distribution<int>(1, 5)(random);
        for (int i = 0; i < lines; ++i) {
            content += "\"" + RandomText(random, false) + "\"=" + RandomText(random, false) +
                       (std::uniform_int_distribution<int>(0, 1)(random) ? "\\" : "") + "\r\n";
        }
        const RegFile read = RegFile::Parse(content);
        ASSERT_EQ(ReadWrittenBack(read), read) << content;
    }
}

TEST(SettingsReadRules, BooleansAndNumbers) {
    struct Row {
        RegValue value;
        std::optional<bool> boolean;
        std::optional<std::int32_t> number;
    };
    for (const Row& row : {
             Row{RegValue::String("TRUE"), true, std::nullopt},
             Row{RegValue::String("yes"), true, std::nullopt},
             Row{RegValue::String("Y"), true, std::nullopt},
             Row{RegValue::String("false"), false, std::nullopt},
             Row{RegValue::String("n"), false, std::nullopt},
             Row{RegValue::String("1"), true, 1},
             Row{RegValue::String("0"), false, 0},
             Row{RegValue::String("-7"), true, -7},
             Row{RegValue::String("maybe"), std::nullopt, std::nullopt},
             Row{RegValue::String(""), std::nullopt, std::nullopt},
             Row{RegValue::Dword(300), true, 300},
             Row{RegValue::Dword(0xFFFFFFFF), true, -1},
         }) {
        EXPECT_EQ(ReadBoolean(row.value), row.boolean) << row.value.text;
        EXPECT_EQ(ReadNumber(row.value), row.number) << row.value.text;
    }
}

TEST(SettingsGroups, RestoreAppliesReadableValuesInTableOrder) {
    RegFile file;
    file.set(kMainSettingsKey, "SkipDSi_Checked", RegValue::String("yes"));
    file.set(kMainSettingsKey, "Edit1_Text", RegValue::String("/out/"));
    file.set(kMainSettingsKey, "SramP_Checked", RegValue::String("perhaps"));
    file.set(kMainSettingsKey, "BlendTrackBar_Position", RegValue::String("50"));
    file.set("HKEY_CURRENT_USER\\Software\\Ostravex", "OnlyPatch_Checked",
             RegValue::String("TRUE"));
    std::vector<std::string> applied;
    EXPECT_TRUE(RestoreSettingsGroup(file, kMainSettingsKey, kMainSettings,
                                     [&](const StoredSetting& setting, const SettingValue&) {
                                         applied.emplace_back(setting.name);
                                     }));
    EXPECT_EQ(applied, (std::vector<std::string>{"Edit1_Text", "BlendTrackBar_Position",
                                                 "SkipDSi_Checked"}));
}

TEST(SettingsGroups, NegativeFormVersionRestoresNothing) {
    RegFile file;
    file.set(kMainSettingsKey, "FormVersion", RegValue::Dword(0xFFFFFFFF));
    file.set(kMainSettingsKey, "SkipDSi_Checked", RegValue::String("TRUE"));
    int applied = 0;
    EXPECT_FALSE(
        RestoreSettingsGroup(file, kMainSettingsKey, kMainSettings,
                             [&](const StoredSetting&, const SettingValue&) { ++applied; }));
    EXPECT_EQ(applied, 0);
}

TEST(SettingsGroups, SaveWritesEveryValueAndKeepsTheOtherGroup) {
    testing::TempDir dir;
    const std::string path = dir.file("deep/er/settings.reg");
    RegFile file;
    file.set(kWizardSettingsKey, "BgsPath_Text", RegValue::String("/pictures/"));
    SaveSettingsGroup(file, kMainSettingsKey, kMainSettings,
                      [](const StoredSetting& setting) -> SettingValue {
                          switch (setting.kind) {
                              case SettingKind::Text:
                                  return std::string("t");
                              case SettingKind::Boolean:
                                  return setting.name == "ModeOverwrite_Checked";
                              case SettingKind::Number:
                                  return std::int32_t{255};
                          }
                          return std::string();
                      });
    ASSERT_TRUE(SaveSettingsFile(path, file).ok());

    RegFile back;
    ASSERT_TRUE(LoadSettingsFile(path, back).ok());
    EXPECT_EQ(back.find(kMainSettingsKey, "FormVersion")->type, RegValue::Type::Dword);
    EXPECT_EQ(back.find(kMainSettingsKey, "ModeOverwrite_Checked")->text, "TRUE");
    EXPECT_EQ(back.find(kMainSettingsKey, "SkipDSi_Checked")->text, "FALSE");
    EXPECT_EQ(back.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 255u);
    EXPECT_EQ(back.find(kWizardSettingsKey, "BgsPath_Text")->text, "/pictures/");
    const std::string text = back.Serialize();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 + 21 + 2 + 1);
    EXPECT_EQ(testing::ListFolder(dir.file("deep/er")), std::vector<std::string>{"settings.reg"});
}

TEST(SettingsGroups, AMissingStoreIsEmptyAndAnUnwritableOneFails) {
    testing::TempDir dir;
    RegFile file;
    EXPECT_TRUE(LoadSettingsFile(dir.file("none.reg"), file).ok());
    EXPECT_FALSE(file.hasKey(kMainSettingsKey));
    testing::WriteFile(dir.file("blocker"), testing::Bytes(1, 0));
    EXPECT_FALSE(SaveSettingsFile(dir.file("blocker/settings.reg"), file).ok());
}

}  // namespace
}  // namespace ostravex
