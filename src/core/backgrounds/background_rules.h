#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_groups.h"
#include "settings/wizard_settings.h"

namespace ostravex {

inline constexpr int kBackgroundWidth = 577;
inline constexpr int kBackgroundHeight = 432;
inline constexpr std::uint64_t kMinimumBackgroundBytes = 15000;

// A picture the window accepts as its background: exactly 577 × 432 and a file of at
// least 15000 bytes.
bool IsUsableBackground(int width, int height, std::uint64_t fileBytes);

// What "Alternate Backgrounds" comes to at a start: the log lines to write and the
// picture to try, if any.
struct BackgroundPlan {
    std::vector<std::string> logLines;
    std::optional<std::string> picture;
};

// From the background wizard's choices (its group's values): random mode picks, with equal
// chances and anew at every start, one ".jpg" file of the folder (not of its subfolders);
// fixed mode takes the one file. `pumpEvents` runs between directory entries.
BackgroundPlan PlanAlternateBackground(const SettingValues& wizardChoices,
                                       const std::function<void()>& pumpEvents = {});

// A uniformly chosen index below `count` (which must not be 0), seeded anew per process.
std::size_t RandomPick(std::size_t count);

}  // namespace ostravex
