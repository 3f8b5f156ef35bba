// The checks before an output is written are the same for a run and a dry run: both writers
// refuse the same outputs, with the same failure, before anything is written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "support/list_entries.h"
#include "support/read_only_folder.h"
#include "support/rom_images.h"
#include "trim/dry_run_writer.h"
#include "trim/output_plan.h"
#include "trim/output_writer.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::ReadOnlyFolder;
using testing::TempDir;
using testing::WriteFile;

struct Row {
    std::string name;
    // Lays out the case under `base`; returns the target; may make a folder read-only.
    std::function<OutputTarget(const std::string& base, std::optional<ReadOnlyFolder>& readOnly)>
        lay;
    OutputStage stage;
    int error;  // the errno the failure carries; 0: any
};

std::vector<Row> Rows() {
    return {
        {"a replacement of the rom a link leads into a read-only folder",
         [](const std::string& base, std::optional<ReadOnlyFolder>& readOnly) {
             std::filesystem::create_directories(base + "ro");
             WriteFile(base + "ro/x.nds", Bytes(100, 1));
             std::filesystem::create_symlink(base + "ro/x.nds", base + "x.nds");
             readOnly.emplace(base + "ro");
             return OutputTarget{OutputTarget::Kind::Replace, base + "x.nds", "", false};
         },
         OutputStage::Create, 0},
        {"a backup of the rom a link leads into a read-only folder",
         [](const std::string& base, std::optional<ReadOnlyFolder>& readOnly) {
             std::filesystem::create_directories(base + "ro");
             WriteFile(base + "ro/x.nds", Bytes(100, 1));
             std::filesystem::create_symlink(base + "ro/x.nds", base + "x.nds");
             readOnly.emplace(base + "ro");
             return OutputTarget{OutputTarget::Kind::KeepOriginal, base + "x.nds",
                                 base + "x.nds.bak", false};
         },
         OutputStage::KeepOriginal, 0},
        {"a backup whose .bak folder is read-only",
         [](const std::string& base, std::optional<ReadOnlyFolder>& readOnly) {
             std::filesystem::create_directories(base + "ro");
             WriteFile(base + "ro/x.nds", Bytes(100, 1));
             std::filesystem::create_symlink(base + "ro/x.nds", base + "x.nds");
             // The rom is replaced where it lies; its link's folder keeps the backup.
             readOnly.emplace(base);
             return OutputTarget{OutputTarget::Kind::KeepOriginal, base + "x.nds",
                                 base + "x.nds.bak", false};
         },
         OutputStage::KeepOriginal, 0},
        {"a folder at a new file's name",
         [](const std::string& base, std::optional<ReadOnlyFolder>&) {
             std::filesystem::create_directories(base + "x.nds");
             return OutputTarget{OutputTarget::Kind::NewFile, base + "x.nds", "", true};
         },
         OutputStage::Create, EISDIR},
        {"a pipe at a member result's name",
         [](const std::string& base, std::optional<ReadOnlyFolder>&) {
             mkfifo((base + "x.nds").c_str(), 0600);
             OutputTarget target{OutputTarget::Kind::NewFile, base + "x.nds", "", false};
             target.neverReplaces = true;
             return target;
         },
         OutputStage::Create, EEXIST},
        {"a dangling link at a member result's name",
         [](const std::string& base, std::optional<ReadOnlyFolder>&) {
             std::filesystem::create_symlink(base + "nowhere", base + "x.nds");
             OutputTarget target{OutputTarget::Kind::NewFile, base + "x.nds", "", false};
             target.neverReplaces = true;
             return target;
         },
         OutputStage::Create, EEXIST},
        {"a missing output folder",
         [](const std::string& base, std::optional<ReadOnlyFolder>&) {
             return OutputTarget{OutputTarget::Kind::NewFile, base + "out/x.nds", "", true};
         },
         OutputStage::Create, ENOENT},
    };
}

TEST(OutputPlan, BothWritersRefuseTheSameOutputsBeforeWriting) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::optional<ReadOnlyFolder> readOnly;
        const OutputTarget target = row.lay(dir.path(), readOnly);
        if (readOnly && !readOnly->ready()) {
            GTEST_SKIP() << "cannot make a read-only folder here";
        }
        File source;
        if (target.kind != OutputTarget::Kind::NewFile) {
            ASSERT_TRUE(source.openForReading(target.path));
        }
        const std::vector<std::string> before = testing::ListFolder(dir.path());
        FileOutputWriter real;
        DryRunWriter dry;
        const std::optional<OutputFailure> realFailure = real.prepare(target, source);
        const std::optional<OutputFailure> dryFailure = dry.prepare(target, source);
        ASSERT_TRUE(realFailure.has_value());
        ASSERT_TRUE(dryFailure.has_value());
        EXPECT_EQ(realFailure->stage, row.stage);
        EXPECT_EQ(dryFailure->stage, row.stage);
        EXPECT_EQ(realFailure->status.code(), dryFailure->status.code());
        if (row.error != 0) {
            EXPECT_EQ(realFailure->status.code(), row.error) << realFailure->status.reason();
        }
        EXPECT_EQ(testing::ListFolder(dir.path()), before);
    }
}

TEST(OutputPlan, ARenameInAReadOnlyFolderFailsForBothWriters) {
    TempDir dir;
    const std::string folder = dir.subfolder("ro");
    WriteFile(folder + "0123 - x.nds", Bytes(100, 1));
    ReadOnlyFolder readOnly(folder);
    if (!readOnly.ready()) {
        GTEST_SKIP() << "cannot make a read-only folder here";
    }
    FileOutputWriter real;
    DryRunWriter dry;
    const Status realStatus = real.rename(folder + "0123 - x.nds", folder + "x.nds");
    const Status dryStatus = dry.rename(folder + "0123 - x.nds", folder + "x.nds");
    EXPECT_FALSE(realStatus);
    EXPECT_FALSE(dryStatus);
    EXPECT_EQ(realStatus.code(), dryStatus.code());
    EXPECT_EQ(testing::ListFolder(folder), std::vector<std::string>{"0123 - x.nds"});
}

}  // namespace
}  // namespace ostravex
