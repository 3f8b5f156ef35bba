#pragma once

#include <cstdint>
#include <string_view>

#include "settings/setting.h"

namespace ostravex {

inline constexpr std::string_view kMainSettingsKey = "HKEY_CURRENT_USER\\Ostravex";

// The main window's stored options. Their names follow the controls of the window the
// program began as; the defaults are the states the controls have when the window is made.
namespace settings {

// The radio buttons of the three file options.
inline constexpr int kFileOptions = 1;

inline constexpr TextSetting kOutputFolder{"Edit1_Text", ""};  // "Use a different output folder"
inline constexpr BooleanSetting kModeOverwrite{"ModeOverwrite_Checked", true, kFileOptions};
inline constexpr BooleanSetting kModeBackup{"ModeBackup_Checked", false, kFileOptions};
inline constexpr BooleanSetting kModeFolder{"ModeFolder_Checked", false, kFileOptions};
inline constexpr BooleanSetting kRecursiveScan{"RecurseScan_Checked", true};
inline constexpr BooleanSetting kScanArchives{"ZipSupport_Checked", true};
inline constexpr BooleanSetting kProcessSelected{"ProcessSelect_Checked", false};
// The last scanned folder, where the scan's folder picker starts.
inline constexpr TextSetting kLastScannedFolder{"inputfold_Caption", "/"};
inline constexpr BooleanSetting kAlwaysOnTopButton{"TopWind_Down", false};
inline constexpr BooleanSetting kAlwaysOnTop{"TopMostWindow1_AlwaysOnTop", false};
inline constexpr BooleanSetting kAlternateBackgrounds{"UseBackgrounds_Checked", false};
inline constexpr BooleanSetting kCheckNewVersion{"CheckNewVer_Checked", true};
inline constexpr BooleanSetting kRemoveSceneNumbers{"RemoveNames_Checked", false};
inline constexpr BooleanSetting kDisableBackground{"DisableBackground_Checked", false};
inline constexpr NumberSetting kOpacity{"BlendTrackBar_Position", 255};  // 255 is opaque
inline constexpr BooleanSetting kSramPatch{"SramP_Checked", false};
inline constexpr BooleanSetting kOnlyPatch{"OnlyPatch_Checked", false};
inline constexpr BooleanSetting kDontOverwrite{"notoverwrite_Checked", false};
inline constexpr BooleanSetting kUseListView{"UseListView_Checked", false};
inline constexpr BooleanSetting kSkipDsi{"SkipDSi_Checked", false};

inline constexpr std::int32_t kMinOpacity = 100;
inline constexpr std::int32_t kMaxOpacity = 255;

}  // namespace settings

inline constexpr AnySetting kMainSettings[] = {
    &settings::kOutputFolder,
    &settings::kModeOverwrite,
    &settings::kModeBackup,
    &settings::kModeFolder,
    &settings::kRecursiveScan,
    &settings::kScanArchives,
    &settings::kProcessSelected,
    &settings::kLastScannedFolder,
    &settings::kAlwaysOnTopButton,
    &settings::kAlwaysOnTop,
    &settings::kAlternateBackgrounds,
    &settings::kCheckNewVersion,
    &settings::kRemoveSceneNumbers,
    &settings::kDisableBackground,
    &settings::kOpacity,
    &settings::kSramPatch,
    &settings::kOnlyPatch,
    &settings::kDontOverwrite,
    &settings::kUseListView,
    &settings::kSkipDsi,
};

inline constexpr SettingsGroup kMainGroup{kMainSettingsKey, kMainSettings};

}  // namespace ostravex
