#include "trim/output_plan.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "io/paths.h"

namespace ostravex {
namespace {

// The folder a replacement of the file at `path` is written in: beside the file a symbolic
// link leads to, which is the file that is replaced.
Status ReplacementFolder(const std::string& path, std::string& folder) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) {
        return Status::fromErrno(errno);
    }
    folder = FolderPart(real.get());
    return Status::success();
}

Status CheckReplacement(const std::string& path) {
    std::string folder;
    if (Status status = ReplacementFolder(path, folder); !status) {
        return status;
    }
    return CheckCanCreateIn(folder);
}

// A new file at `path`: its folder can take it and its name is one it can have.
Status CheckNewFile(const std::string& path, bool mayReplace) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return Status::fromErrno(EISDIR);
        }
        // A link, a pipe or a device at a name the output must not replace is left alone.
        if (!mayReplace && !S_ISREG(info.st_mode)) {
            return Status::fromErrno(EEXIST);
        }
    }
    return CheckCanCreateIn(FolderPart(path));
}

}  // namespace

std::optional<OutputFailure> CheckOutputPlan(const OutputTarget& target) {
    switch (target.kind) {
        case OutputTarget::Kind::InPlace:
            // The rom was opened for update when it was read: that open was the check.
            return std::nullopt;
        case OutputTarget::Kind::Replace:
            if (Status status = CheckReplacement(target.path); !status) {
                return OutputFailure{OutputStage::Create, status};
            }
            return std::nullopt;
        case OutputTarget::Kind::NewFile:
            if (Status status = CheckNewFile(target.path, target.mayReplace); !status) {
                return OutputFailure{OutputStage::Create, status};
            }
            return std::nullopt;
        case OutputTarget::Kind::KeepOriginal:
            if (Status status = CheckReplacement(target.path); !status) {
                return OutputFailure{OutputStage::KeepOriginal, status};
            }
            if (Status status = CheckCanCreateIn(FolderPart(target.backup)); !status) {
                return OutputFailure{OutputStage::KeepOriginal, status};
            }
            return std::nullopt;
    }
    return std::nullopt;
}

Status CheckRenamePlan(const std::string& from, const std::string& to) {
    if (Status status = CheckCanCreateIn(FolderPart(to)); !status) {
        return status;
    }
    // Moving a name out of a folder changes that folder too.
    const std::string fromFolder = FolderPart(from);
    return fromFolder == FolderPart(to) ? Status::success() : CheckCanCreateIn(fromFolder);
}

}  // namespace ostravex
