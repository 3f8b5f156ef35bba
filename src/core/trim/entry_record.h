#pragma once

#include <functional>
#include <string>

#include "host/entry_facts.h"
#include "host/host.h"

namespace ostravex {

// The facts of one entry, recorded as they happen. Every log line, count and notice of the
// entry is recorded here and shown at once; the entry's report is made of these facts.
class EntryRecord {
  public:
    // `counted`: a fact of the entry changed the count behind this label.
    using Counted = std::function<void(CounterLabel, const EntryFacts& ongoing)>;

    EntryRecord(Host& host, Counted counted) : m_host(host), m_counted(std::move(counted)) {}

    void line(const std::string& text, LineKind kind = LineKind::Info);
    // A failure line, counted as an error.
    void error(const std::string& text);
    void skip(const std::string& text, SkipReason reason);
    void notice(const Notice& notice);
    // A failure that is no line of its own (a rename that did not happen) is counted.
    void countError();
    // The fact behind `label` changed (a wifi game, the savings).
    void counted(CounterLabel label) { m_counted(label, m_facts); }
    // What really happened behind the last failure line, whose text is fixed: kept as that
    // line's cause, and said where the front end can (the command line's standard error).
    void diagnostic(const std::string& text);

    EntryFacts& facts() { return m_facts; }
    const EntryFacts& facts() const { return m_facts; }

  private:
    Host& m_host;
    Counted m_counted;
    EntryFacts m_facts;
};

}  // namespace ostravex
