#include "cli.h"

#include "cli_host.h"
#include "cli_options.h"
#include "io/paths.h"
#include "romformat/header_report.h"
#include "scan/rom_scanner.h"
#include "trim/trim_run.h"

namespace ostravex::cli {
namespace {

bool PathExists(const std::string& path) {
    return FileExists(path) || DirectoryExists(path);
}

// Lists every PATH as a drop on the window would. Returns false when Ctrl-C stopped it.
bool ListPaths(const CliOptions& options, CliHost& host) {
    RomScanner scanner(host);
    scanner.HandleDrop(options.paths);
    return !host.wasInterrupted();
}

int runTrim(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressBar) {
    CliHost host(options, out, err, progressBar);
    host.setLogFilter(options.quiet ? LogFilter::ErrorsOnly : LogFilter::All);
    if (!ListPaths(options, host)) {
        host.finishProgress();
        return kExitErrorsCounted;
    }
    TrimRun run(host);
    const RunEnd end = run.run(host.entries());
    host.finishProgress();
    for (const std::string& label : host.counterLabels()) {
        out << label << '\n';
    }
    const bool failed = run.counters().ErrorCount > 0 || end == RunEnd::Halted;
    return failed ? kExitErrorsCounted : kExitSuccess;
}

int runList(const CliOptions& options, std::ostream& out, std::ostream& err) {
    CliHost host(options, out, err, false);
    host.setLogFilter(LogFilter::ErrorsToStandardError);
    const bool finished = ListPaths(options, host);
    for (const RomListEntry& entry : host.entries()) {
        out << entry.text() << '\n';
    }
    return finished ? kExitSuccess : kExitErrorsCounted;
}

int runInfo(const std::string& path, std::ostream& out, std::ostream& err) {
    if (!FileExists(path)) {
        err << "ostravex-cli: " << path << ": no such file\n";
        return kExitErrorsCounted;
    }
    if (LowerExtension(path) != ".nds") {
        err << "Only uncompressed roms supported\n";
        return kExitErrorsCounted;
    }
    std::vector<std::string> lines;
    if (Status status = ReadHeaderReport(path, lines); !status) {
        err << "ostravex-cli: " << path << ": " << status.reason() << '\n';
        return kExitErrorsCounted;
    }
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    return kExitSuccess;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
           bool progressBar) {
    const ParsedArguments parsed = ParseArguments(arguments);
    if (!parsed.options) {
        err << "ostravex-cli: " << parsed.error << "\nTry 'ostravex-cli --help'.\n";
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    if (options.verb == Verb::Help) {
        out << kUsage;
        return kExitSuccess;
    }
    if (options.verb == Verb::Info) {
        return runInfo(options.paths.front(), out, err);
    }
    for (const std::string& path : options.paths) {
        if (!PathExists(path)) {
            err << "ostravex-cli: " << path << ": no such file or folder\n";
            return kExitUsage;
        }
    }
    if (options.verb == Verb::List) {
        return runList(options, out, err);
    }
    return runTrim(options, out, err, progressBar);
}

}  // namespace ostravex::cli
