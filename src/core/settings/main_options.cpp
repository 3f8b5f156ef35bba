#include "settings/main_options.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>

#include "io/paths.h"

namespace ostravex {
namespace {

// Gives the member of `run` that a stored option is read into the option's value. The file
// options are read together (FileModeOf), not one by one.
void ReadIntoRun(const RunTarget& target, const SettingValue& value, RunOptions& run) {
    if (const auto* on = std::get_if<bool RunOptions::*>(&target)) {
        run.*(*on) = std::get<bool>(value);
    } else if (const auto* folder = std::get_if<std::string RunOptions::*>(&target)) {
        run.*(*folder) = WithTrailingSlash(std::get<std::string>(value));
    }
}

SettingValue DefaultOf(const MainSettingDeclaration& declared) {
    return std::visit(
        [](const auto& setting) -> SettingValue {
            using Value = std::remove_cvref_t<decltype(setting)>;
            if constexpr (std::is_same_v<Value, TextSetting>) {
                return std::string(setting.defaultValue);
            } else {
                return setting.defaultValue;
            }
        },
        declared);
}

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
    if (&options.group() != &kMainGroup) {
        throw std::logic_error("the options of a run are read from the main window's group");
    }
    RunOptions run;
    run.fileMode = FileModeOf(options);
    for (std::size_t i = 0; i < kMainOptionCount; ++i) {
        ReadIntoRun(kMainOptions[i].run, options.at(i), run);
    }
    return run;
}

RunOptions::RunOptions() {
    for (const MainOption& option : kMainOptions) {
        const SettingValue value = DefaultOf(option.setting);
        if (const auto* mode = std::get_if<FileMode>(&option.run); mode && std::get<bool>(value)) {
            fileMode = *mode;
        }
        ReadIntoRun(option.run, value, *this);
    }
}

}  // namespace ostravex
