#include <unistd.h>

#include <clocale>
#include <csignal>
#include <iostream>

#include "cli.h"
#include "cli_host.h"

namespace {

// The first Ctrl-C asks the run to stop after the current entry; a second one ends the
// program at once.
void OnInterrupt(int) {
    ostravex::cli::NoteInterrupt();
    if (ostravex::cli::InterruptCount() >= 2) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

}  // namespace

int main(int argc, char** argv) {
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
