#include "trim/rom_acquisition.h"

#include <cerrno>

#include "io/padded_byte_source.h"
#include "io/paths.h"
#include "trim/file_failure_text.h"
#include "trim/output_placement.h"
#include "trim/restore_decision.h"

namespace ostravex {
namespace {

bool IsMissingWriteAccess(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

}  // namespace

// The readers over the rom's bytes: its file, the file as this run has left it (its first
// bytes, then restore filler), or the file a member was read into.
class RomAcquisition::Reader {
  public:
    Reader(const File& file, std::uint64_t size) : m_file(file, size) {}
    void asChanged(const ChangedFile& changed) {
        m_leading.emplace(m_file, changed.keptSize);
        m_padded.emplace(*m_leading, changed.size, kRestoreFiller);
    }
    const ByteSource& bytes() const {
        return m_padded ? static_cast<const ByteSource&>(*m_padded) : m_file;
    }

  private:
    FileByteSource m_file;
    std::optional<LeadingBytes> m_leading;
    std::optional<PaddedByteSource> m_padded;
};

RomAcquisition::RomAcquisition(const Services& services, const RunOptions& options, RomJob& rom)
    : m_record(services.record),
      m_writer(services.writer),
      m_extraction(services.extraction),
      m_gauge(services.gauge),
      m_pump(services.pump),
      m_options(options),
      m_rom(rom) {}

RomAcquisition::~RomAcquisition() = default;

void RomAcquisition::release() {
    m_bytes = nullptr;
    m_file = nullptr;
    m_reader.reset();
    m_source.close();
}

bool RomAcquisition::readMember(ArchiveKind kind, File* receiver) {
    m_streamed = true;
    ExtractionContext context{
        .job = m_rom,
        .scan = m_scan,
        .output = receiver,
        .gauge = m_gauge,
        .pump = m_pump,
        .reportError = [this](const std::string& text) { m_record.error(text); },
        .notice = [this](const Notice& shown) { m_record.notice(shown); },
    };
    m_extraction.readMember(kind, context);
    if (m_rom.finished) {
        return false;
    }
    // The bytes are in the receiving file when there is one; else only the scan saw them.
    if (receiver) {
        m_reader = std::make_unique<Reader>(*receiver, m_scan.size());
        m_bytes = &m_reader->bytes();
    } else {
        m_bytes = &m_scan;
    }
    m_record.facts().sizeBefore = m_scan.size();
    m_gauge(0, 100);
    return true;
}

bool RomAcquisition::openFile(RomAccess access) {
    const std::string& path = m_rom.filePath;
    const std::optional<ChangedFile> changed = m_writer.changedFile(path);
    if (changed && changed->gone) {
        m_record.error("ERROR: File doesn't exist: " + NamePart(path));
        return false;
    }
    const bool forUpdate =
        access == RomAccess::AsTheRunNeeds && IsWrittenInPlace(m_rom, m_options.fileMode);
    Status status = forUpdate ? m_source.openForUpdate(path) : m_source.openForReading(path);
    if (forUpdate && !status && IsMissingWriteAccess(status.code())) {
        m_updateRefusal = status;
        status = m_source.openForReading(path);
    }
    if (IsHeldByAnotherRun(status)) {
        m_source.close();
        m_record.skip("SKIP: In use by another run: " + NamePart(path), SkipReason::Decision);
        return false;
    }
    if (!status) {
        m_source.close();
        // The open has told whether the file is there, and a folder under a rom's name
        // refuses to be opened for update (EISDIR): as no rom file is there, it is missing
        // too. Only other failures are asked about.
        const bool missing =
            status.code() == ENOENT || status.code() == EISDIR || !m_writer.exists(path);
        m_record.error(missing ? "ERROR: File doesn't exist: " + NamePart(path)
                               : FileFailureText(FileAction::Open, status) + NamePart(path));
        return false;
    }
    if (m_options.fileMode != FileMode::Folder && m_source.openedThroughLink()) {
        m_record.facts().linkTarget = SymbolicLinkTarget(path);
    }
    m_reader = std::make_unique<Reader>(m_source, m_source.sizeAtOpen());
    m_file = &m_source;
    if (changed) {
        // A file this run has already cut or padded (a dry run keeps it as it was).
        m_reader->asChanged(*changed);
        m_file = nullptr;
    }
    m_bytes = &m_reader->bytes();
    m_record.facts().sizeBefore = m_bytes->size();
    m_gauge(0, m_bytes->size());
    return true;
}

}  // namespace ostravex
