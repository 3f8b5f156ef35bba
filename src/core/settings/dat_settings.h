#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/reg_file.h"
#include "settings/setting.h"

namespace ostravex {

// The window's DATs and checks, kept in a group of the program's own beside the main
// window's: the DAT files, zips of DATs and folders of them that every run identifies roms
// against, and whether a cut is made only when every byte removed is filler.
inline constexpr std::string_view kDatSettingsKey = "HKEY_CURRENT_USER\\Ostravex\\DATs";

namespace settings {

inline constexpr BooleanSetting kCheckPadding{"CheckPadding", false};
// How many DAT sources follow, as "Dat1", "Dat2", ...
inline constexpr NumberSetting kDatCount{"DatCount", 0};

}  // namespace settings

inline constexpr AnySetting kDatSettingsFixed[] = {
    &settings::kCheckPadding,
    &settings::kDatCount,
};

inline constexpr SettingsGroup kDatSettingsGroup{kDatSettingsKey, kDatSettingsFixed};

// The most DAT sources read back: a count beyond it is a damaged store, not a user's list.
inline constexpr int kMostDatSources = 1000;

struct DatSettings {
    std::vector<std::string> sources;  // in the order the user added them
    bool checkPadding = false;
    bool operator==(const DatSettings&) const = default;
};

// The stored DATs and checks; what is missing or unreadable keeps its default, an empty or
// missing source is passed over.
DatSettings ReadDatSettings(const RegFile& file);
// Writes the group, removing the sources of a longer list stored before.
void SaveDatSettings(RegFile& file, const DatSettings& settings);

// The name the `index`th source (from 0) is stored under.
std::string DatSourceName(std::size_t index);

}  // namespace ostravex
