#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ostravex::cli {

enum ExitCode { kExitSuccess = 0, kExitErrorsCounted = 1, kExitUsage = 2 };

// The whole command-line program: parses `arguments` (without the program name) and runs
// the verb. `progressBar` turns on the progress bar on `err`.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           bool progressBar);

}  // namespace ostravex::cli
