#include "trim/dry_run_writer.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "io/byte_source.h"
#include "io/output_file.h"
#include "io/padded_byte_source.h"
#include "io/paths.h"
#include "trim/output_plan.h"
#include "trim/restore_decision.h"

namespace ostravex {
namespace {

// Copies the first `length` bytes of `image` to the start of `to`.
Status CopyImageStart(const ByteSource& image, std::uint64_t length, File& to) {
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    for (std::uint64_t at = 0; at < length;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - at));
        std::size_t got = 0;
        if (Status status = image.readAt(at, std::span(buffer).first(chunk), got); !status) {
            return status;
        }
        if (got == 0) {
            return Status::failure("the rom ended before its kept size");
        }
        if (Status status = to.writeAt(at, std::span<const std::uint8_t>(buffer).first(got));
            !status) {
            return status;
        }
        at += got;
    }
    return Status::success();
}

}  // namespace

void DryRunWriter::runStarted() {
    m_target.reset();
    m_origins.clear();
    m_created.clear();
    m_gone.clear();
    m_changed.clear();
}

bool DryRunWriter::exists(const std::string& path) const {
    if (m_gone.contains(path)) {
        return false;
    }
    return m_created.contains(path) || FileExists(path);
}

Status DryRunWriter::nameIsFree(const std::string& path) const {
    if (m_gone.contains(path)) {
        return Status::success();
    }
    if (m_created.contains(path)) {
        return Status::fromErrno(EEXIST);
    }
    return NameIsFree(path);
}

std::optional<ChangedFile> DryRunWriter::changedFile(const std::string& path) const {
    if (m_gone.contains(path)) {
        return ChangedFile{.gone = true};
    }
    if (const auto changed = m_changed.find(path); changed != m_changed.end()) {
        return changed->second;
    }
    return std::nullopt;
}

void DryRunWriter::create(const std::string& path) {
    m_gone.erase(path);
    m_created.insert(path);
}

std::optional<OutputFailure> DryRunWriter::prepare(const OutputTarget& target, File& source) {
    m_target.reset();
    if (std::optional<OutputFailure> failure = CheckOutputPlan(target)) {
        return failure;
    }
    switch (target.kind) {
        case OutputTarget::Kind::InPlace:
        case OutputTarget::Kind::Replace:
        case OutputTarget::Kind::NewFile:
            break;
        case OutputTarget::Kind::KeepOriginal: {
            // A backup left by a killed run is taken, as a real run takes it.
            const bool asReal = source.isOpen() && !m_created.contains(target.backup) &&
                                !m_gone.contains(target.backup);
            if (Status usable = asReal ? BackupNameUsable(target.backup, source, target.path)
                                       : nameIsFree(target.backup);
                !usable) {
                return OutputFailure{OutputStage::KeepOriginal, usable};
            }
            break;
        }
    }
    m_target = target;
    return std::nullopt;
}

Status DryRunWriter::createReceiver(const std::string& path) {
    // Beside where the output would be, else in the temporary folder.
    return m_receiver.createUnnamedNear(FolderPart(path));
}

std::optional<OutputFailure> DryRunWriter::prepareStreamed(const OutputTarget& target,
                                                           bool imageNeeded, File*& receiver) {
    receiver = nullptr;
    File noSource;
    if (std::optional<OutputFailure> failure = prepare(target, noSource)) {
        return failure;
    }
    if (imageNeeded) {
        if (Status status = createReceiver(target.path); !status) {
            m_target.reset();
            return OutputFailure{OutputStage::Create, status};
        }
        receiver = &m_receiver;
    }
    return std::nullopt;
}

// A result this run made only in thought has no bytes to compare: it is the same as the new
// one when both are made alike from the same rom.
void DryRunWriter::compareWithMadeInThought(const OutputContent& content,
                                            OutputResult& result) const {
    const auto made = m_origins.find(m_target->path);
    if (made != m_origins.end() && made->second == content.origin) {
        result.alreadyThere = true;
        result.madeInThisRun = true;
        return;
    }
    result.failure = OutputFailure{OutputStage::Occupied, Status::fromErrno(EEXIST)};
}

OutputResult DryRunWriter::finishReceiver(const OutputContent& content, OutputPatcher& patcher,
                                          const CopyProgress& progress, bool streamed) {
    OutputResult result;
    result.size = content.size;
    const bool neverReplaces = m_target && m_target->neverReplaces;
    const bool finishesUnfinished = streamed && neverReplaces && !m_gone.contains(m_target->path) &&
                                    !m_created.contains(m_target->path) &&
                                    HoldsUnfinishedMemberResult(m_receiver, m_target->path);
    if (Status status = FinishInOutput(m_receiver, content, progress); !status) {
        result.failure = OutputFailure{OutputStage::Write, status};
        return result;
    }
    if (content.sramPatch) {
        SramPatchResult patch;
        if (!RefusesSramPatch(patcher, content.size, patch)) {
            if (Status status = patcher.patch(m_receiver, patch); !status) {
                result.patch = SramPatchResult{SramPatchOutcome::Failed, status.reason(), 0};
                result.failure = OutputFailure{OutputStage::SramPatch, status};
                return result;
            }
            result.size = patch.sizeAfter;
        }
        result.patch = patch;
    }
    if (content.verify) {
        if (Status status = content.verify(FileByteSource(m_receiver, result.size)); !status) {
            result.failure = OutputFailure{OutputStage::Verify, status};
            return result;
        }
    }
    if (neverReplaces && !finishesUnfinished) {
        if (m_gone.contains(m_target->path)) {
            // Moved away by this run: the name would be free.
        } else if (m_created.contains(m_target->path)) {
            compareWithMadeInThought(content, result);
        } else if (std::optional<OutputFailure> failure =
                       CheckMemberName(m_receiver, m_target->path, result.alreadyThere)) {
            result.failure = failure;
        }
    }
    return result;
}

void DryRunWriter::createNewFile(const OutputContent& content) {
    create(m_target->path);
    m_changed.erase(m_target->path);
    m_origins[m_target->path] = content.origin;
}

OutputResult DryRunWriter::write(const OutputContent& content, OutputPatcher& patcher,
                                 const CopyProgress& progress) {
    const bool neverReplaces = m_target && m_target->neverReplaces;
    if (!content.inOutput && neverReplaces && !m_gone.contains(m_target->path)) {
        if (m_created.contains(m_target->path)) {
            OutputResult result;
            result.size = content.size;
            compareWithMadeInThought(content, result);
            m_target.reset();
            return result;
        }
        if (FileExists(m_target->path)) {
            // Made in an unnamed file, as the real run makes it, to be compared with the
            // file that stands at its name.
            Status status = createReceiver(m_target->path);
            if (status) {
                status = CopyImageStart(content.image, content.keptSize, m_receiver);
            }
            if (!status) {
                m_receiver.close();
                m_target.reset();
                OutputResult failed;
                failed.failure = OutputFailure{OutputStage::Write, status};
                return failed;
            }
        }
    }
    if (m_receiver.isOpen()) {
        OutputResult result = finishReceiver(content, patcher, progress, content.inOutput);
        m_receiver.close();
        if (result.failure || result.alreadyThere) {
            m_target.reset();
            return result;
        }
        progress(content.size);
        if (m_target) {
            createNewFile(content);
        }
        m_target.reset();
        return result;
    }
    OutputResult result;
    result.size = content.size;
    if (content.sramPatch) {
        SramPatchResult patch;
        if (content.plannedPatch) {
            // As the real writer: a planned patch that changes the image gives its size.
            patch = *content.plannedPatch;
            if (patch.outcome == SramPatchOutcome::Patched) {
                result.size = patch.sizeAfter;
            }
        } else if (!RefusesSramPatch(patcher, content.size, patch)) {
            // Planned on the bytes the output would hold, read in blocks as a real patch
            // reads them.
            const LeadingBytes kept(content.image, content.keptSize);
            const PaddedByteSource image(kept, content.size, content.filler);
            if (Status status = patcher.plan(image, patch); !status) {
                result.patch = SramPatchResult{SramPatchOutcome::Failed, status.reason(), 0};
                result.failure = OutputFailure{OutputStage::SramPatch, status};
                m_target.reset();
                return result;
            }
            result.size = patch.sizeAfter;
        }
        result.patch = patch;
    }
    if (content.verify) {
        const LeadingBytes kept(content.image, content.keptSize);
        if (Status status = content.verify(PaddedByteSource(kept, content.size, content.filler));
            !status) {
            result.failure = OutputFailure{OutputStage::Verify, status};
            m_target.reset();
            return result;
        }
    }
    progress(content.size);
    if (m_target) {
        const ChangedFile changed{.keptSize = content.keptSize, .size = content.size};
        switch (m_target->kind) {
            case OutputTarget::Kind::InPlace:
            case OutputTarget::Kind::Replace:
                m_changed[m_target->path] = changed;
                break;
            case OutputTarget::Kind::NewFile:
                createNewFile(content);
                break;
            case OutputTarget::Kind::KeepOriginal:
                create(m_target->backup);
                m_changed[m_target->path] = changed;
                break;
        }
    }
    m_target.reset();
    return result;
}

Status DryRunWriter::rename(const std::string& from, const std::string& to) {
    if (Status status = CheckRenamePlan(from, to); !status) {
        return status;
    }
    if (!exists(from)) {
        return Status::fromErrno(ENOENT);
    }
    if (!nameIsFree(to)) {
        return Status::fromErrno(EEXIST);
    }
    create(to);
    m_created.erase(from);
    m_gone.insert(from);
    if (const auto origin = m_origins.find(from); origin != m_origins.end()) {
        m_origins[to] = origin->second;
        m_origins.erase(from);
    }
    if (const auto changed = m_changed.find(from); changed != m_changed.end()) {
        m_changed[to] = changed->second;
        m_changed.erase(from);
    }
    return Status::success();
}

}  // namespace ostravex
