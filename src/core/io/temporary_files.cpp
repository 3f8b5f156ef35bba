#include "io/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>

namespace ostravex {
namespace {

constexpr std::string_view kPrefix = ".ostravex-";
constexpr std::string_view kSuffix = ".tmp";

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool ProcessIsGone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// A few temporaries at most are written at once (an output and the copy of its original).
struct TemporarySlot {
    enum State { Free, Filling, InUse };
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");
TemporarySlot g_temporaries[4];

}  // namespace

void NoteTemporaryInUse(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return;
    }
    for (TemporarySlot& slot : g_temporaries) {
        int expected = TemporarySlot::Free;
        if (slot.state.compare_exchange_strong(expected, TemporarySlot::Filling)) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(TemporarySlot::InUse);
            return;
        }
    }
}

void NoteTemporaryDone(const std::string& path) {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.state.load() == TemporarySlot::InUse && path == slot.path) {
            slot.state.store(TemporarySlot::Free);
            return;
        }
    }
}

void RemoveTemporariesInUse() noexcept {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.state.load() == TemporarySlot::InUse) {
            unlink(slot.path);
        }
    }
}

std::string TemporaryPath(const std::string& folder, pid_t owner, unsigned attempt) {
    return folder + std::string(kPrefix) + std::to_string(owner) + "-" + std::to_string(attempt) +
           std::string(kSuffix);
}

std::optional<pid_t> TemporaryOwner(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash)) ||
        !AllDigits(name.substr(dash + 1))) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + dash, pid);
    if (error != std::errc() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

void RemoveStaleTemporaries(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::optional<pid_t> owner = TemporaryOwner(entry->d_name);
        if (owner && ProcessIsGone(*owner)) {
            unlinkat(fd, entry->d_name, 0);
        }
    }
    closedir(dir);
}

}  // namespace ostravex
