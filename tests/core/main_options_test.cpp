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

RegValue Text(const std::string& text) {
    return RegValue::String(text);
}

// The main group as another program reading the store sees it, written out here rather
// than taken from the code's own table: every name, its order, its type and its default.
const StoredValues kDefaultMainGroup = {
    {"FormVersion", RegValue::Dword(0)},
    {"Edit1_Text", Text("")},
    {"ModeOverwrite_Checked", Text("TRUE")},
    {"ModeBackup_Checked", Text("FALSE")},
    {"ModeFolder_Checked", Text("FALSE")},
    {"RecurseScan_Checked", Text("TRUE")},
    {"ZipSupport_Checked", Text("TRUE")},
    {"ProcessSelect_Checked", Text("FALSE")},
    {"inputfold_Caption", Text("/")},
    {"TopWind_Down", Text("FALSE")},
    {"TopMostWindow1_AlwaysOnTop", Text("FALSE")},
    {"UseBackgrounds_Checked", Text("FALSE")},
    {"CheckNewVer_Checked", Text("TRUE")},
    {"RemoveNames_Checked", Text("FALSE")},
    {"DisableBackground_Checked", Text("FALSE")},
    {"BlendTrackBar_Position", RegValue::Dword(255)},
    {"SramP_Checked", Text("FALSE")},
    {"OnlyPatch_Checked", Text("FALSE")},
    {"notoverwrite_Checked", Text("FALSE")},
    {"UseListView_Checked", Text("FALSE")},
    {"SkipDSi_Checked", Text("FALSE")},
};

TEST(MainOptions, AnEmptyStoreIsSavedAsTheTwentyOneDefaultValues) {
    ASSERT_EQ(kDefaultMainGroup.size(), 21u);
    RegFile saved;
    SaveMainOptions(saved, RestoreMainOptions(RegFile()));
    EXPECT_EQ(saved, Store(kDefaultMainGroup)) << saved.Serialize();
}

TEST(MainOptions, EveryValueChangedComesBack) {
    testing::TempDir dir;
    // Each value away from its default, so that a value saved or read under the wrong name,
    // or not at all, shows.
    const StoredValues changed = {
        {"FormVersion", RegValue::Dword(0)},
        {"Edit1_Text", Text(dir.path())},
        {"ModeOverwrite_Checked", Text("FALSE")},
        {"ModeBackup_Checked", Text("FALSE")},
        {"ModeFolder_Checked", Text("TRUE")},
        {"RecurseScan_Checked", Text("FALSE")},
        {"ZipSupport_Checked", Text("FALSE")},
        {"ProcessSelect_Checked", Text("TRUE")},
        {"inputfold_Caption", Text("/roms/with \"quotes\" and \xC3\xA9/")},
        {"TopWind_Down", Text("TRUE")},
        {"TopMostWindow1_AlwaysOnTop", Text("TRUE")},
        {"UseBackgrounds_Checked", Text("TRUE")},
        {"CheckNewVer_Checked", Text("FALSE")},
        {"RemoveNames_Checked", Text("TRUE")},
        {"DisableBackground_Checked", Text("TRUE")},
        {"BlendTrackBar_Position", RegValue::Dword(101)},
        {"SramP_Checked", Text("TRUE")},
        {"OnlyPatch_Checked", Text("TRUE")},
        {"notoverwrite_Checked", Text("TRUE")},
        {"UseListView_Checked", Text("TRUE")},
        {"SkipDSi_Checked", Text("TRUE")},
    };
    const SettingValues options = RestoreMainOptions(RegFile::Parse(Store(changed).Serialize()));
    EXPECT_EQ(options.get(settings::kOpacity), 101);
    EXPECT_EQ(FileModeOf(options), FileMode::Folder);
    RegFile saved;
    SaveMainOptions(saved, options);
    EXPECT_EQ(saved, Store(changed)) << saved.Serialize();
}

TEST(MainOptions, TheRunsDefaultsAreTheWindowsInitialState) {
    const RunOptions run = RunOptionsFrom(RestoreMainOptions(RegFile()));
    EXPECT_EQ(run, RunOptions());
    EXPECT_EQ(run.fileMode, FileMode::Overwrite);
    EXPECT_EQ(run.outputFolder, "");
    EXPECT_TRUE(run.recursiveScan && run.scanArchives);
    EXPECT_FALSE(run.dontOverwrite || run.sramPatch || run.onlyPatch || run.skipDsi ||
                 run.removeSceneNumbers || run.dryRun || run.restore || run.checkPadding);
}

// Each option a run reads comes from its own stored value.
TEST(MainOptions, EachRunOptionComesFromItsValue) {
    struct Row {
        const char* name;
        bool RunOptions::*field;
    };
    for (const Row& row : {
             Row{"notoverwrite_Checked", &RunOptions::dontOverwrite},
             Row{"SramP_Checked", &RunOptions::sramPatch},
             Row{"OnlyPatch_Checked", &RunOptions::onlyPatch},
             Row{"SkipDSi_Checked", &RunOptions::skipDsi},
             Row{"RemoveNames_Checked", &RunOptions::removeSceneNumbers},
             Row{"RecurseScan_Checked", &RunOptions::recursiveScan},
             Row{"ZipSupport_Checked", &RunOptions::scanArchives},
         }) {
        const RunOptions defaults;
        const bool changed = !(defaults.*row.field);
        RunOptions expected = defaults;
        expected.*row.field = changed;
        EXPECT_EQ(RunOptionsFrom(
                      RestoreMainOptions(Store({{row.name, Text(changed ? "TRUE" : "FALSE")}}))),
                  expected)
            << row.name;
    }
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
        const SettingValues options = RestoreMainOptions(Store(row.stored));
        EXPECT_EQ(FileModeOf(options), row.expected) << row.behaviour;
        // Exactly the chosen one is saved as checked.
        EXPECT_EQ(options.get(settings::kModeOverwrite), row.expected == FileMode::Overwrite);
        EXPECT_EQ(options.get(settings::kModeBackup), row.expected == FileMode::Backup);
        EXPECT_EQ(options.get(settings::kModeFolder), row.expected == FileMode::Folder);
    }
}

TEST(MainOptions, AllThreeTrueChoosesTheFolderWhenItExists) {
    testing::TempDir dir;
    const SettingValues options = RestoreMainOptions(Store({{"ModeFolder_Checked", Text("TRUE")},
                                                            {"ModeBackup_Checked", Text("TRUE")},
                                                            {"ModeOverwrite_Checked", Text("TRUE")},
                                                            {"Edit1_Text", Text(dir.path())}}));
    EXPECT_EQ(FileModeOf(options), FileMode::Folder);
    EXPECT_EQ(options.get(settings::kOutputFolder), dir.path());
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
        const SettingValues options =
            RestoreMainOptions(Store({{"Edit1_Text", RegValue::String(row.stored)},
                                      {"ModeFolder_Checked", Text("TRUE")}}),
                               [&] {
                                   ++questions;
                                   return row.answer;
                               });
        EXPECT_EQ(FileModeOf(options), row.expectedMode) << row.behaviour;
        EXPECT_EQ(options.get(settings::kOutputFolder), row.expectedFolder) << row.behaviour;
        EXPECT_EQ(questions, row.expectedQuestions) << row.behaviour;
    }
}

// A folder without its "/" would have the output's name glued to it ("/x/outgame.nds").
TEST(MainOptions, TheOutputFolderEndsWithASlashWhereverItComesFrom) {
    testing::TempDir dir;
    const std::string folder = dir.subfolder("out");  // ends with "/"
    const std::string bare = folder.substr(0, folder.size() - 1);
    struct Row {
        const char* behaviour;
        std::string stored;
        std::optional<std::string> answer;
    };
    for (const Row& row : {
             Row{"stored without it", bare, std::nullopt},
             Row{"stored with it", folder, std::nullopt},
             Row{"answered without it", "", bare},
         }) {
        const SettingValues options =
            RestoreMainOptions(Store({{"Edit1_Text", RegValue::String(row.stored)},
                                      {"ModeFolder_Checked", Text("TRUE")}}),
                               [&] { return row.answer; });
        EXPECT_EQ(FileModeOf(options), FileMode::Folder) << row.behaviour;
        EXPECT_EQ(options.get(settings::kOutputFolder), folder) << row.behaviour;
        EXPECT_EQ(RunOptionsFrom(options).outputFolder, folder) << row.behaviour;
    }
    // The window's field, whatever it was given, reaches a run with the "/".
    SettingValues shown(kMainGroup);
    SetFileMode(shown, FileMode::Folder);
    shown.set(settings::kOutputFolder, bare);
    EXPECT_EQ(RunOptionsFrom(shown).outputFolder, folder);
    // A folder option that is not chosen keeps its folder, with the "/" too.
    EXPECT_EQ(RestoreMainOptions(Store({{"Edit1_Text", RegValue::String(bare)}}))
                  .get(settings::kOutputFolder),
              folder);
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
        EXPECT_EQ(
            RestoreMainOptions(Store({{"BlendTrackBar_Position", stored}})).get(settings::kOpacity),
            expected)
            << stored.text << stored.dword;
    }
}

TEST(MainOptions, AlwaysOnTopIsItsOwnValue) {
    const SettingValues onTop =
        RestoreMainOptions(Store({{"TopMostWindow1_AlwaysOnTop", Text("TRUE")}}));
    EXPECT_TRUE(onTop.get(settings::kAlwaysOnTop));
    EXPECT_FALSE(onTop.get(settings::kAlwaysOnTopButton));
    const SettingValues buttonOnly = RestoreMainOptions(Store({{"TopWind_Down", Text("y")}}));
    EXPECT_TRUE(buttonOnly.get(settings::kAlwaysOnTopButton));
    EXPECT_FALSE(buttonOnly.get(settings::kAlwaysOnTop));
}

TEST(MainOptions, NegativeFormVersionRestoresNothing) {
    EXPECT_EQ(RestoreMainOptions(Store({{"FormVersion", RegValue::Dword(0xFFFFFFFF)},
                                        {"SkipDSi_Checked", Text("TRUE")},
                                        {"ModeOverwrite_Checked", Text("FALSE")}})),
              SettingValues(kMainGroup));
}

}  // namespace
}  // namespace ostravex
