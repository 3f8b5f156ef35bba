#pragma once

#include "archive/libarchive_reader.h"
#include "trim/member_extraction.h"

namespace ostravex {

// Reads an archive member's bytes as they come, block by block, through the job's scan and
// into its output when it has one: a zip member inflated by the program's own reader, a rar
// or 7z member decoded by libarchive. The last rar or 7z archive stays open until the run
// ends, so that its next member is read on from where the last one ended.
class ArchiveMemberExtraction final : public MemberExtraction {
  public:
    void readMember(ArchiveKind kind, ExtractionContext& context) override;
    void runEnded() override { m_reader.close(); }

  private:
    void extractZipMember(ExtractionContext& context);
    void extractLibarchiveMember(ArchiveKind kind, ExtractionContext& context);

    ArchiveMemberReader m_reader;
};

}  // namespace ostravex
