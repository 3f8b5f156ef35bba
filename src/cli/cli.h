#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ostravex::cli {

enum ExitCode { kExitSuccess = 0, kExitErrorsCounted = 1, kExitUsage = 2 };

// Which of the two streams are terminals: a terminal gets control characters escaped, and
// standard error being one turns on the progress bar.
struct Terminals {
    bool out = false;
    bool err = false;
};

// The whole command-line program: parses `arguments` (without the program name) and runs
// the verb.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           Terminals terminals = {});

}  // namespace ostravex::cli
