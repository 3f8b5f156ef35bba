#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/entry_facts.h"
#include "io/byte_source.h"
#include "io/status.h"
#include "romlist/rom_list_entry.h"
#include "trim/image_scan.h"
#include "trim/rom_job.h"

namespace ostravex {

// What the extraction of one archive member works on, and how it reports.
struct ExtractionContext {
    RomJob& job;
    // The member is read as it comes and never held whole: its bytes go through `scan` and,
    // given `output`, into that file from its start.
    ImageScan& scan;
    File* output = nullptr;
    // Moves the rom gauge, and lets the user's events run, while the member comes.
    std::function<void(std::uint64_t position, std::uint64_t maximum)> gauge;
    std::function<void()> pump;
    // Records an error line, counted.
    std::function<void(const std::string& line)> reportError;
    std::function<void(const Notice& notice)> notice;
};

// Reads the bytes of an archive member (zip, rar or 7z) as they come into the context's scan
// and output. A failure is reported through the context and ends the entry
// (`finished`).
class MemberExtraction {
  public:
    virtual ~MemberExtraction() = default;
    virtual void readMember(ArchiveKind kind, ExtractionContext& context) = 0;
    // The run is over: whatever is kept open between members is let go.
    virtual void runEnded() {}
};

}  // namespace ostravex
