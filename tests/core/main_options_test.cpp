#include "settings/main_options.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/rom_images.h"

namespace ostravex {
namespace {

using StoredValues = std::vector<std::pair<std::string, RegValue>>;

RegFile Store(const StoredValues& values) {
    RegFile file;
    for (const auto& [name, value] : values) {
        file.set(kMainSettingsKey, name, value);
    }
    return file;
}

RegValue Text(const char* text) {
    return RegValue::String(text);
}

TEST(MainOptions, AnEmptyStoreGivesTheWindowsInitialState) {
    EXPECT_EQ(RestoreMainOptions(RegFile()), MainOptions());
    const MainOptions defaults;
    EXPECT_EQ(defaults.fileMode, FileMode::Overwrite);
    EXPECT_TRUE(defaults.recursiveScan && defaults.scanArchives && defaults.checkNewVersion);
    EXPECT_EQ(defaults.opacity, 255);
    EXPECT_EQ(defaults.lastScannedFolder, "/");
}

// The three file options are stored separately; the window sees one of them checked.
TEST(MainOptions, FileOptionsResolveInTableOrder) {
    struct Row {
        const char* behaviour;
        StoredValues stored;  // in the order they stand in the file
        FileMode expected;
    };
    const Row rows[] = {
        {"the last one stored TRUE wins",
         {{"ModeOverwrite_Checked", Text("TRUE")}, {"ModeBackup_Checked", Text("TRUE")}},
         FileMode::Backup},
        {"table order, not file order",
         {{"ModeBackup_Checked", Text("TRUE")}, {"ModeOverwrite_Checked", Text("TRUE")}},
         FileMode::Backup},
        {"a later FALSE clears only its own mark",
         {{"ModeBackup_Checked", Text("TRUE")}, {"ModeFolder_Checked", Text("FALSE")}},
         FileMode::Backup},
        {"FALSE on the chosen one leaves none: back to Overwrite",
         {{"ModeOverwrite_Checked", Text("TRUE")},
          {"ModeBackup_Checked", Text("TRUE")},
          {"ModeBackup_Checked", Text("FALSE")}},
         FileMode::Overwrite},
        {"all FALSE: Overwrite",
         {{"ModeOverwrite_Checked", Text("FALSE")},
          {"ModeBackup_Checked", Text("FALSE")},
          {"ModeFolder_Checked", Text("FALSE")}},
         FileMode::Overwrite},
        {"Overwrite FALSE alone: Overwrite",
         {{"ModeOverwrite_Checked", Text("no")}},
         FileMode::Overwrite},
        {"an unreadable value changes nothing",
         {{"ModeBackup_Checked", Text("TRUE")}, {"ModeOverwrite_Checked", Text("maybe")}},
         FileMode::Backup},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RestoreMainOptions(Store(row.stored)).fileMode, row.expected) << row.behaviour;
    }
}

TEST(MainOptions, AllThreeTrueChoosesTheFolderWhenItExists) {
    testing::TempDir dir;
    const MainOptions options =
        RestoreMainOptions(Store({{"ModeFolder_Checked", Text("TRUE")},
                                  {"ModeBackup_Checked", Text("TRUE")},
                                  {"ModeOverwrite_Checked", Text("TRUE")},
                                  {"Edit1_Text", Text(dir.path().c_str())}}));
    EXPECT_EQ(options.fileMode, FileMode::Folder);
    EXPECT_EQ(options.outputFolder, dir.path());
}

TEST(MainOptions, OutputFolderRule) {
    testing::TempDir dir;
    const std::string picked = dir.subfolder("picked");
    struct Row {
        const char* behaviour;
        std::string stored;                 // Edit1_Text
        std::optional<std::string> answer;  // of the folder question; nothing: cancelled
        FileMode expectedMode;
        std::string expectedFolder;
        int expectedQuestions;
    };
    const Row rows[] = {
        {"an existing folder is kept", picked, std::nullopt, FileMode::Folder, picked, 0},
        {"a folder that is gone: Overwrite", dir.file("gone/"), picked, FileMode::Overwrite, "", 0},
        {"empty: the picked folder is kept", "", picked, FileMode::Folder, picked, 1},
        {"empty, question cancelled: Overwrite", "", std::nullopt, FileMode::Overwrite, "", 1},
        {"empty, picked folder gone: Overwrite", "", dir.file("gone/"), FileMode::Overwrite, "", 1},
    };
    for (const Row& row : rows) {
        int questions = 0;
        const MainOptions options =
            RestoreMainOptions(Store({{"Edit1_Text", RegValue::String(row.stored)},
                                      {"ModeFolder_Checked", Text("TRUE")}}),
                               [&] {
                                   ++questions;
                                   return row.answer;
                               });
        EXPECT_EQ(options.fileMode, row.expectedMode) << row.behaviour;
        EXPECT_EQ(options.outputFolder, row.expectedFolder) << row.behaviour;
        EXPECT_EQ(questions, row.expectedQuestions) << row.behaviour;
    }
}

TEST(MainOptions, NoQuestionUnlessTheFolderOptionIsChosen) {
    int questions = 0;
    const AskFolder ask = [&] {
        ++questions;
        return std::optional<std::string>("/");
    };
    RestoreMainOptions(Store({{"ModeBackup_Checked", Text("TRUE")}}), ask);
    RestoreMainOptions(Store({{"ModeFolder_Checked", Text("TRUE")},
                              {"ModeBackup_Checked", Text("FALSE")},
                              {"FormVersion", RegValue::Dword(0xFFFFFFFF)}}),
                       ask);
    EXPECT_EQ(questions, 0);
}

TEST(MainOptions, OpacityIsClamped) {
    const std::pair<RegValue, std::int32_t> rows[] = {
        {Text("50"), 100},           {Text("300"), 255},
        {RegValue::Dword(180), 180}, {RegValue::Dword(0xFFFFFFFF), 100},
        {Text("many"), 255},
    };
    for (const auto& [stored, expected] : rows) {
        EXPECT_EQ(RestoreMainOptions(Store({{"BlendTrackBar_Position", stored}})).opacity, expected)
            << stored.text << stored.dword;
    }
}

TEST(MainOptions, AlwaysOnTopIsItsOwnValue) {
    const MainOptions onTop =
        RestoreMainOptions(Store({{"TopMostWindow1_AlwaysOnTop", Text("TRUE")}}));
    EXPECT_TRUE(onTop.alwaysOnTop);
    EXPECT_FALSE(onTop.alwaysOnTopButtonDown);
    const MainOptions buttonOnly = RestoreMainOptions(Store({{"TopWind_Down", Text("y")}}));
    EXPECT_TRUE(buttonOnly.alwaysOnTopButtonDown);
    EXPECT_FALSE(buttonOnly.alwaysOnTop);
}

TEST(MainOptions, NegativeFormVersionRestoresNothing) {
    EXPECT_EQ(RestoreMainOptions(Store({{"FormVersion", RegValue::Dword(0xFFFFFFFF)},
                                        {"SkipDSi_Checked", Text("TRUE")},
                                        {"ModeOverwrite_Checked", Text("FALSE")}})),
              MainOptions());
}

TEST(MainOptions, SaveAndRestoreRoundTrip) {
    testing::TempDir dir;
    MainOptions options;
    options.outputFolder = dir.path();
    options.fileMode = FileMode::Folder;
    options.recursiveScan = false;
    options.scanArchives = false;
    options.processSelected = true;
    options.lastScannedFolder = "/roms/with \"quotes\" and \xC3\xA9/";
    options.alwaysOnTopButtonDown = true;
    options.alwaysOnTop = true;
    options.alternateBackgrounds = true;
    options.checkNewVersion = false;
    options.removeSceneNumbers = true;
    options.disableBackground = true;
    options.opacity = 101;
    options.sramPatch = true;
    options.onlyPatch = true;
    options.dontOverwrite = true;
    options.useListView = true;
    options.skipDsi = true;

    RegFile file;
    SaveMainOptions(file, options);
    const RegFile back = RegFile::Parse(file.Serialize());
    EXPECT_EQ(RestoreMainOptions(back), options);

    EXPECT_EQ(back.find(kMainSettingsKey, "FormVersion")->type, RegValue::Type::Dword);
    EXPECT_EQ(back.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 101u);
    EXPECT_EQ(back.find(kMainSettingsKey, "ModeOverwrite_Checked")->text, "FALSE");
    EXPECT_EQ(back.find(kMainSettingsKey, "ModeBackup_Checked")->text, "FALSE");
    EXPECT_EQ(back.find(kMainSettingsKey, "ModeFolder_Checked")->text, "TRUE");
    EXPECT_EQ(back.find(kMainSettingsKey, "TopMostWindow1_AlwaysOnTop")->text, "TRUE");
    for (const StoredSetting& setting : kMainSettings) {
        EXPECT_NE(back.find(kMainSettingsKey, setting.name), nullptr) << setting.name;
    }
}

}  // namespace
}  // namespace ostravex
