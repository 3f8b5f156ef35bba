#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "romlist/rom_list_entry.h"
#include "trim/load_info.h"

namespace ostravex {

// What the extraction of one archive member works on.
struct ExtractionContext {
    LoadInfo& job;
    ByteBuffer& romBuffer;
    Host& host;
    // Logs an error line and counts it.
    std::function<void(const std::string& line)> reportError;
    // In a dry run, a member that can be read where it lies in its archive (stored
    // unchanged) is not copied into the rom buffer: its source is set here instead.
    std::unique_ptr<ByteSource>& memberSource;
};

// Makes the bytes of an archive member available to a run: a zip member is decompressed
// into the rom buffer (and `iszip` set); a rar or 7z member is extracted into the output
// folder and `RawName` set to the extracted file. A failure is reported through the
// context and ends the entry (`NeedsContinue`).
class MemberExtraction {
  public:
    virtual ~MemberExtraction() = default;
    virtual void SetCompressedStuff(ArchiveKind kind, ExtractionContext& context) = 0;
    // The run is over: whatever is kept open between members is let go.
    virtual void runEnded() {}
};

}  // namespace ostravex
