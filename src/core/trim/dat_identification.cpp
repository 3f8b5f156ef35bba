#include "trim/dat_identification.h"

#include "trim/file_failure_text.h"

namespace ostravex {

bool DatIdentification::identify(const ByteSource& image, ImageKind kind, const std::string& name) {
    m_check.emplace();
    if (Status status = CheckAgainstDats(m_dats, image, kind, name, *m_check); !status) {
        m_check.reset();
        m_record.error(FileFailureText(FileAction::Read, status) + name);
        return false;
    }
    recordMatch(name);
    return true;
}

void DatIdentification::identifyFrom(DatCheck checkedAhead, const std::string& name) {
    m_check.emplace(std::move(checkedAhead));
    recordMatch(name);
}

void DatIdentification::recordMatch(const std::string& name) {
    m_record.facts().dat = DatFactsOf(m_check->match);
    const DatFacts& facts = *m_record.facts().dat;
    // A bad dump is a warning: the user is told even when only failures are shown.
    m_record.line(DatMatchLine(facts, name),
                  facts.match == DatMatchOutcome::BadDump ? LineKind::Warning : LineKind::Info);
}

bool DatIdentification::keepsTheDump(std::uint64_t cut, std::uint64_t size,
                                     const std::string& name) {
    const DatMatch& match = m_check->match;
    const bool aDump =
        match.kind == DatMatchKind::FullDump || match.kind == DatMatchKind::TrimmedDump;
    if (!aDump || cut >= size || ReversibleFiller(match, m_check->hasher, cut).has_value()) {
        return true;
    }
    m_record.skip(kIrreversibleTrimText + name, SkipReason::Decision);
    return false;
}

bool DatIdentification::restoreToTheDump(CutVerdict& verdict, const std::string& name) {
    const DatMatch& match = m_check->match;
    if (match.kind == DatMatchKind::FullDump) {
        m_record.skip(kFullDumpNotRestoredText + name, SkipReason::Decision);
        return false;
    }
    const std::optional<DatRestore> restore = RestoreFromMatch(match);
    if (!restore) {
        m_record.error(kNotATrimmedDumpText + name);
        return false;
    }
    verdict.cutSize = static_cast<std::int64_t>(restore->size);
    m_restoreFiller = restore->filler;
    m_restoredDump = match.roms.front().rom;
    return true;
}

}  // namespace ostravex
