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

// A stored value read as its kind; nothing when it is missing or cannot be read so.
std::optional<SettingValue> ReadStoredSetting(const RegFile& file, std::string_view key,
                                              const StoredSetting& setting);
// Writes a value in the form its kind is stored in (on/off as "TRUE" or "FALSE").
void WriteStoredSetting(RegFile& file, std::string_view key, std::string_view name,
                        const SettingValue& value);
// False when the group's stored FormVersion is below 0: nothing of it is to be restored.
bool FormVersionAllowsRestore(const RegFile& file, std::string_view key);

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
