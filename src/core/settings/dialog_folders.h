#pragma once

#include <string_view>

#include "settings/setting.h"

namespace ostravex {

// The program's own group, beside the two whose value names are fixed: the folders the file
// dialogs start in, kept from one start to the next.
inline constexpr std::string_view kDialogFoldersKey = "HKEY_CURRENT_USER\\Ostravex\\Folders";

namespace settings {

// Where the log window's "Save As" chose its last file.
inline constexpr TextSetting kLogFolder{"LogFolder", ""};
// Where the background wizard's picture dialogs chose their last file.
inline constexpr TextSetting kPictureFolder{"PictureFolder", ""};

}  // namespace settings

inline constexpr AnySetting kDialogFolderSettings[] = {
    &settings::kLogFolder,
    &settings::kPictureFolder,
};

inline constexpr SettingsGroup kDialogFoldersGroup{kDialogFoldersKey, kDialogFolderSettings};

}  // namespace ostravex
