#include "backgrounds/background_rules.h"

#include <random>

#include "io/paths.h"
#include "scan/folder_search.h"

namespace ostravex {

bool IsUsableBackground(int width, int height, std::uint64_t fileBytes) {
    return width == kBackgroundWidth && height == kBackgroundHeight &&
           fileBytes >= kMinimumBackgroundBytes;
}

std::size_t RandomPick(std::size_t count) {
    static std::mt19937_64 generator(std::random_device{}());
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(generator);
}

BackgroundPlan PlanAlternateBackground(const SettingValues& wizardChoices,
                                       const std::function<void()>& pumpEvents) {
    BackgroundPlan plan;
    if (wizardChoices.get(settings::kRandomBgs)) {
        const std::string& folder = wizardChoices.get(settings::kBgsPath);
        if (folder.empty() || !DirectoryExists(folder)) {
            plan.logLines = {folder, "Wrong backgrounds path."};
            return plan;
        }
        std::vector<std::string> candidates;
        FolderSearch search(pumpEvents);
        search.folderAndMasks = WithTrailingSlash(folder) + "*.jpg";
        search.recursive = false;
        search.onMatch = [&](const std::string& holder, const DirectoryEntry& found) {
            if (!found.isFolder) {
                candidates.push_back(holder + found.name);
            }
        };
        search.run();
        if (candidates.empty()) {
            plan.logLines = {"No backgrounds found."};
        } else {
            plan.picture = candidates[RandomPick(candidates.size())];
        }
        return plan;
    }
    if (wizardChoices.get(settings::kFixedBg)) {
        const std::string& picture = wizardChoices.get(settings::kFixedBgPath);
        if (!picture.empty() && FileExists(picture) && LowerExtension(picture) == ".jpg") {
            plan.picture = picture;
        } else {
            plan.logLines = {"Background image does't exist"};
        }
    }
    return plan;
}

}  // namespace ostravex
