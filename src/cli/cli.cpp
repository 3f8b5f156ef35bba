#include "cli.h"
#include "io/heap_growth.h"

#include <clocale>

#include "archive/archive_member_extraction.h"
#include "cli_host.h"
#include "cli_options.h"
#include "dat/dat_index.h"
#include "dat/image_hasher.h"
#include "datsources/dat_sources.h"
#include "host/front_end.h"
#include "host/license_notice.h"
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

std::string DecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    return conventions && conventions->decimal_point && *conventions->decimal_point
               ? conventions->decimal_point
               : ".";
}

// Each PATH argument with what it names, asked once for every check made on it: one
// question per path, or one read of a folder that many of them share.
std::vector<RomScanner::DroppedPath> KindsOfGivenPaths(const std::vector<std::string>& paths) {
    const std::vector<PathKind> kinds = KindsOfPaths(paths);
    std::vector<RomScanner::DroppedPath> given;
    given.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        given.push_back({paths[i], kinds[i]});
    }
    return given;
}

// An archive named directly while archives are not looked into would be passed over with
// nothing said: the call is a usage error instead.
std::optional<std::string> ArchiveRefusedByOptions(
    const std::vector<RomScanner::DroppedPath>& paths, const RunOptions& options) {
    if (options.scanArchives) {
        return std::nullopt;
    }
    for (const RomScanner::DroppedPath& path : paths) {
        if (path.kind != PathKind::Folder && IsArchivePath(path.path)) {
            return "--no-archives cannot be used with the archive " + path.path;
        }
    }
    return std::nullopt;
}

// The PATH arguments the scan gets, as `cp` treats its operands: one that cannot be listed
// is reported with one error line and the others are still done. A missing rom path is kept
// when `keepMissingRoms` is set: its entry's run then reports "File doesn't exist", as for
// any listed rom that went away.
struct PathsToScan {
    std::vector<RomScanner::DroppedPath> kept;
    int errors = 0;
};

PathsToScan SortPaths(const std::vector<RomScanner::DroppedPath>& paths, Host& host,
                      bool keepMissingRoms) {
    PathsToScan sorted;
    const auto refuse = [&](const std::string& path, const std::string& line) {
        host.addScanFailure(path, line);
        ++sorted.errors;
    };
    for (const RomScanner::DroppedPath& given : paths) {
        const std::string& path = given.path;
        const PathKind kind = given.kind;
        const bool exists = kind == PathKind::File || kind == PathKind::Folder;
        if (!exists && !(keepMissingRoms && IsRomName(path))) {
            refuse(path, "ERROR: No such file or folder: " + path);
        } else if (kind == PathKind::File && !IsRomName(path) && !IsArchivePath(path)) {
            refuse(path, "ERROR: Neither a rom nor an archive nor a folder: " + path);
        } else {
            sorted.kept.push_back(given);
        }
    }
    return sorted;
}

// The output folder of --mode=folder, checked once before anything is read: without it every
// entry would be read and then fail on its own. The error line, or nothing when the folder
// can take the results.
std::optional<std::string> OutputFolderError(const RunOptions& options) {
    if (options.fileMode != FileMode::Folder) {
        return std::nullopt;
    }
    const std::string& folder = options.outputFolder;
    if (KindOfPath(folder) == PathKind::Missing) {
        return "ERROR: Output folder does not exist: " + folder;
    }
    if (Status status = CheckCanCreateIn(folder); !status) {
        return "ERROR: Output folder cannot be written (" + status.reason() + "): " + folder;
    }
    return std::nullopt;
}

// The engine's view of the command line: its host, its fixed options, its halt request
// (Ctrl-C).
class Session {
  public:
    Session(const CliOptions& options, LineStream& out, LineStream& err)
        : Session(options, options.run, out, err) {}
    Session(const CliOptions& options, const RunOptions& run, LineStream& out, LineStream& err)
        : host(options.json, out, err),
          runOptions(run),
          frontEnd{host, runOptions, control, DecimalSeparator()} {
        control.setPump([this] { host.pump(control); }, RunControl::PumpKind::ChecksForStop);
    }

    CliHost host;
    FixedRunOptions runOptions;
    RunControl control;
    FrontEnd frontEnd;
};

// Lists every PATH as a drop on the window would. Returns false when Ctrl-C stopped it.
bool ListPaths(const std::vector<RomScanner::DroppedPath>& paths, Session& session,
               RomScanner& scanner) {
    scanner.listDropped(paths, 0);
    return !session.host.wasInterrupted();
}

// Loads every DAT the --dat options name (files, zips of DATs, folders of them). A DAT that
// cannot be loaded stops the call before anything is done: the run would otherwise cut roms
// without the checks the user asked for. Every failure is reported, and every DAT that
// leaves roms out is warned of.
bool LoadDats(const std::vector<std::string>& sources, std::shared_ptr<const DatIndex>& dats,
              LineStream& err) {
    if (sources.empty()) {
        return true;
    }
    // The DATs' roms are tens of thousands of small allocations kept to the end of the run.
    GrowHeapInLargeSteps();
    LoadedDats loaded = LoadDatSources(sources);
    for (const std::string& warning : loaded.warnings) {
        err.writeLine(warning);
    }
    for (const DatSourceFailure& failure : loaded.failures) {
        err.writeLine(FailureLine(failure));
    }
    if (!loaded.failures.empty()) {
        return false;
    }
    auto index = std::make_shared<DatIndex>();
    for (DatFile& dat : loaded.dats) {
        index->add(std::move(dat));
    }
    // Hashing needs libcrypto's SHA-1, tried now: without it no rom is touched.
    if (Status status = Sha1Available(); !status) {
        err.writeLine("ERROR: Cannot hash roms: " + status.reason());
        return false;
    }
    dats = std::move(index);
    return true;
}

void ReportUsageError(const std::string& error, LineStream& err) {
    err.writeLine("ostravex-cli: " + error);
    err.writeLine("Try 'ostravex-cli --help'.");
}

int runTrim(const CliOptions& options, LineStream& out, LineStream& err) {
    const std::vector<RomScanner::DroppedPath> given = KindsOfGivenPaths(options.paths);
    if (const std::optional<std::string> refused = ArchiveRefusedByOptions(given, options.run)) {
        ReportUsageError(*refused, err);
        return kExitUsage;
    }
    Session session(options, out, err);
    CliHost& host = session.host;
    // With --json, standard output carries only JSON: the search's errors go to standard
    // error, and the run's lines into the entry objects.
    host.setLogFilter(options.json    ? LogFilter::StandardErrorOnly
                      : options.quiet ? LogFilter::FailuresAndWarnings
                                      : LogFilter::All);
    if (const std::optional<std::string> error = OutputFolderError(options.run)) {
        host.addScanFailure(options.run.outputFolder, *error);
        return kExitErrorsCounted;
    }
    std::shared_ptr<const DatIndex> dats;
    if (!LoadDats(options.datFiles, dats, err)) {
        return kExitErrorsCounted;
    }
    if (options.run.dryRun) {
        err.writeLine("ostravex-cli: dry run: nothing will be written");
    }
    const PathsToScan paths = SortPaths(given, host, true);
    RomScanner scanner(session.frontEnd);
    if (!ListPaths(paths.kept, session, scanner)) {
        host.finishProgress();
        return kExitErrorsCounted;
    }
    const int scanErrors = paths.errors + scanner.errorCount();
    if (options.json) {
        host.setLogFilter(LogFilter::Nothing);
    }
    ArchiveMemberExtraction extraction;
    SramPatcher patcher;
    TrimRun run(session.frontEnd, extraction, patcher);
    const RunEnd end = run.run(host.entries(), dats);
    host.finishProgress();
    if (options.json) {
        RunSummary summary{.counters = run.counters(),
                           .entries = host.entries().size(),
                           .halted = end == RunEnd::Halted,
                           .withDats = dats != nullptr};
        summary.counters.errors += scanErrors;
        out.writeRaw(SummaryJson(summary) + '\n');
    } else {
        if (scanErrors > 0) {
            // The run counts only its own errors; the summary counts the scan's too.
            host.setLabel(CounterLabel::Errors, ErrorsLabel(run.counters().errors + scanErrors));
        }
        for (const std::string& label : host.counterLabels()) {
            out.writeLine(label);
        }
        if (dats) {
            for (const std::string& line : DatCountLines(run.counters().dats)) {
                out.writeLine(line);
            }
        }
    }
    const bool failed = paths.errors > 0 || scanner.failureCount() > 0 || run.anythingFailed() ||
                        end == RunEnd::Halted;
    return failed ? kExitErrorsCounted : kExitSuccess;
}

void PrintListed(const CliOptions& options, const std::vector<RomListEntry>& entries,
                 LineStream& out) {
    for (const RomListEntry& entry : entries) {
        if (options.json) {
            out.writeRaw(ListEntryJson(entry) + '\n');
        } else {
            out.writeLine(entry.text());
        }
    }
}

// --list with DATs: every listed entry is read and identified, and nothing is changed; one
// line (or JSON object) per entry, then the DAT counts. Returns whether every entry was
// identified and the run was not stopped.
bool IdentifyListed(const CliOptions& options, Session& session,
                    std::shared_ptr<const DatIndex> dats, int scanErrors, LineStream& out) {
    CliHost& host = session.host;
    // Each entry's lines are printed once it is finished; the run's own lines are not.
    host.setLogFilter(LogFilter::Nothing);
    host.setEntryReport(EntryReport::Identification, options.json ? LogFilter::Nothing
                                                     : options.quiet
                                                         ? LogFilter::FailuresAndWarnings
                                                         : LogFilter::All);
    ArchiveMemberExtraction extraction;
    SramPatcher patcher;
    TrimRun run(session.frontEnd, extraction, patcher);
    const RunEnd end = run.identify(host.entries(), std::move(dats));
    host.finishProgress();
    if (options.json) {
        RunSummary summary{.counters = run.counters(),
                           .entries = host.entries().size(),
                           .halted = end == RunEnd::Halted,
                           .withDats = true};
        summary.counters.errors += scanErrors;
        out.writeRaw(IdentificationSummaryJson(summary) + '\n');
    } else {
        for (const std::string& line : DatCountLines(run.counters().dats)) {
            out.writeLine(line);
        }
    }
    return end == RunEnd::Finished && !run.anythingFailed();
}

int runList(const CliOptions& options, LineStream& out, LineStream& err) {
    const std::vector<RomScanner::DroppedPath> given = KindsOfGivenPaths(options.paths);
    if (const std::optional<std::string> refused = ArchiveRefusedByOptions(given, options.run)) {
        ReportUsageError(*refused, err);
        return kExitUsage;
    }
    std::shared_ptr<const DatIndex> dats;
    if (!LoadDats(options.datFiles, dats, err)) {
        return kExitErrorsCounted;
    }
    Session session(options, out, err);
    session.host.setLogFilter(LogFilter::StandardErrorOnly);
    const PathsToScan paths = SortPaths(given, session.host, false);
    RomScanner scanner(session.frontEnd);
    const bool finished = ListPaths(paths.kept, session, scanner);
    bool identified = true;
    if (!dats) {
        PrintListed(options, session.host.entries(), out);
    } else if (finished) {
        identified = IdentifyListed(options, session, std::move(dats),
                                    paths.errors + scanner.errorCount(), out);
    }
    const bool failed = !finished || !identified || paths.errors > 0 || scanner.failureCount() > 0;
    return failed ? kExitErrorsCounted : kExitSuccess;
}

int runInfo(const std::string& path, bool json, LineStream& out, LineStream& err) {
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
    if (json) {
        out.writeRaw(HeaderReportJson(path, lines) + '\n');
        return kExitSuccess;
    }
    for (const std::string& line : lines) {
        out.writeLine(line);
    }
    return kExitSuccess;
}

int RunVerb(const std::vector<std::string>& arguments, LineStream& outLines, LineStream& errLines) {
    const ParsedArguments parsed = ParseArguments(arguments);
    if (!parsed.options) {
        ReportUsageError(parsed.error, errLines);
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    switch (options.verb) {
        case Verb::Help:
            outLines.writeRaw(kUsage);
            return kExitSuccess;
        case Verb::Version:
            outLines.writeLine(std::string("ostravex-cli ") + OSTRAVEX_VERSION);
            outLines.writeRaw(kLicenseNotice);
            return kExitSuccess;
        case Verb::Info:
            return runInfo(options.paths.front(), options.json, outLines, errLines);
        case Verb::List:
            return runList(options, outLines, errLines);
        case Verb::Trim:
            break;
    }
    return runTrim(options, outLines, errLines);
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           Terminals terminals) {
    LineStream outLines(out, terminals.out);
    LineStream errLines(err, terminals.err);
    const int code = RunVerb(arguments, outLines, errLines);
    // As the GNU tools do: output that could not be written (a full disk, a closed pipe
    // that does not end the program) is a failure, told on standard error.
    if (!outLines.flush()) {
        errLines.writeLine("ostravex-cli: write error: " + outLines.failure());
        errLines.flush();
        return code == kExitUsage ? kExitUsage : kExitErrorsCounted;
    }
    return code;
}

}  // namespace ostravex::cli
