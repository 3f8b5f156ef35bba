#include "trim/entry_record.h"

namespace ostravex {

void EntryRecord::line(const std::string& text, LineKind kind) {
    m_facts.lines.push_back({text, kind});
    m_host.addLog(text, kind);
}

void EntryRecord::error(const std::string& text) {
    line(text, LineKind::Failure);
    countError();
}

void EntryRecord::countError() {
    ++m_facts.errors;
    m_counted(CounterLabel::Errors, m_facts);
}

void EntryRecord::skip(const std::string& text, SkipReason reason) {
    line(text);
    m_facts.skipped = reason;
    m_counted(CounterLabel::Skipped, m_facts);
}

void EntryRecord::diagnostic(const std::string& text) {
    for (auto line = m_facts.lines.rbegin(); line != m_facts.lines.rend(); ++line) {
        if (line->kind == LineKind::Failure) {
            line->cause = text;
            break;
        }
    }
    m_host.diagnostic(text);
}

void EntryRecord::notice(const Notice& notice) {
    m_facts.notices.push_back(notice);
    m_host.notice(notice);
}

}  // namespace ostravex
