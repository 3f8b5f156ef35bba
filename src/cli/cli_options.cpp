#include "cli_options.h"

#include <algorithm>
#include <map>

namespace ostravex::cli {

const char* const kUsage =
    R"(Usage: ostravex-cli [OPTION]... PATH...        list every PATH, then trim the list
       ostravex-cli --list [OPTION]... PATH...  print the ROM list entries only
       ostravex-cli --list --dat=FILE PATH...   identify every listed rom, change nothing
       ostravex-cli --info FILE.nds             print the header report of an NDS image

Each PATH is handled like an item dropped on the window: a folder is searched for
".nds" and ".gba" files (recursively unless --no-recursive), then for zip, rar and 7z
archives, whose ".nds" and ".gba" members are listed too (unless --no-archives); a
".nds" or ".gba" file becomes one entry; an archive has its rom members listed.
A PATH that does not exist, or a folder that cannot be read, is reported and the
others are still done.

File options:
  --mode=overwrite         cut each rom in place (default)
  --mode=backup            keep the original as NAME.bak beside the cut rom
  --mode=folder            write cut roms into the folder given by --output
  --output=DIR             the output folder (needs --mode=folder), checked before
                           anything is read; a DIR that starts with "-" is given as
                           --output=DIR
  --dont-overwrite         with --mode=folder: a file already at a result's name is
                           never replaced: one that holds the same bytes as the result
                           is a skip ("Already there"), any other an error
  --sram-patch             patch GBA roms to save to SRAM (turn off if you get
                           corrupted GBA roms)
  --only-patch             do not trim GBA roms, only patch them (needs --sram-patch)
  --skip-dsi               leave DSi-enhanced NDS roms untouched
  --remove-scene-numbers   rename "0123 - Name.nds" to "Name.nds" after each entry
  --restore                instead of trimming, pad each rom with 0xFF back to its
                           full size (NDS: the cartridge size in its header; GBA: the
                           next power of two, at least 1 MiB)
  --check-padding          cut only when every byte removed is the same filler (0xFF or
                           0x00); a rom with other bytes there is skipped
  --no-header-check        change NDS roms whose header checksum does not match too
                           (by default they are skipped as damaged or not NDS images)

DATs:
  --dat=PATH               identify every rom against DATs (No-Intro style, Logiqx
                           XML in UTF-8 or UTF-16, or clrmamepro text); PATH is a DAT
                           file, a zip holding DATs (as DAT-o-MATIC gives them) or a
                           folder (its .dat, .xml and .zip files); may be given more
                           than once, a DAT reached twice is read once. One line per
                           rom says whether it is a full dump, a trimmed dump (and
                           its filler), a bad dump or in no DAT; a dump is cut only
                           when padding it back gives the DAT's dump again; --restore
                           pads a trimmed dump to its DAT size with its filler and
                           keeps the result only when it is the DAT's dump; the
                           summary then counts full, trimmed and bad dumps and roms
                           in no DAT; with --list each rom is only read and
                           identified, one line each, and nothing is changed

  --jobs=N                 read and hash up to N roms at once with --dat, on N threads
                           (default: one per processor core; 1 reads one rom at a
                           time); the log, counts and report stay in list order

Search options:
  --no-recursive           do not search subfolders
  --no-archives            do not look inside zip, rar and 7z archives

Output:
  --dry-run                decide and log every entry, write nothing (not with --list
                           or --info)
  --quiet                  print only error lines, warnings about DAT dumps (a bad
                           dump, a patched dump) and the summary (not with --json)
  --json                   print one JSON object per entry and a summary object (JSON
                           Lines) instead of the log; errors of the search go to
                           standard error; with --list one object per entry, with
                           --info one object with the report's lines
  -h, --help               show this text
  --version                show the version
Options that take a value accept --opt=VALUE and --opt VALUE; -- ends the options.

Log lines go to standard output. Each failure is also told once on standard error,
with --quiet and --json too, as "ostravex-cli: PATH -> OUTPUT: MESSAGE" (PATH the
rom, archive or folder; "-> OUTPUT" when the result goes to another file), with the
real cause where the log's text is fixed. Ctrl-C stops the run after the current
entry; a second Ctrl-C stops at once, leaving nothing half written.

Wrong usage, besides unknown options and missing values: options that would do
nothing, such as --list with --sram-patch, --mode, --dry-run, --restore or
--check-padding; --info with --restore or --dry-run; --quiet with --json; --restore
with --check-padding; --no-archives with an archive PATH.

Exit status: 0 when nothing failed, 1 when anything failed (an error line, a failed
archive member, a missing PATH, an unreadable folder, a missing output folder, a DAT
that cannot be loaded) or the run was stopped, 2 for wrong usage.
)";

namespace {

// Flags that switch one of the run's options on or (the "--no-" ones) off.
const std::map<std::string, std::pair<bool RunOptions::*, bool>> kRunFlags = {
    {"--dont-overwrite", {&RunOptions::dontOverwrite, true}},
    {"--sram-patch", {&RunOptions::sramPatch, true}},
    {"--only-patch", {&RunOptions::onlyPatch, true}},
    {"--skip-dsi", {&RunOptions::skipDsi, true}},
    {"--remove-scene-numbers", {&RunOptions::removeSceneNumbers, true}},
    {"--dry-run", {&RunOptions::dryRun, true}},
    {"--restore", {&RunOptions::restore, true}},
    {"--check-padding", {&RunOptions::checkPadding, true}},
    {"--no-recursive", {&RunOptions::recursiveScan, false}},
    {"--no-archives", {&RunOptions::scanArchives, false}},
    {"--no-header-check", {&RunOptions::headerCheck, false}},
};

const std::map<std::string, bool CliOptions::*> kOutputFlags = {
    {"--quiet", &CliOptions::quiet},
    {"--json", &CliOptions::json},
};

const std::map<std::string, FileMode> kModes = {
    {"overwrite", FileMode::Overwrite},
    {"backup", FileMode::Backup},
    {"folder", FileMode::Folder},
};

ParsedArguments Failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

// More jobs than this would only hold more files open and more buffers.
constexpr unsigned kMostJobs = 256;

// A number of jobs: digits only, from 1 to kMostJobs.
std::optional<unsigned> JobsNumber(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto jobs = static_cast<unsigned>(std::stoul(text));
    if (jobs < 1 || jobs > kMostJobs) {
        return std::nullopt;
    }
    return jobs;
}

// How the value of an option was given.
enum class ValueForm { Attached, NextArgument };

// Takes the value of `name` from "--name=VALUE" or from "--name VALUE" (the next argument).
// Returns false when `argument` is another option; `value` stays empty when the value is
// missing.
bool TakeValue(const std::string& name, const std::vector<std::string>& arguments,
               std::size_t& index, std::optional<std::string>& value, ValueForm& form) {
    const std::string& argument = arguments[index];
    if (argument.starts_with(name + "=")) {
        value = argument.substr(name.size() + 1);
        form = ValueForm::Attached;
        return true;
    }
    if (argument != name) {
        return false;
    }
    if (index + 1 < arguments.size()) {
        value = arguments[++index];
    }
    form = ValueForm::NextArgument;
    return true;
}

// A next argument that starts with "-" is most likely an option whose value was forgotten
// ("--output --dry-run"): taken as the value, the call would do what was not asked. Such a
// value is given attached.
bool LooksLikeAnOption(const std::optional<std::string>& value, ValueForm form) {
    return form == ValueForm::NextArgument && value && value->size() > 1 && value->front() == '-';
}

std::string AttachedValueError(const std::string& name, const std::string& value) {
    return "option '" + name + "' got '" + value + "'; a value that starts with '-' is given as " +
           name + "=VALUE";
}

// Options that would be taken and then do nothing: the first one found, as a usage error.
std::optional<std::string> UselessCombination(const CliOptions& options, bool modeGiven) {
    const RunOptions& run = options.run;
    const auto refuse = [](const std::string& verb, const char* option) {
        return verb + " cannot be used with " + option;
    };
    if (options.verb == Verb::List) {
        const std::pair<bool, const char*> listed[] = {
            {run.sramPatch, "--sram-patch"},
            {modeGiven, "--mode"},
            {run.dryRun, "--dry-run"},
            {run.restore, "--restore"},
            {run.checkPadding, "--check-padding"},
        };
        for (const auto& [given, option] : listed) {
            if (given) {
                return refuse("--list", option);
            }
        }
    }
    if (options.verb == Verb::Info) {
        if (run.restore) {
            return refuse("--info", "--restore");
        }
        if (run.dryRun) {
            return refuse("--info", "--dry-run");
        }
    }
    if (options.quiet && options.json) {
        return refuse("--quiet", "--json");
    }
    if (run.restore && run.checkPadding) {
        return refuse("--restore", "--check-padding");
    }
    return std::nullopt;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    CliOptions options;
    bool outputGiven = false;
    bool modeGiven = false;
    bool jobsGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::optional<std::string> value;
        ValueForm form = ValueForm::Attached;
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            options.verb = Verb::Help;
        } else if (argument == "--version") {
            options.verb = Verb::Version;
        } else if (argument == "--list") {
            options.verb = Verb::List;
        } else if (argument == "--info") {
            options.verb = Verb::Info;
        } else if (const auto flag = kRunFlags.find(argument); flag != kRunFlags.end()) {
            options.run.*(flag->second.first) = flag->second.second;
        } else if (const auto output = kOutputFlags.find(argument); output != kOutputFlags.end()) {
            options.*(output->second) = true;
        } else if (TakeValue("--mode", arguments, i, value, form)) {
            if (LooksLikeAnOption(value, form)) {
                return Failure(AttachedValueError("--mode", *value));
            }
            if (!value) {
                return Failure("option '--mode' needs a value (overwrite, backup or folder)");
            }
            const auto mode = kModes.find(*value);
            if (mode == kModes.end()) {
                return Failure("unknown file mode '" + *value +
                               "' (use overwrite, backup or folder)");
            }
            options.run.fileMode = mode->second;
            modeGiven = true;
        } else if (TakeValue("--dat", arguments, i, value, form)) {
            if (LooksLikeAnOption(value, form)) {
                return Failure(AttachedValueError("--dat", *value));
            }
            if (!value || value->empty()) {
                return Failure("option '--dat' needs a DAT file, zip or folder");
            }
            options.datFiles.push_back(*value);
        } else if (TakeValue("--jobs", arguments, i, value, form)) {
            if (!value) {
                return Failure("option '--jobs' needs a number of jobs");
            }
            const std::optional<unsigned> jobs = JobsNumber(*value);
            if (!jobs) {
                return Failure("option '--jobs' got '" + *value +
                               "'; it takes a number from 1 to " + std::to_string(kMostJobs));
            }
            options.run.jobs = *jobs;
            jobsGiven = true;
        } else if (TakeValue("--output", arguments, i, value, form)) {
            if (LooksLikeAnOption(value, form)) {
                return Failure(AttachedValueError("--output", *value));
            }
            if (!value || value->empty()) {
                return Failure("option '--output' needs a folder");
            }
            options.run.outputFolder = *value;
            outputGiven = true;
        } else {
            return Failure("unknown option '" + argument + "'");
        }
    }

    if (options.verb == Verb::Help || options.verb == Verb::Version) {
        return {options, {}};
    }
    if (options.verb == Verb::Info && options.paths.size() != 1) {
        return Failure(options.paths.empty() ? "--info needs FILE.nds"
                                             : "--info takes exactly one FILE.nds");
    }
    if (options.paths.empty()) {
        return Failure("no PATH given");
    }
    if (outputGiven && options.run.fileMode != FileMode::Folder) {
        return Failure("--output needs --mode=folder");
    }
    if (options.run.fileMode == FileMode::Folder && options.run.outputFolder.empty()) {
        return Failure("--mode=folder needs --output=DIR");
    }
    // Options that would be taken and then do nothing.
    if (options.run.dontOverwrite && options.run.fileMode != FileMode::Folder) {
        return Failure("--dont-overwrite needs --mode=folder");
    }
    if (options.run.onlyPatch && !options.run.sramPatch) {
        return Failure("--only-patch needs --sram-patch");
    }
    if (const std::optional<std::string> useless = UselessCombination(options, modeGiven)) {
        return Failure(*useless);
    }
    if (!options.datFiles.empty() && options.verb == Verb::Info) {
        return Failure("--dat cannot be used with --info");
    }
    if (jobsGiven && options.verb == Verb::Info) {
        return Failure("--jobs cannot be used with --info");
    }
    if (!options.run.outputFolder.empty() && options.run.outputFolder.back() != '/') {
        options.run.outputFolder += '/';
    }
    return {options, {}};
}

}  // namespace ostravex::cli
