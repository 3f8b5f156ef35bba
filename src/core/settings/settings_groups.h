#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "io/status.h"
#include "settings/reg_file.h"

namespace ostravex {

// What kind of control property a stored value holds.
enum class SettingKind { Text, Boolean, Number };

struct StoredSetting {
    std::string_view name;  // the control's name, "_", the property's name
    SettingKind kind;
};

using SettingValue = std::variant<std::string, bool, std::int32_t>;

inline constexpr std::string_view kMainSettingsKey = "HKEY_CURRENT_USER\\Ostravex";
inline constexpr std::string_view kWizardSettingsKey = "HKEY_CURRENT_USER\\Ostravex\\Bgs";
inline constexpr std::string_view kFormVersion = "FormVersion";

// The main window's options, in the order they are read and written.
inline constexpr StoredSetting kMainSettings[] = {
    {"Edit1_Text", SettingKind::Text},
    {"ModeOverwrite_Checked", SettingKind::Boolean},
    {"ModeBackup_Checked", SettingKind::Boolean},
    {"ModeFolder_Checked", SettingKind::Boolean},
    {"RecurseScan_Checked", SettingKind::Boolean},
    {"ZipSupport_Checked", SettingKind::Boolean},
    {"ProcessSelect_Checked", SettingKind::Boolean},
    {"inputfold_Caption", SettingKind::Text},
    {"TopWind_Down", SettingKind::Boolean},
    {"TopMostWindow1_AlwaysOnTop", SettingKind::Boolean},
    {"UseBackgrounds_Checked", SettingKind::Boolean},
    {"CheckNewVer_Checked", SettingKind::Boolean},
    {"RemoveNames_Checked", SettingKind::Boolean},
    {"DisableBackground_Checked", SettingKind::Boolean},
    {"BlendTrackBar_Position", SettingKind::Number},
    {"SramP_Checked", SettingKind::Boolean},
    {"OnlyPatch_Checked", SettingKind::Boolean},
    {"notoverwrite_Checked", SettingKind::Boolean},
    {"UseListView_Checked", SettingKind::Boolean},
    {"SkipDSi_Checked", SettingKind::Boolean},
};

// The background wizard's choices.
inline constexpr StoredSetting kWizardSettings[] = {
    {"BgsPath_Text", SettingKind::Text},
    {"FixedBgPath_Text", SettingKind::Text},
    {"RandomBgs_Checked", SettingKind::Boolean},
    {"FixedBg_Checked", SettingKind::Boolean},
};

// "TRUE", "YES", "Y" and "FALSE", "NO", "N" in any case, else a whole number (non-zero is
// true); nothing for anything else.
std::optional<bool> ReadBoolean(const RegValue& value);
// A REG_DWORD, or a text holding a whole number.
std::optional<std::int32_t> ReadNumber(const RegValue& value);
std::optional<std::string> ReadText(const RegValue& value);

// Restores a group: calls `apply` for each stored value that exists and reads as its kind,
// in table order. Returns false, applying nothing, when the stored FormVersion is below 0.
bool RestoreSettingsGroup(
    const RegFile& file, std::string_view key, std::span<const StoredSetting> settings,
    const std::function<void(const StoredSetting&, const SettingValue&)>& apply);

// Writes FormVersion 0 and every value of a group, asking `current` for each.
void SaveSettingsGroup(RegFile& file, std::string_view key, std::span<const StoredSetting> settings,
                       const std::function<SettingValue(const StoredSetting&)>& current);

// The per-user store: $XDG_CONFIG_HOME/ostravex/settings.reg (~/.config/... by default).
std::string SettingsFilePath();
// A missing file is an empty store.
Status LoadSettingsFile(const std::string& path, RegFile& file);
// Written under a temporary name and renamed into place, so that a failed save never
// leaves a half-written store.
Status SaveSettingsFile(const std::string& path, const RegFile& file);

}  // namespace ostravex
