#include "archive/archive_member_extraction.h"

#include "archive/member_sink.h"
#include "archive/zip_reader.h"

#include <optional>

#include "io/paths.h"
#include "trim/output_placement.h"

namespace ostravex {
namespace {

constexpr const char* kExtractionError = "Rar Extraction Error.";

// An output name that can only name a file inside the destination folder.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

void ArchiveMemberExtraction::readMember(ArchiveKind kind, ExtractionContext& context) {
    if (kind == ArchiveKind::Zip) {
        extractZipMember(context);
    } else {
        extractLibarchiveMember(kind, context);
    }
}

void ArchiveMemberExtraction::extractZipMember(ExtractionContext& context) {
    RomJob& job = context.job;
    const auto fail = [&](const std::string& line) {
        context.reportError(line);
        job.finished = true;
    };
    ZipReader zip;
    if (Status status = zip.open(job.archivePath); !status) {
        return fail("ERROR: Cannot open archive (" + status.reason() +
                    "): " + NamePart(job.archivePath));
    }
    const ZipEntry* member = nullptr;
    for (const ZipEntry& entry : zip.entries()) {
        if (entry.name() == job.name) {
            member = &entry;
            break;
        }
    }
    if (!member) {
        return fail("ERROR: Cannot extract (the member is not in the archive): " +
                    NamePart(job.name));
    }
    zip.onProgress = [&context](std::uint64_t current, std::uint64_t total) {
        context.gauge(current, total);
        context.pump();
    };
    // Read as it comes, block by block: the member is never held whole, in a dry run
    // neither.
    ScanningMemberSink sink(context.scan, context.output, ZipReader::kMaxMemberSize);
    if (Status status = zip.readMember(*member, sink); !status) {
        const std::string& reason = status.reason();
        return fail(reason.starts_with("Cannot process this file: ")
                        ? "ERROR: " + reason
                        : "ERROR: Cannot extract (" + reason + "): " + NamePart(job.name));
    }
    context.gauge(0, context.scan.size());
}

void ArchiveMemberExtraction::extractLibarchiveMember(ArchiveKind kind,
                                                      ExtractionContext& context) {
    RomJob& job = context.job;
    const ExtractionProgress progress = [&context](std::uint64_t written, std::uint64_t size) {
        context.gauge(written, size);
        context.pump();
    };
    ArchiveExtraction extraction{ArchiveExtraction::Outcome::Failed, false,
                                 "the name would leave the destination folder"};
    // The member is found by its whole path; its result takes the path's last part in the
    // output's folder, and a last part that could lead anywhere else is refused.
    if (IsPlainName(StripMemberPath(job.name))) {
        ScanningMemberSink sink(context.scan, context.output, ZipReader::kMaxMemberSize);
        const LibarchiveFormat format =
            kind == ArchiveKind::Rar ? LibarchiveFormat::Rar : LibarchiveFormat::SevenZip;
        extraction = m_reader.extract(job.archivePath, format, job.name, sink, progress);
    }
    if (extraction.headerBroken) {
        context.notice({NoticeKind::Failure, "File header broken",
                        "A file header is broken in " + job.archivePath});
    }
    if (extraction.outcome != ArchiveExtraction::Outcome::Extracted) {
        context.reportError("ERROR: Cannot extract (" + extraction.reason +
                            "): " + NamePart(job.name));
        context.notice({NoticeKind::Failure, kExtractionError,
                        "Cannot extract " + job.name + " from " + job.archivePath + " into " +
                            WithTrailingSlash(job.outputFolder) + ": " + extraction.reason});
        job.finished = true;
        return;
    }
    context.gauge(0, context.scan.size());
}

}  // namespace ostravex
