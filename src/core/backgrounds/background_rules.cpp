#include "backgrounds/background_rules.h"

#include <algorithm>
#include <random>

#include "io/paths.h"
#include "scan/file_search.h"
#include "settings/settings_groups.h"

namespace ostravex {

bool IsUsableBackground(int width, int height, std::uint64_t fileBytes) {
    return width == kBackgroundWidth && height == kBackgroundHeight &&
           fileBytes >= kMinimumBackgroundBytes;
}

WizardChoices ReadWizardChoices(const RegFile& file) {
    WizardChoices choices;
    RestoreSettingsGroup(file, kWizardSettingsKey, kWizardSettings,
                         [&](const StoredSetting& setting, const SettingValue& value) {
                             const std::string_view name = setting.name;
                             if (name == "BgsPath_Text") {
                                 choices.BgsPath = std::get<std::string>(value);
                             } else if (name == "FixedBgPath_Text") {
                                 choices.FixedBgPath = std::get<std::string>(value);
                             } else if (name == "RandomBgs_Checked") {
                                 // Radio buttons: one set on clears the other.
                                 if (std::get<bool>(value)) {
                                     choices.RandomBgs = true;
                                     choices.FixedBg = false;
                                 } else {
                                     choices.RandomBgs = false;
                                 }
                             } else if (name == "FixedBg_Checked") {
                                 if (std::get<bool>(value)) {
                                     choices.FixedBg = true;
                                     choices.RandomBgs = false;
                                 } else {
                                     choices.FixedBg = false;
                                 }
                             }
                         });
    return choices;
}

void WriteWizardChoices(RegFile& file, const WizardChoices& choices) {
    SaveSettingsGroup(file, kWizardSettingsKey, kWizardSettings,
                      [&](const StoredSetting& setting) -> SettingValue {
                          const std::string_view name = setting.name;
                          if (name == "BgsPath_Text") {
                              return choices.BgsPath;
                          }
                          if (name == "FixedBgPath_Text") {
                              return choices.FixedBgPath;
                          }
                          if (name == "RandomBgs_Checked") {
                              return choices.RandomBgs;
                          }
                          return choices.FixedBg;
                      });
}

std::size_t RandomPick(std::size_t count) {
    static std::mt19937_64 generator(std::random_device{}());
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(generator);
}

BackgroundPlan PlanAlternateBackground(const WizardChoices& choices,
                                       const std::function<void()>& pumpEvents) {
    BackgroundPlan plan;
    if (choices.RandomBgs) {
        if (choices.BgsPath.empty() || !DirectoryExists(choices.BgsPath)) {
            plan.logLines = {choices.BgsPath, "Wrong backgrounds path."};
            return plan;
        }
        std::vector<std::string> candidates;
        TFileSearch search(pumpEvents);
        search.SearchFile = WithTrailingSlash(choices.BgsPath) + "*.jpg";
        search.RecurseSubFolders = false;
        search.OnFileFind = [&](const std::string& folder, const TSearchRec& info) {
            if (!(info.Attr & kFolderAttribute)) {
                candidates.push_back(folder + info.Name);
            }
        };
        search.Start();
        if (candidates.empty()) {
            plan.logLines = {"No backgrounds found."};
        } else {
            plan.picture = candidates[RandomPick(candidates.size())];
        }
        return plan;
    }
    if (choices.FixedBg) {
        if (!choices.FixedBgPath.empty() && FileExists(choices.FixedBgPath) &&
            LowerExtension(choices.FixedBgPath) == ".jpg") {
            plan.picture = choices.FixedBgPath;
        } else {
            plan.logLines = {"Background image does't exist"};
        }
    }
    return plan;
}

WindowSize CropWindowSize(int pictureWidth, int pictureHeight) {
    int width = pictureWidth + 30;
    int height = pictureHeight + 70;
    height = std::max(height, 200);
    width = std::max(width, 430);
    width = std::min(width, 1000);
    height = std::min(height, 740);
    return {width, height};
}

CropRect NormalizedCrop(CropRect corners, int pictureWidth, int pictureHeight) {
    CropRect rect{std::min(corners.left, corners.right), std::min(corners.top, corners.bottom),
                  std::max(corners.left, corners.right), std::max(corners.top, corners.bottom)};
    rect.left = std::clamp(rect.left, 0, pictureWidth);
    rect.right = std::clamp(rect.right, 0, pictureWidth);
    rect.top = std::clamp(rect.top, 0, pictureHeight);
    rect.bottom = std::clamp(rect.bottom, 0, pictureHeight);
    return rect;
}

bool IsEmptyCrop(const CropRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

}  // namespace ostravex
