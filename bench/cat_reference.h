#pragma once

// The bare reference of the Google Benchmark programs: `cat FILE > /dev/null`, process start
// included, cat started directly (not through a shell) with its output opened on /dev/null.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ostravex::bench {

inline void TimeCatToDevNull(benchmark::State& state, std::string path) {
    std::string program = "cat";
    char* argv[] = {program.data(), path.data(), nullptr};
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        int status = 0;
        if (posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("cat failed");
        }
        posix_spawn_file_actions_destroy(&actions);
    }
}

}  // namespace ostravex::bench
