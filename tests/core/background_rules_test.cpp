#include "backgrounds/background_rules.h"

#include <gtest/gtest.h>

#include <set>
#include "backgrounds/crop_geometry.h"

#include "support/rom_images.h"

namespace ostravex {
namespace {

// The wizard's choices: its folder, its fixed picture, and which of the two is used.
SettingValues Choices(const std::string& folder, const std::string& picture, bool random,
                      bool fixed) {
    SettingValues choices(kWizardGroup);
    choices.set(settings::kBgsPath, folder);
    choices.set(settings::kFixedBgPath, picture);
    choices.set(settings::kRandomBgs, random);
    choices.set(settings::kFixedBg, fixed);
    return choices;
}

TEST(BackgroundRules, SizeAndBytes) {
    EXPECT_TRUE(IsUsableBackground(577, 432, 15000));
    EXPECT_FALSE(IsUsableBackground(577, 432, 14999));
    EXPECT_FALSE(IsUsableBackground(578, 432, 50000));
    EXPECT_FALSE(IsUsableBackground(577, 431, 50000));
}

TEST(BackgroundRules, CropWindowSizes) {
    EXPECT_EQ(CropWindowSize(2000, 1500), (WindowSize{1000, 740}));
    EXPECT_EQ(CropWindowSize(100, 50), (WindowSize{430, 200}));
    EXPECT_EQ(CropWindowSize(800, 600), (WindowSize{830, 670}));
}

TEST(BackgroundRules, CropsAreNormalisedAndKeptInsideThePicture) {
    EXPECT_EQ(NormalizedCrop({10, 20, 587, 452}, 800, 600), (CropRect{10, 20, 587, 452}));
    EXPECT_EQ(NormalizedCrop({587, 452, 10, 20}, 800, 600), (CropRect{10, 20, 587, 452}));
    EXPECT_EQ(NormalizedCrop({-5, 20, 900, 700}, 800, 600), (CropRect{0, 20, 800, 600}));
    EXPECT_TRUE(IsEmptyCrop(NormalizedCrop({10, 20, 10, 80}, 800, 600)));
    EXPECT_FALSE(IsEmptyCrop(NormalizedCrop({10, 20, 11, 21}, 800, 600)));
}

TEST(BackgroundRules, RandomModePicksEveryJpegOfTheFolderAlike) {
    testing::TempDir dir;
    const std::string folder = dir.subfolder("pictures");
    dir.subfolder("pictures/deeper");
    for (const char* name : {"a.jpg", "b.JPG", "c.jpg", "notes.txt", "deeper/d.jpg"}) {
        testing::WriteFile(folder + name, testing::Bytes(10, 1));
    }
    const SettingValues choices = Choices(folder, "", true, false);
    std::map<std::string, int> seen;
    for (int i = 0; i < 300; ++i) {
        const BackgroundPlan plan = PlanAlternateBackground(choices);
        ASSERT_TRUE(plan.picture);
        ++seen[*plan.picture];
    }
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [picture, count] : seen) {
        EXPECT_GT(count, 60) << picture;  // about 100 each
    }
}

TEST(BackgroundRules, WhatEachModeLogs) {
    testing::TempDir dir;
    const std::string empty = dir.subfolder("empty");
    dir.subfolder("empty/sub");
    testing::WriteFile(empty + "sub/x.jpg", testing::Bytes(10, 1));
    testing::WriteFile(dir.file("fixed.JPG"), testing::Bytes(10, 1));
    testing::WriteFile(dir.file("fixed.jpeg"), testing::Bytes(10, 1));
    struct Row {
        SettingValues choices;
        std::vector<std::string> log;
        std::optional<std::string> picture;
    };
    for (const Row& row : {
             Row{Choices("", "", true, false), {"", "Wrong backgrounds path."}, std::nullopt},
             Row{Choices(dir.file("gone"), "", true, false),
                 {dir.file("gone"), "Wrong backgrounds path."},
                 std::nullopt},
             Row{Choices(empty, "", true, false), {"No backgrounds found."}, std::nullopt},
             Row{Choices("", dir.file("fixed.JPG"), false, true), {}, dir.file("fixed.JPG")},
             Row{Choices("", dir.file("fixed.jpeg"), false, true),
                 {"Background image does't exist"},
                 std::nullopt},
             Row{Choices("", "", false, true), {"Background image does't exist"}, std::nullopt},
             Row{Choices("", "", false, false), {}, std::nullopt},
         }) {
        const BackgroundPlan plan = PlanAlternateBackground(row.choices);
        EXPECT_EQ(plan.logLines, row.log);
        EXPECT_EQ(plan.picture, row.picture);
    }
}

TEST(BackgroundRules, WizardChoicesRoundTrip) {
    RegFile file;
    EXPECT_TRUE(ReadGroup(file, kWizardGroup).get(settings::kRandomBgs));
    SaveGroup(file, Choices("/p/", "/p/x.jpg", false, true));
    const SettingValues back = ReadGroup(RegFile::Parse(file.Serialize()), kWizardGroup);
    EXPECT_EQ(back.get(settings::kBgsPath), "/p/");
    EXPECT_EQ(back.get(settings::kFixedBgPath), "/p/x.jpg");
    EXPECT_FALSE(back.get(settings::kRandomBgs));
    EXPECT_TRUE(back.get(settings::kFixedBg));
}

}  // namespace
}  // namespace ostravex
