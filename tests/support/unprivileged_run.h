#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace ostravex::testing {

// The user "nobody", whom folder permissions stop.
constexpr uid_t kNobodyId = 65534;

// Runs `body` in a child process that folder permissions stop: as this process's own user
// when it is not root, else as "nobody" (root reads every folder). What `body` returns comes
// back; nothing when the child could not run so (the case cannot be made here). The files
// `body` reads must be reachable by "nobody" when the tests run as root.
inline std::optional<std::string> RunWithoutPrivileges(const std::function<std::string()>& body) {
    int ends[2];
    if (pipe(ends) != 0) {
        return std::nullopt;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(ends[0]);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobodyId) != 0 || setuid(kNobodyId) != 0)) {
            _exit(3);
        }
        const std::string result = body();
        for (std::size_t written = 0; written < result.size();) {
            const ssize_t count = write(ends[1], result.data() + written, result.size() - written);
            if (count <= 0) {
                _exit(4);
            }
            written += static_cast<std::size_t>(count);
        }
        _exit(0);
    }
    close(ends[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t count; (count = read(ends[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<std::size_t>(count));
    }
    close(ends[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return result;
}

}  // namespace ostravex::testing
