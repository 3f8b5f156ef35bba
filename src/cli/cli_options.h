#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/run_options.h"

namespace ostravex::cli {

enum class Verb { Trim, List, Info, Help, Version };

struct CliOptions {
    Verb verb = Verb::Trim;
    RunOptions run;  // what the scan and the run read, as the window's options
    bool quiet = false;
    bool json = false;
    std::vector<std::string> datFiles;  // --dat, in the order given
    std::vector<std::string> paths;
};

struct ParsedArguments {
    std::optional<CliOptions> options;
    std::string error;  // the usage error when options is empty
};

ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace ostravex::cli
