#include "archive/archive_member_extraction.h"

#include "archive/member_sink.h"
#include "archive/zip_reader.h"

#include <optional>
#include "io/paths.h"

namespace ostravex {
namespace {

constexpr const char* kExtractionError = "Rar Extraction Error.";

// A member name that can only name a file inside the destination folder.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

void ArchiveMemberExtraction::SetCompressedStuff(ArchiveKind kind, ExtractionContext& context) {
    if (kind == ArchiveKind::Zip) {
        extractZipMember(context);
    } else {
        extractToDisk(kind, context);
    }
}

void ArchiveMemberExtraction::extractZipMember(ExtractionContext& context) {
    LoadInfo& job = context.job;
    job.iszip = true;
    const auto fail = [&](const std::string& line) {
        context.reportError(line);
        context.romBuffer.clear();
        job.NeedsContinue = true;
    };
    ZipReader zip;
    if (Status status = zip.open(job.CompressedFile); !status) {
        return fail("ERROR: Cannot open archive (" + status.reason() +
                    "): " + NamePart(job.CompressedFile));
    }
    const ZipEntry* member = nullptr;
    for (const ZipEntry& entry : zip.entries()) {
        if (entry.name() == job.filename) {
            member = &entry;
            break;
        }
    }
    if (!member) {
        return fail("ERROR: Cannot extract (the member is not in the archive): " +
                    NamePart(job.filename));
    }
    zip.onProgress = [&context](std::uint64_t current, std::uint64_t total) {
        context.gauge(current, total);
        context.pump();
    };
    // Read as it comes, block by block: the member is never held whole, in a dry run
    // neither.
    ScanningMemberSink sink(*context.scan, context.output, ZipReader::kMaxMemberSize);
    if (Status status = zip.readMember(*member, sink); !status) {
        const std::string& reason = status.reason();
        return fail(reason.starts_with("Cannot process this file: ")
                        ? "ERROR: " + reason
                        : "ERROR: Cannot extract (" + reason + "): " + NamePart(job.filename));
    }
    context.gauge(0, context.scan->size());
    job.RawName = job.OutFolder + job.filename;
}

void ArchiveMemberExtraction::extractToDisk(ArchiveKind kind, ExtractionContext& context) {
    LoadInfo& job = context.job;
    const std::string destination = WithTrailingSlash(job.OutFolder);
    const std::string path = destination + job.filename;

    const ExtractionProgress progress = [&context](std::uint64_t written, std::uint64_t size) {
        context.gauge(written, size);
        context.pump();
    };
    ArchiveExtraction extraction{ArchiveExtraction::Outcome::Failed, false,
                                 "the name would leave the destination folder"};
    if (IsPlainName(job.filename)) {
        FileMemberSink fileSink(path);
        // Kept in memory, the member is still checked against what creating its file would
        // meet, at the moment its file would be created.
        MemoryMemberSink memorySink(context.romBuffer, ZipReader::kMaxMemberSize,
                                    &context.memberSource,
                                    [&context, &path] { return context.checkCreatable(path); });
        std::optional<ScanningMemberSink> scanningSink;
        if (context.scan) {
            scanningSink.emplace(*context.scan, context.output, ZipReader::kMaxMemberSize);
        }
        MemberSink& sink = scanningSink ? static_cast<MemberSink&>(*scanningSink)
                           : context.destination == MemberDestination::Memory
                               ? static_cast<MemberSink&>(memorySink)
                               : fileSink;
        const LibarchiveFormat format =
            kind == ArchiveKind::Rar ? LibarchiveFormat::Rar : LibarchiveFormat::SevenZip;
        extraction = m_reader.extract(job.CompressedFile, format, job.filename, sink, progress);
    }
    if (extraction.headerBroken) {
        context.notice({NoticeKind::Failure, "File header broken",
                        "A file header is broken in " + job.CompressedFile});
    }
    if (extraction.outcome != ArchiveExtraction::Outcome::Extracted) {
        context.romBuffer.clear();
        context.memberSource.reset();
        context.reportError("ERROR: Cannot extract (" + extraction.reason +
                            "): " + NamePart(job.filename));
        context.notice({NoticeKind::Failure, kExtractionError,
                        "Cannot extract " + job.filename + " from " + job.CompressedFile +
                            " into " + destination + ": " + extraction.reason});
        job.NeedsContinue = true;
        return;
    }
    if (!context.scan) {
        job.RawName = path;
    }
}

}  // namespace ostravex
