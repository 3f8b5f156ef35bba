#include "trim/dry_run_writer.h"

#include <cerrno>

#include "io/byte_source.h"
#include "io/output_file.h"
#include "io/padded_byte_source.h"
#include "io/paths.h"
#include "trim/output_plan.h"
#include "trim/restore_decision.h"

namespace ostravex {

void DryRunWriter::runStarted() {
    m_target.reset();
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

std::optional<OutputFailure> DryRunWriter::prepareStreamed(const OutputTarget& target,
                                                           bool imageNeeded, File*& receiver) {
    receiver = nullptr;
    File noSource;
    if (std::optional<OutputFailure> failure = prepare(target, noSource)) {
        return failure;
    }
    if (imageNeeded) {
        // Beside where the output would be, else in the temporary folder.
        if (Status status = m_receiver.createUnnamedNear(FolderPart(target.path)); !status) {
            m_target.reset();
            return OutputFailure{OutputStage::Create, status};
        }
        receiver = &m_receiver;
    }
    return std::nullopt;
}

OutputResult DryRunWriter::finishReceiver(const OutputContent& content, OutputPatcher& patcher,
                                          const CopyProgress& progress) {
    OutputResult result;
    result.size = content.size;
    const bool memberResult = m_target && m_target->memberResult;
    const bool finishesUnfinished = memberResult && !m_gone.contains(m_target->path) &&
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
    if (memberResult && !finishesUnfinished) {
        if (m_gone.contains(m_target->path)) {
            // Moved away by this run: the name would be free.
        } else if (m_created.contains(m_target->path)) {
            // Made by this run only in thought: its bytes are not there to compare.
            result.failure = OutputFailure{OutputStage::Occupied, Status::fromErrno(EEXIST)};
        } else if (std::optional<OutputFailure> failure =
                       CheckMemberName(m_receiver, m_target->path, result.alreadyThere)) {
            result.failure = failure;
        }
    }
    return result;
}

OutputResult DryRunWriter::write(const OutputContent& content, OutputPatcher& patcher,
                                 const CopyProgress& progress) {
    if (content.inOutput && m_receiver.isOpen()) {
        OutputResult result = finishReceiver(content, patcher, progress);
        m_receiver.close();
        if (result.failure || result.alreadyThere) {
            m_target.reset();
            return result;
        }
        progress(content.size);
        if (m_target) {
            create(m_target->path);
            m_changed.erase(m_target->path);
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
                create(m_target->path);
                m_changed.erase(m_target->path);
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
    if (const auto changed = m_changed.find(from); changed != m_changed.end()) {
        m_changed[to] = changed->second;
        m_changed.erase(from);
    }
    return Status::success();
}

}  // namespace ostravex
