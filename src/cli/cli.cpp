#include "cli.h"

#include "archive/archive_member_extraction.h"
#include "cli_host.h"
#include "cli_options.h"
#include "io/paths.h"
#include "json_report.h"
#include "romformat/header_report.h"
#include "runlog/counter_labels.h"
#include "scan/rom_scanner.h"
#include "sram/sram_patcher.h"
#include "trim/trim_run.h"

namespace ostravex::cli {
namespace {

bool IsArchivePath(const std::string& path) {
    const std::string extension = LowerExtension(path);
    return extension == ".zip" || extension == ".rar" || extension == ".7z";
}

// The PATH arguments the scan gets, as `cp` treats its operands: one that cannot be listed
// is reported with one error line (counted by the host) and the others are still done. A
// missing rom path is kept when `keepMissingRoms` is set: its entry's run then reports
// "File doesn't exist", as for any listed rom that went away.
std::vector<std::string> PathsToScan(const std::vector<std::string>& paths, Host& host,
                                     bool keepMissingRoms) {
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        const bool exists = FileExists(path) || DirectoryExists(path);
        if (!exists && !(keepMissingRoms && IsRomName(path))) {
            host.addLog("ERROR: No such file or folder: " + path);
        } else if (exists && !DirectoryExists(path) && !IsRomName(path) && !IsArchivePath(path)) {
            host.addLog("ERROR: Neither a rom nor an archive nor a folder: " + path);
        } else {
            kept.push_back(path);
        }
    }
    return kept;
}

// Lists every PATH as a drop on the window would. Returns false when Ctrl-C stopped it.
bool ListPaths(const std::vector<std::string>& paths, CliHost& host) {
    RomScanner scanner(host);
    scanner.HandleDrop(paths);
    return !host.wasInterrupted();
}

int runTrim(const CliOptions& options, LineStream& out, LineStream& err) {
    if (options.dryRun) {
        err.writeLine("ostravex-cli: dry run: nothing will be written");
    }
    CliHost host(options, out, err);
    // With --json, standard output carries only JSON: the search's errors go to standard
    // error, and the run's lines into the entry objects.
    host.setLogFilter(options.json    ? LogFilter::ErrorsToStandardError
                      : options.quiet ? LogFilter::ErrorsOnly
                                      : LogFilter::All);
    const std::vector<std::string> paths = PathsToScan(options.paths, host, true);
    if (!ListPaths(paths, host)) {
        host.finishProgress();
        return kExitErrorsCounted;
    }
    const int scanErrors = host.errorLineCount();
    if (options.json) {
        host.setLogFilter(LogFilter::Nothing);
    }
    ArchiveMemberExtraction extraction;
    SramPatcher patcher;
    TrimRun run(host, extraction, patcher);
    const RunEnd end = run.run(host.entries());
    host.finishProgress();
    const RunCounters& counters = run.counters();
    if (options.json) {
        out.raw() << SummaryJson({.wifiGames = counters.WifiCount,
                                  .errors = counters.ErrorCount + scanErrors,
                                  .skipped = counters.SkippedCount,
                                  .processed = counters.ProcessedCount,
                                  .entries = host.entries().size(),
                                  .bytesSaved = counters.TotalSavings,
                                  .bytesAdded = counters.TotalAdded,
                                  .halted = end == RunEnd::Halted})
                  << '\n';
    } else {
        if (scanErrors > 0) {
            // The run counts only its own errors; the summary counts the scan's too.
            host.setLabel(CounterLabel::Errors, ErrorsLabel(counters.ErrorCount + scanErrors));
        }
        for (const std::string& label : host.counterLabels()) {
            out.writeLine(label);
        }
    }
    const bool failed =
        host.failureCount() > 0 || run.counters().ErrorCount > 0 || end == RunEnd::Halted;
    return failed ? kExitErrorsCounted : kExitSuccess;
}

int runList(const CliOptions& options, LineStream& out, LineStream& err) {
    CliHost host(options, out, err);
    host.setLogFilter(LogFilter::ErrorsToStandardError);
    const bool finished = ListPaths(PathsToScan(options.paths, host, false), host);
    for (const RomListEntry& entry : host.entries()) {
        out.writeLine(entry.text());
    }
    return finished && host.failureCount() == 0 ? kExitSuccess : kExitErrorsCounted;
}

int runInfo(const std::string& path, LineStream& out, LineStream& err) {
    if (!FileExists(path)) {
        err.writeLine("ostravex-cli: " + path + ": no such file");
        return kExitErrorsCounted;
    }
    if (LowerExtension(path) != ".nds") {
        err.writeLine("ostravex-cli: not an NDS image: " + path);
        return kExitErrorsCounted;
    }
    std::vector<std::string> lines;
    if (Status status = ReadHeaderReport(path, lines); !status) {
        err.writeLine("ostravex-cli: " + path + ": " + status.reason());
        return kExitErrorsCounted;
    }
    for (const std::string& line : lines) {
        out.writeLine(line);
    }
    return kExitSuccess;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           Terminals terminals) {
    LineStream outLines(out, terminals.out);
    LineStream errLines(err, terminals.err);
    const ParsedArguments parsed = ParseArguments(arguments);
    if (!parsed.options) {
        errLines.writeLine("ostravex-cli: " + parsed.error);
        errLines.writeLine("Try 'ostravex-cli --help'.");
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    switch (options.verb) {
        case Verb::Help:
            outLines.raw() << kUsage;
            return kExitSuccess;
        case Verb::Version:
            outLines.writeLine(std::string("ostravex-cli ") + OSTRAVEX_VERSION);
            return kExitSuccess;
        case Verb::Info:
            return runInfo(options.paths.front(), outLines, errLines);
        case Verb::List:
            return runList(options, outLines, errLines);
        case Verb::Trim:
            break;
    }
    return runTrim(options, outLines, errLines);
}

}  // namespace ostravex::cli
