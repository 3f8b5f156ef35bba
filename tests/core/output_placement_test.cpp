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

TEST(InPlace, OnlyARomFileWithTheOverwriteOption) {
    struct Row {
        const char* name;
        bool member;
        FileMode mode;
        bool inPlace;
    };
    for (const Row& row : {
             Row{"plain overwrite", false, FileMode::Overwrite, true},
             Row{"plain backup", false, FileMode::Backup, false},
             Row{"plain folder", false, FileMode::Folder, false},
             Row{"member overwrite", true, FileMode::Overwrite, false},
             Row{"member backup", true, FileMode::Backup, false},
             Row{"member folder", true, FileMode::Folder, false},
         }) {
        RomJob job;
        job.member = row.member;
        EXPECT_EQ(IsWrittenInPlace(job, row.mode), row.inPlace) << row.name;
    }
}

TEST(RenameTarget, OutputFolderOnlyWithTheFolderOption) {
    RomJob job;
    job.name = "roms/0123 - a.nds";
    job.outputFolder = "/z/";
    EXPECT_EQ(RenameTarget(job, FileMode::Backup, "/out/"), "/z/0123 - a.nds");
    EXPECT_EQ(RenameTarget(job, FileMode::Folder, "/out/"), "/out/0123 - a.nds");
}

}  // namespace
}  // namespace ostravex
