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
    std::setlocale(LC_ALL, "");
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
