// Roms on an exFAT memory card (the file system of flashcart SD cards: no hard links, no
// owners): every change is all-or-nothing there too, and a rom never loses its name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/exfat_mount.h"
#include "support/killed_run.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::ExfatMount;
using testing::ListFolder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::WriteFile;
using testing::operator""_MiB;

Bytes Original() {
    return NdsImageBuilder().usedSize(600000).size(1_MiB).build();
}

Bytes Trimmed() {
    const Bytes original = Original();
    return Bytes(original.begin(), original.begin() + 600000);
}

class ExfatCard : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!card.mounted()) {
            GTEST_SKIP() << "no exFAT mount: " << card.unavailable();
        }
        folder = card.path() + "roms/";
        ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
        rom = folder + "game one.nds";
        WriteFile(rom, Original());
        host.options.fileMode = FileMode::Backup;
    }
    void TearDown() override {
        // The card is shared by the cases of one test; each leaves it empty.
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    ExfatMount card;
    std::string folder;
    std::string rom;
    RecordingHost host;
};

TEST_F(ExfatCard, ABackupKeepsTheRomUnderItsNameBeforeEveryStep) {
    testing::WiredTrimRun run(host);
    std::vector<OutputStep> seen;
    run.setOutputStepHook([&](OutputStep step) {
        seen.push_back(step);
        EXPECT_TRUE(testing::Exists(rom)) << static_cast<int>(step);
        if (testing::Exists(rom)) {
            EXPECT_EQ(ReadFile(rom), Original());
        }
        if (step == OutputStep::Replace) {
            EXPECT_EQ(ReadFile(rom + ".bak"), Original());
        }
        return Status::success();
    });
    run.run(testing::FileEntries({rom}));

    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(ReadFile(rom), Trimmed());
    EXPECT_EQ(ReadFile(rom + ".bak"), Original());
    EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"game one.nds", "game one.nds.bak"}));
}

TEST_F(ExfatCard, ABackupKilledAtAnyStepIsCompletedByTheNextRun) {
    for (const OutputStep step : {OutputStep::Close, OutputStep::CheckOriginal,
                                  OutputStep::KeepOriginal, OutputStep::Replace}) {
        SCOPED_TRACE(static_cast<int>(step));
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
        WriteFile(rom, Original());
        ASSERT_TRUE(testing::RunKilledBefore(host, testing::FileEntries({rom}), step));
        ASSERT_TRUE(testing::Exists(rom));
        EXPECT_EQ(ReadFile(rom), Original());

        RecordingHost again = host;
        testing::WiredTrimRun run(again);
        run.run(testing::FileEntries({rom}));

        EXPECT_EQ(run.counters().errors, 0) << again.log[4];
        EXPECT_EQ(ReadFile(rom), Trimmed());
        EXPECT_EQ(ReadFile(rom + ".bak"), Original());
        EXPECT_EQ(ListFolder(folder),
                  (std::vector<std::string>{"game one.nds", "game one.nds.bak"}));
    }
}

TEST_F(ExfatCard, ChangesInPlaceReplaceTheRom) {
    struct Row {
        const char* behaviour;
        const char* name;
        Bytes image;
        bool RunOptions::*option;
        std::size_t sizeAfter;
    };
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Row rows[] = {
        {"SRAM patch", "g.gba",
         testing::GbaImageBuilder().size(1_MiB).dataEnd(1000).bytes(501, v111).build(),
         &RunOptions::sramPatch, 1008 + 188},
        {"restore", "t.nds", NdsImageBuilder().usedSize(600000).size(600000).byte(0x14, 3).build(),
         &RunOptions::restore, 1_MiB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const std::string path = folder + row.name;
        WriteFile(path, row.image);
        RecordingHost inPlace;
        inPlace.options.*row.option = true;
        testing::WiredTrimRun run(inPlace);
        run.run(testing::FileEntries({path}));

        EXPECT_EQ(run.counters().errors, 0);
        EXPECT_EQ(ReadFile(path).size(), row.sizeAfter);
    }
    EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"g.gba", "game one.nds", "t.nds"}));
}

}  // namespace
}  // namespace ostravex
