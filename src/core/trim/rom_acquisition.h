#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "io/byte_source.h"
#include "io/file.h"
#include "io/status.h"
#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"
#include "trim/entry_record.h"
#include "trim/image_scan.h"
#include "trim/member_extraction.h"
#include "trim/output_writer.h"
#include "trim/rom_job.h"

namespace ostravex {

// How a rom file is opened: as the run needs it (for update when it is cut in place), or
// for reading only, whatever the file option.
enum class RomAccess { AsTheRunNeeds, ReadOnly };

// The first step of an entry: its rom's bytes made readable, in one of two ways.
// - A rom file is opened: for update when it is to be cut in place, so that the same
//   descriptor is read and cut (without write access it is still examined, and the output
//   step tells why it cannot be cut), else for reading. A file this run has already cut or
//   padded is read as the run left it (a dry run keeps it as it was).
// - An archive member is read as it comes, through a scan that keeps what the decisions
//   need, and into the file given to receive it (the member's output) when there is one.
class RomAcquisition {
  public:
    struct Services {
        EntryRecord& record;
        OutputWriter& writer;
        MemberExtraction& extraction;
        std::function<void(std::uint64_t position, std::uint64_t maximum)> gauge;
        std::function<void()> pump;
    };

    RomAcquisition(const Services& services, const RunOptions& options, RomJob& rom);
    ~RomAcquisition();
    RomAcquisition(const RomAcquisition&) = delete;
    RomAcquisition& operator=(const RomAcquisition&) = delete;

    // Opens the rom file. False when the entry ends here; its line is recorded.
    bool openFile(RomAccess access);
    // Reads the member into `receiver` (may be null: only the scan sees it). False when
    // the entry ends here; its line is recorded.
    bool readMember(ArchiveKind kind, File* receiver);

    // The rom's bytes, as this run has left them.
    const ByteSource& bytes() const { return *m_bytes; }
    std::uint64_t size() const { return m_bytes->size(); }
    // The scan of a member read as it came (its decisions read it); null for a file.
    const ImageScan* scan() const { return m_streamed ? &m_scan : nullptr; }
    // The rom's own file when its bytes are read from it unchanged.
    const File* file() const { return m_file; }
    // The rom file, for an output that takes it over or replaces it.
    File& source() { return m_source; }
    // Why a rom file to be cut in place could only be opened for reading.
    const std::optional<Status>& updateRefusal() const { return m_updateRefusal; }

    // Lets go of the rom's file and bytes.
    void release();

  private:
    class Reader;

    EntryRecord& m_record;
    OutputWriter& m_writer;
    MemberExtraction& m_extraction;
    std::function<void(std::uint64_t, std::uint64_t)> m_gauge;
    std::function<void()> m_pump;
    const RunOptions& m_options;
    RomJob& m_rom;

    File m_source;
    std::optional<Status> m_updateRefusal;
    bool m_streamed = false;
    ImageScan m_scan;
    std::unique_ptr<Reader> m_reader;
    const ByteSource* m_bytes = nullptr;
    const File* m_file = nullptr;
};

}  // namespace ostravex
