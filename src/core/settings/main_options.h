#pragma once

#include <functional>
#include <optional>
#include <string>

#include "settings/main_settings.h"
#include "settings/reg_file.h"
#include "settings/run_options.h"
#include "settings/settings_groups.h"

namespace ostravex {

// Asks the user for an output folder; nothing when the question is cancelled.
using AskFolder = std::function<std::optional<std::string>()>;

// Reads the main group: every value at its default, then the stored ones as RestoreGroup
// reads them. A stored FormVersion below 0 restores nothing. Then, as the window fixes them
// up: when no file option is left checked, "Overwrite" is; the opacity is kept within
// 100..255; an output folder ends with "/"; "Use a different output folder" with an empty
// folder asks `askOutputFolder` (when given), and with a folder that does not exist falls
// back to "Overwrite" with an empty folder.
SettingValues RestoreMainOptions(const RegFile& file, const AskFolder& askOutputFolder = {});

// Writes FormVersion 0 and every value of the main group, the radio buttons of the file
// options as three separate values.
void SaveMainOptions(RegFile& file, const SettingValues& options);

// The file option whose radio button is checked.
FileMode FileModeOf(const SettingValues& options);
// Checks the radio button of `mode` and unchecks the others.
void SetFileMode(SettingValues& options, FileMode mode);

// What a scan or a run reads of the main window's options.
RunOptions RunOptionsFrom(const SettingValues& options);

}  // namespace ostravex
