#include "settings/settings_groups.h"

#include <gtest/gtest.h>

#include <map>

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
