#pragma once

#include <string_view>

#include "settings/setting.h"

namespace ostravex {

inline constexpr std::string_view kWizardSettingsKey = "HKEY_CURRENT_USER\\Ostravex\\Bgs";

// The background wizard's stored choices: how the main window's background is picked.
namespace settings {

// The radio buttons of the two ways to pick a background.
inline constexpr int kBackgroundChoice = 1;

// The folder a background is picked from at random, and the one fixed picture.
inline constexpr TextSetting kBgsPath{"BgsPath_Text", ""};
inline constexpr TextSetting kFixedBgPath{"FixedBgPath_Text", ""};
// "Randomly pick a background from this folder", "Select a default fixed background".
inline constexpr BooleanSetting kRandomBgs{"RandomBgs_Checked", true, kBackgroundChoice};
inline constexpr BooleanSetting kFixedBg{"FixedBg_Checked", false, kBackgroundChoice};

}  // namespace settings

inline constexpr AnySetting kWizardSettings[] = {
    &settings::kBgsPath,
    &settings::kFixedBgPath,
    &settings::kRandomBgs,
    &settings::kFixedBg,
};

inline constexpr SettingsGroup kWizardGroup{kWizardSettingsKey, kWizardSettings};

}  // namespace ostravex
