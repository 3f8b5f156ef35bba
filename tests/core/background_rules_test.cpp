#include "backgrounds/background_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "support/rom_images.h"

namespace ostravex {
namespace {

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
    WizardChoices choices;
    choices.BgsPath = folder;
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
        WizardChoices choices;
        std::vector<std::string> log;
        std::optional<std::string> picture;
    };
    for (const Row& row : {
             Row{{"", "", true, false}, {"", "Wrong backgrounds path."}, std::nullopt},
             Row{{dir.file("gone"), "", true, false},
                 {dir.file("gone"), "Wrong backgrounds path."},
                 std::nullopt},
             Row{{empty, "", true, false}, {"No backgrounds found."}, std::nullopt},
             Row{{"", dir.file("fixed.JPG"), false, true}, {}, dir.file("fixed.JPG")},
             Row{{"", dir.file("fixed.jpeg"), false, true},
                 {"Background image does't exist"},
                 std::nullopt},
             Row{{"", "", false, true}, {"Background image does't exist"}, std::nullopt},
             Row{{"", "", false, false}, {}, std::nullopt},
         }) {
        const BackgroundPlan plan = PlanAlternateBackground(row.choices);
        EXPECT_EQ(plan.logLines, row.log);
        EXPECT_EQ(plan.picture, row.picture);
    }
}

TEST(BackgroundRules, WizardChoicesRoundTrip) {
    RegFile file;
    EXPECT_TRUE(ReadWizardChoices(file).RandomBgs);
    WriteWizardChoices(file, {"/p/", "/p/x.jpg", false, true});
    const WizardChoices back = ReadWizardChoices(RegFile::Parse(file.Serialize()));
    EXPECT_EQ(back.BgsPath, "/p/");
    EXPECT_EQ(back.FixedBgPath, "/p/x.jpg");
    EXPECT_FALSE(back.RandomBgs);
    EXPECT_TRUE(back.FixedBg);
}

}  // namespace
}  // namespace ostravex
