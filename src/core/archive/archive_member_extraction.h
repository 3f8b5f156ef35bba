#pragma once

#include "archive/libarchive_reader.h"
#include "trim/member_extraction.h"

namespace ostravex {

// Makes an archive member's bytes available to the run: a zip member is inflated block by
// block through the job's scan (and into its output, when it has one); a rar or 7z member
// is extracted, flat under its base name, into the output folder (or beside its archive),
// or read through the scan as a zip member is when the job gives one. In a dry run nothing
// is written: rar and 7z members are read into the rom buffer unless scanned. The last rar or 7z
// archive stays open until the run ends, so that its next member is read on from where the last one
// ended.
class ArchiveMemberExtraction final : public MemberExtraction {
  public:
    void SetCompressedStuff(ArchiveKind kind, ExtractionContext& context) override;
    void runEnded() override { m_reader.close(); }

  private:
    void extractZipMember(ExtractionContext& context);
    void extractToDisk(ArchiveKind kind, ExtractionContext& context);

    ArchiveMemberReader m_reader;
};

}  // namespace ostravex
