#include "trim/entry_report.h"

#include <algorithm>

#include "trim/nds_decision.h"
#include "trim/output_patcher.h"

namespace ostravex {
namespace {

bool AnyLineStartsWith(const std::vector<std::string>& lines, const char* text) {
    return std::any_of(lines.begin(), lines.end(),
                       [text](const std::string& line) { return line.starts_with(text); });
}

}  // namespace

EntryOutcome OutcomeOfEntry(const EntryEnd& end, const std::vector<std::string>& lines) {
    if (end.errorCounted) {
        return EntryOutcome::Error;
    }
    if (end.skipCounted) {
        return AnyLineStartsWith(lines, kDsiSkipText) ? EntryOutcome::Dsi : EntryOutcome::Skipped;
    }
    if (end.finishedEarly) {
        // Only failures end an entry without counting it (an extraction shows a notice).
        return EntryOutcome::Error;
    }
    if (end.restoring) {
        return EntryOutcome::Restored;
    }
    return end.hasWifi ? EntryOutcome::Wifi : EntryOutcome::Trimmed;
}

std::optional<SramPatchOutcome> SramPatchOutcomeOf(const std::vector<std::string>& lines) {
    if (AnyLineStartsWith(lines, kSramPatchFailedText)) {
        return SramPatchOutcome::Failed;
    }
    if (AnyLineStartsWith(lines, kSramPatchedText)) {
        return SramPatchOutcome::Patched;
    }
    if (AnyLineStartsWith(lines, kSramNotPossibleText)) {
        return SramPatchOutcome::NotPossible;
    }
    return std::nullopt;
}

}  // namespace ostravex
