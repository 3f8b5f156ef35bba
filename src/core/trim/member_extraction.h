#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/entry_facts.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/status.h"
#include "romlist/rom_list_entry.h"
#include "trim/image_scan.h"
#include "trim/load_info.h"

namespace ostravex {

// Where the bytes of a rar or 7z member go.
enum class MemberDestination {
    File,    // into its file in the destination folder, which the run then cuts
    Memory,  // into the rom buffer only: its file is not created (a dry run)
};

// What the extraction of one archive member works on, and how it reports.
struct ExtractionContext {
    LoadInfo& job;
    // With MemberDestination::Memory, a rar or 7z member that is not scanned comes here.
    ByteBuffer& romBuffer;
    // A member stored unchanged in its archive is not copied into memory: its source is
    // set here instead.
    std::unique_ptr<ByteSource>& memberSource;
    MemberDestination destination = MemberDestination::File;
    // Given a scan, the member is read as it comes and never held whole: its bytes go
    // through `scan` and, given `output` too, into that file from its start (whatever the
    // destination; `romBuffer` and `memberSource` stay unused). A zip member is always read
    // so.
    ImageScan* scan = nullptr;
    File* output = nullptr;
    // With MemberDestination::Memory: whether the member's file could be created where it
    // would be extracted, asked when its bytes start to come, as its creation would be.
    std::function<Status(const std::string& path)> checkCreatable;
    // Moves the rom gauge, and lets the user's events run, while the member comes.
    std::function<void(std::uint64_t position, std::uint64_t maximum)> gauge;
    std::function<void()> pump;
    // Records an error line, counted.
    std::function<void(const std::string& line)> reportError;
    std::function<void(const Notice& notice)> notice;
};

// Makes the bytes of an archive member available to a run: a zip member is read as it
// comes (`iszip` set); a rar or 7z member is read so too when given a scan, else extracted
// flat into the folder of the job's output and `RawName` set to its file. A failure is reported
// through the context and ends the entry (`NeedsContinue`).
class MemberExtraction {
  public:
    virtual ~MemberExtraction() = default;
    virtual void SetCompressedStuff(ArchiveKind kind, ExtractionContext& context) = 0;
    // The run is over: whatever is kept open between members is let go.
    virtual void runEnded() {}
};

}  // namespace ostravex
