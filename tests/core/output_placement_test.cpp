#include "trim/output_placement.h"

#include <gtest/gtest.h>

namespace ostravex {
namespace {

TEST(StripMemberPath, KeepsTheTextAfterTheLastSlash) {
    EXPECT_EQ(StripMemberPath("roms/eu/game.nds"), "game.nds");
    EXPECT_EQ(StripMemberPath("game.nds"), "game.nds");
    EXPECT_EQ(StripMemberPath("roms\\game.nds"), "roms\\game.nds");
}

TEST(SceneNumber, OnlyFourDigitsSpaceDashSpace) {
    struct Row {
        const char* name;
        std::optional<std::string> renamed;
    };
    for (const Row& row : {
             Row{"0123 - abc.nds", "abc.nds"},
             Row{"9999 - Some Game (E).gba", "Some Game (E).gba"},
             Row{"123 - abc.nds", std::nullopt},
             Row{"01234 - abc.nds", std::nullopt},
             Row{"0123 -abc.nds", std::nullopt},
             Row{"0123- abc.nds", std::nullopt},
             Row{"012a - abc.nds", std::nullopt},
             Row{"abc.nds", std::nullopt},
         }) {
        EXPECT_EQ(NameWithoutSceneNumber(row.name), row.renamed) << row.name;
    }
}

TEST(InPlace, FollowsSourceAndFileOption) {
    struct Row {
        const char* name;
        bool compressed;
        bool iszip;
        FileMode mode;
        bool inPlace;
    };
    for (const Row& row : {
             Row{"plain overwrite", false, false, FileMode::Overwrite, true},
             Row{"plain backup", false, false, FileMode::Backup, false},
             Row{"plain folder", false, false, FileMode::Folder, false},
             Row{"zip overwrite", true, true, FileMode::Overwrite, false},
             Row{"zip folder", true, true, FileMode::Folder, false},
             Row{"rar overwrite", true, false, FileMode::Overwrite, true},
             Row{"rar backup", true, false, FileMode::Backup, false},
             Row{"rar folder", true, false, FileMode::Folder, true},
         }) {
        LoadInfo job;
        job.Compressed = row.compressed;
        job.iszip = row.iszip;
        EXPECT_EQ(IsWrittenInPlace(job, row.mode), row.inPlace) << row.name;
    }
}

TEST(RenameTarget, OutputFolderOnlyWithTheFolderOption) {
    LoadInfo job;
    job.filename = "roms/0123 - a.nds";
    job.OutFolder = "/z/";
    EXPECT_EQ(RenameTarget(job, FileMode::Backup, "/out/"), "/z/0123 - a.nds");
    EXPECT_EQ(RenameTarget(job, FileMode::Folder, "/out/"), "/out/0123 - a.nds");
}

}  // namespace
}  // namespace ostravex
