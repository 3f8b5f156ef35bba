#include "trim/output_placement.h"

namespace ostravex {

std::string StripMemberPath(std::string_view name) {
    const auto slash = name.rfind('/');
    return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

bool IsWrittenInPlace(const RomJob& job, FileMode mode) {
    // A member's result is always a new file.
    return !job.member && mode == FileMode::Overwrite;
}

std::string RenameTarget(const RomJob& job, FileMode mode, const std::string& outputFolder) {
    const std::string folder = mode == FileMode::Folder ? outputFolder : job.outputFolder;
    return folder + StripMemberPath(job.name);
}

std::optional<std::string> NameWithoutSceneNumber(std::string_view name) {
    constexpr std::size_t kPrefixLength = 7;  // "0123 - "
    if (name.size() < kPrefixLength) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
    }
    if (name.substr(4, 3) != " - ") {
        return std::nullopt;
    }
    return std::string(name.substr(kPrefixLength));
}

}  // namespace ostravex
