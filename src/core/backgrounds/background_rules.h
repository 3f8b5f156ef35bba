#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/reg_file.h"

namespace ostravex {

inline constexpr int kBackgroundWidth = 577;
inline constexpr int kBackgroundHeight = 432;
inline constexpr std::uint64_t kMinimumBackgroundBytes = 15000;

// A picture the window accepts as its background: exactly 577 × 432 and a file of at
// least 15000 bytes.
bool IsUsableBackground(int width, int height, std::uint64_t fileBytes);

// The background wizard's stored choices.
struct WizardChoices {
    std::string BgsPath;      // folder of the random backgrounds
    std::string FixedBgPath;  // the fixed background file
    bool RandomBgs = true;
    bool FixedBg = false;
};

WizardChoices ReadWizardChoices(const RegFile& file);
void WriteWizardChoices(RegFile& file, const WizardChoices& choices);

// What "Alternate Backgrounds" comes to at a start: the log lines to write and the
// picture to try, if any.
struct BackgroundPlan {
    std::vector<std::string> logLines;
    std::optional<std::string> picture;
};

// Random mode picks, with equal chances and anew at every start, one ".jpg" file of the
// folder (not of its subfolders); fixed mode takes the one file. `pumpEvents` runs between
// directory entries.
BackgroundPlan PlanAlternateBackground(const WizardChoices& choices,
                                       const std::function<void()>& pumpEvents = {});

// A uniformly chosen index below `count` (which must not be 0), seeded anew per process.
std::size_t RandomPick(std::size_t count);

// The crop wizard's window for a picture: its size plus room for the panel, kept between
// 430 × 200 and 1000 × 740.
struct WindowSize {
    int width;
    int height;
    bool operator==(const WindowSize&) const = default;
};
WindowSize CropWindowSize(int pictureWidth, int pictureHeight);

// A crop selection in picture pixels, right and bottom exclusive.
struct CropRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const CropRect&) const = default;
};
// The rectangle between two corners clicked in any order, kept inside the picture.
CropRect NormalizedCrop(CropRect corners, int pictureWidth, int pictureHeight);
bool IsEmptyCrop(const CropRect& rect);

}  // namespace ostravex
