#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "cli.h"
#include "cli_host.h"

namespace {

// The first Ctrl-C asks the run to stop after the current entry, and says so at once; a
// second one ends the program at once, without leaving a temporary file or a progress bar.
void OnInterrupt(int) {
    const int savedErrno = errno;
    ostravex::cli::NoteInterrupt();
    if (ostravex::cli::InterruptCount() >= 2) {
        ostravex::cli::CleanUpForInterrupt(STDERR_FILENO);
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    } else {
        ostravex::cli::AcknowledgeInterrupt(STDERR_FILENO);
    }
    errno = savedErrno;
}

}  // namespace

int main(int argc, char** argv) {
    // Each line leaves the process as soon as it is complete, also into a pipe or a file: a
    // second Ctrl-C ends the program from a signal handler, which cannot write out a buffer,
    // and the lines already produced (a restored rom's "RESTORED" line) must not go with it.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Only the parts of the user's locale the program uses: its decimal separator, the
    // language of system error texts and the character set they are written in. Loading
    // every category opens a dozen files at each start.
    for (const int category : {LC_CTYPE, LC_NUMERIC, LC_MESSAGES}) {
        std::setlocale(category, "");
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int code = ostravex::cli::RunCli(
        arguments, std::cout, std::cerr,
        {.out = isatty(STDOUT_FILENO) == 1, .err = isatty(STDERR_FILENO) == 1});
    std::cout.flush();
    return code;
}
