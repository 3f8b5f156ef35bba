#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <vector>

#include "io/output_file.h"
#include "romlist/rom_list_entry.h"
#include "support/recording_host.h"
#include "support/wired_trim_run.h"

namespace ostravex::testing {

// Runs a trim of `entries` with the options of `host` in a child process that is killed
// with SIGKILL right before the `occurrence`-th output step `step`, as a kill -9 would
// stop it there; `otherSteps` answers for the steps before it. True when the child was
// killed there; false when it never came there.
inline bool RunKilledBefore(const RecordingHost& host, const std::vector<RomListEntry>& entries,
                            OutputStep step, int occurrence = 1,
                            const OutputStepHook& otherSteps = {}) {
    const pid_t child = fork();
    if (child == 0) {
        RecordingHost own = host;
        WiredTrimRun run(own);
        int seen = 0;
        run.setOutputStepHook([&](OutputStep reached) {
            if (reached == step && ++seen == occurrence) {
                raise(SIGKILL);
            }
            return otherSteps ? otherSteps(reached) : Status::success();
        });
        run.run(entries);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace ostravex::testing
