#include "cli_options.h"

#include <map>

namespace ostravex::cli {

const char* const kUsage =
    R"(Usage: ostravex-cli [OPTION]... PATH...        list every PATH, then trim the list
       ostravex-cli --list [OPTION]... PATH...  print the ROM list entries only
       ostravex-cli --info FILE.nds             print the header report of an NDS image

Each PATH is handled like an item dropped on the window: a folder is searched for
".nds" and ".gba" files (recursively unless --no-recursive); a ".nds" or ".gba" file
becomes one entry.

File options:
  --mode=overwrite         cut each rom in place (default)
  --mode=backup            keep the original as NAME.bak beside the cut rom
  --mode=folder            write cut roms into the folder given by --output
  --output=DIR             the output folder (needs --mode=folder)
  --dont-overwrite         with --mode=folder: skip roms whose output already exists
  --sram-patch             patch GBA roms to save to SRAM (turn off if you get
                           corrupted GBA roms)
  --only-patch             do not trim GBA roms, only patch them
  --skip-dsi               leave DSi-enhanced NDS roms untouched
  --remove-scene-numbers   rename "0123 - Name.nds" to "Name.nds" after each entry
Search options:
  --no-recursive           do not search subfolders
  --no-archives            do not look inside zip, rar and 7z archives
Output:
  --dry-run                decide and log every entry, write nothing
  --quiet                  print only error lines and the summary
  --help                   show this text

Log lines go to standard output, notices to standard error. Ctrl-C stops the run
after the current entry. Exit status: 0 when no error was counted, 1 when at least
one was (or the run was stopped), 2 for wrong usage.
)";

namespace {

const std::map<std::string, bool CliOptions::*> kFlags = {
    {"--dont-overwrite", &CliOptions::dontOverwrite},
    {"--sram-patch", &CliOptions::sramPatch},
    {"--only-patch", &CliOptions::onlyPatch},
    {"--skip-dsi", &CliOptions::skipDsi},
    {"--remove-scene-numbers", &CliOptions::removeSceneNumbers},
    {"--dry-run", &CliOptions::dryRun},
    {"--quiet", &CliOptions::quiet},
};

const std::map<std::string, FileMode> kModes = {
    {"overwrite", FileMode::Overwrite},
    {"backup", FileMode::Backup},
    {"folder", FileMode::Folder},
};

ParsedArguments Failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    CliOptions options;
    bool outputGiven = false;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            options.verb = Verb::Help;
        } else if (argument == "--list") {
            options.verb = Verb::List;
        } else if (argument == "--info") {
            options.verb = Verb::Info;
        } else if (argument == "--no-recursive") {
            options.recursive = false;
        } else if (argument == "--no-archives") {
            options.archives = false;
        } else if (const auto flag = kFlags.find(argument); flag != kFlags.end()) {
            options.*(flag->second) = true;
        } else if (argument.starts_with("--mode=")) {
            const auto mode = kModes.find(argument.substr(7));
            if (mode == kModes.end()) {
                return Failure("unknown file mode in '" + argument +
                               "' (use overwrite, backup or folder)");
            }
            options.mode = mode->second;
        } else if (argument.starts_with("--output=")) {
            options.outputFolder = argument.substr(9);
            outputGiven = true;
        } else {
            return Failure("unknown option '" + argument + "'");
        }
    }

    if (options.verb == Verb::Help) {
        return {options, {}};
    }
    if (options.paths.empty()) {
        return Failure("no PATH given");
    }
    if (options.verb == Verb::Info && options.paths.size() != 1) {
        return Failure("--info takes exactly one FILE.nds");
    }
    if (outputGiven && options.mode != FileMode::Folder) {
        return Failure("--output needs --mode=folder");
    }
    if (options.mode == FileMode::Folder && options.outputFolder.empty()) {
        return Failure("--mode=folder needs --output=DIR");
    }
    if (!options.outputFolder.empty() && options.outputFolder.back() != '/') {
        options.outputFolder += '/';
    }
    return {options, {}};
}

}  // namespace ostravex::cli
