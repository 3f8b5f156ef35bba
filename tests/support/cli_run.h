#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace ostravex::testing {

// What one call of the command line gave: its exit status and its two streams.
struct CliResult {
    int code;
    std::string out;
    std::string err;
};

inline CliResult RunCommand(const std::vector<std::string>& arguments,
                            cli::Terminals terminals = {}) {
    std::ostringstream out, err;
    const int code = cli::RunCli(arguments, out, err, terminals);
    return {code, out.str(), err.str()};
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace ostravex::testing
