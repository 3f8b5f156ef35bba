#pragma once

#include <gtest/gtest.h>

#include <optional>
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

// Every line of `text`.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Every line of `text` but those that tell the run's duration, and the dry run's own notice.
inline std::vector<std::string> ComparableLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Trimming took ") ||
            line == "ostravex-cli: dry run: nothing will be written") {
            continue;
        }
        lines.push_back(line);
    }
    return lines;
}

// Whether the call trims or restores, so that a dry run of it says what it would say.
inline bool DoesARun(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            break;
        }
        if (argument == "--dry-run" || argument == "--list" || argument == "--info" ||
            argument == "--help" || argument == "--version") {
            return false;
        }
    }
    return true;
}

// How a test's run is checked against its dry run.
enum class DryRunCheck {
    Compared,  // a dry run first, on the same files, must give the same lines and status
    // The test changes the files between the two, or makes the run fail where no check
    // could foresee it (a full disk, a kill): the dry run is not compared.
    NotComparable,
};

inline CliResult RunCommandOnce(const std::vector<std::string>& arguments,
                                cli::Terminals terminals = {}) {
    std::ostringstream out, err;
    const int code = cli::RunCli(arguments, out, err, terminals);
    return {code, out.str(), err.str()};
}

// Runs the command line. A run is first made as a dry run on the same files, which must
// change nothing and say what the run then says: the same lines, counters, report and exit
// status. So every test of a run is a test of its dry run too.
inline CliResult RunCommand(const std::vector<std::string>& arguments,
                            cli::Terminals terminals = {},
                            DryRunCheck check = DryRunCheck::Compared) {
    std::optional<CliResult> dry;
    if (check == DryRunCheck::Compared && DoesARun(arguments)) {
        std::vector<std::string> dryArguments = arguments;
        dryArguments.insert(dryArguments.begin(), "--dry-run");
        dry = RunCommandOnce(dryArguments, terminals);
    }
    CliResult result = RunCommandOnce(arguments, terminals);
    if (dry) {
        std::string call;
        for (const std::string& argument : arguments) {
            call += " " + argument;
        }
        SCOPED_TRACE("the dry run of:" + call);
        EXPECT_EQ(ComparableLines(dry->out), ComparableLines(result.out));
        EXPECT_EQ(ComparableLines(dry->err), ComparableLines(result.err));
        EXPECT_EQ(dry->code, result.code);
    }
    return result;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace ostravex::testing
