#include "settings/main_options.h"

#include <algorithm>
#include <utility>

#include "io/paths.h"

namespace ostravex {
namespace {

// The on/off options a scan or a run reads, and where they go in its options.
const std::pair<const BooleanSetting*, bool RunOptions::*> kRunSwitches[] = {
    {&settings::kDontOverwrite, &RunOptions::dontOverwrite},
    {&settings::kSramPatch, &RunOptions::sramPatch},
    {&settings::kOnlyPatch, &RunOptions::onlyPatch},
    {&settings::kSkipDsi, &RunOptions::skipDsi},
    {&settings::kRemoveSceneNumbers, &RunOptions::removeSceneNumbers},
    {&settings::kRecursiveScan, &RunOptions::recursiveScan},
    {&settings::kScanArchives, &RunOptions::scanArchives},
};

void FixUpOutputFolder(SettingValues& options, const AskFolder& askOutputFolder) {
    options.set(settings::kOutputFolder, WithTrailingSlash(options.get(settings::kOutputFolder)));
    if (FileModeOf(options) != FileMode::Folder) {
        return;
    }
    if (options.get(settings::kOutputFolder).empty() && askOutputFolder) {
        if (auto folder = askOutputFolder()) {
            options.set(settings::kOutputFolder, WithTrailingSlash(*folder));
        }
    }
    const std::string& folder = options.get(settings::kOutputFolder);
    if (folder.empty() || !DirectoryExists(folder)) {
        SetFileMode(options, FileMode::Overwrite);
        options.set(settings::kOutputFolder, std::string());
    }
}

}  // namespace

FileMode FileModeOf(const SettingValues& options) {
    if (options.get(settings::kModeBackup)) {
        return FileMode::Backup;
    }
    if (options.get(settings::kModeFolder)) {
        return FileMode::Folder;
    }
    return FileMode::Overwrite;
}

void SetFileMode(SettingValues& options, FileMode mode) {
    options.set(settings::kModeOverwrite, mode == FileMode::Overwrite);
    options.set(settings::kModeBackup, mode == FileMode::Backup);
    options.set(settings::kModeFolder, mode == FileMode::Folder);
}

SettingValues RestoreMainOptions(const RegFile& file, const AskFolder& askOutputFolder) {
    SettingValues options(kMainGroup);
    if (!RestoreGroup(file, options)) {
        return options;
    }
    // A file option stored as off leaves none checked: the run needs one.
    SetFileMode(options, FileModeOf(options));
    options.set(settings::kOpacity, std::clamp(options.get(settings::kOpacity),
                                               settings::kMinOpacity, settings::kMaxOpacity));
    FixUpOutputFolder(options, askOutputFolder);
    return options;
}

void SaveMainOptions(RegFile& file, const SettingValues& options) {
    SaveGroup(file, options);
}

RunOptions RunOptionsFrom(const SettingValues& options) {
    RunOptions run;
    run.fileMode = FileModeOf(options);
    run.outputFolder = WithTrailingSlash(options.get(settings::kOutputFolder));
    for (const auto& [setting, field] : kRunSwitches) {
        run.*field = options.get(*setting);
    }
    return run;
}

}  // namespace ostravex
