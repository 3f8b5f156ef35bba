#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host.h"

namespace ostravex::cli {

enum class Verb { Trim, List, Info, Help, Version };

struct CliOptions {
    Verb verb = Verb::Trim;
    FileMode mode = FileMode::Overwrite;
    std::string outputFolder;
    bool dontOverwrite = false;
    bool sramPatch = false;
    bool onlyPatch = false;
    bool skipDsi = false;
    bool removeSceneNumbers = false;
    bool recursive = true;
    bool archives = true;
    bool dryRun = false;
    bool quiet = false;
    std::vector<std::string> paths;
};

struct ParsedArguments {
    std::optional<CliOptions> options;
    std::string error;  // the usage error when options is empty
};

ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace ostravex::cli
