#include "trim/output_writer.h"

#include <algorithm>
#include <cerrno>

#include "io/fill_range.h"
#include "io/paths.h"
#include "io/same_contents.h"
#include "trim/output_plan.h"
#include "trim/restore_decision.h"

namespace ostravex {
namespace {

OutputResult Failed(OutputStage stage, Status status) {
    OutputResult result;
    result.failure = OutputFailure{stage, std::move(status)};
    return result;
}

}  // namespace

bool RefusesSramPatch(OutputPatcher& patcher, std::uint64_t size, SramPatchResult& refusal) {
    if (Status fits = patcher.checkImageSize(size); !fits) {
        refusal = {SramPatchOutcome::Failed, fits.reason(), size};
        return true;
    }
    return false;
}

Status FinishInOutput(File& output, const OutputContent& content, const CopyProgress& progress) {
    if (Status status = output.setLength(content.size); !status) {
        return status;
    }
    return FillRange(output, content.keptSize, content.size, content.filler, progress);
}

std::optional<OutputFailure> CheckMemberName(const File& output, const std::string& path,
                                             bool& alreadyThere) {
    alreadyThere = false;
    if (!FileExists(path)) {
        return std::nullopt;
    }
    // What cannot be read cannot be shown to be the result: it is left as it is too.
    if (Status status = SameContents(output, path, alreadyThere); !status) {
        return OutputFailure{OutputStage::Occupied, status};
    }
    if (!alreadyThere) {
        return OutputFailure{OutputStage::Occupied, Status::fromErrno(EEXIST)};
    }
    return std::nullopt;
}

bool HoldsUnfinishedMemberResult(const File& output, const std::string& path) {
    bool same = false;
    return FileExists(path) && SameContents(output, path, same) && same;
}

bool FileOutputWriter::exists(const std::string& path) const {
    return FileExists(path);
}

std::optional<OutputFailure> FileOutputWriter::prepareStreamed(const OutputTarget& target,
                                                               bool /*imageNeeded*/,
                                                               File*& receiver) {
    receiver = nullptr;
    File noSource;
    if (std::optional<OutputFailure> failure = prepare(target, noSource)) {
        return failure;
    }
    receiver = &m_output.file();
    return std::nullopt;
}

std::optional<OutputFailure> FileOutputWriter::prepare(const OutputTarget& target, File& source) {
    m_target.reset();
    if (std::optional<OutputFailure> failure = CheckOutputPlan(target)) {
        return failure;
    }
    m_target = target;
    switch (target.kind) {
        case OutputTarget::Kind::InPlace:
            if (source.isOpen()) {
                m_output.adoptInPlace(std::move(source), target.path);
                return std::nullopt;
            }
            if (Status status = m_output.openInPlace(target.path); !status) {
                return OutputFailure{OutputStage::Open, status};
            }
            return std::nullopt;
        case OutputTarget::Kind::Replace:
            if (Status status = m_output.createReplacement(target.path, source); !status) {
                m_output.discard();
                return OutputFailure{OutputStage::Create, status};
            }
            return std::nullopt;
        case OutputTarget::Kind::NewFile:
            if (Status status = m_output.createNew(target.path, target.mayReplace); !status) {
                m_output.discard();
                return OutputFailure{OutputStage::Create, status};
            }
            return std::nullopt;
        case OutputTarget::Kind::KeepOriginal:
            // The trimmed copy is written beside the original under a temporary name; only
            // when it is complete does the original get its ".bak" name (OutputFile::commit),
            // so the rom's name never stands empty while a copy is made.
            if (Status usable = BackupNameUsable(target.backup, source, target.path); !usable) {
                return OutputFailure{OutputStage::KeepOriginal, usable};
            }
            if (Status status = m_output.createReplacement(target.path, source); !status) {
                m_output.discard();
                return OutputFailure{OutputStage::KeepOriginal, status};
            }
            m_output.keepOriginalAs(target.backup);
            return std::nullopt;
    }
    return std::nullopt;
}

OutputResult FileOutputWriter::write(const OutputContent& content, OutputPatcher& patcher,
                                     const CopyProgress& progress) {
    const bool neverReplaces = m_target && m_target->neverReplaces;
    const bool finishesUnfinished = neverReplaces && content.inOutput &&
                                    HoldsUnfinishedMemberResult(m_output.file(), m_target->path);
    OutputResult result = fill(content, progress);
    if (result.failure) {
        m_output.discard();
        return result;
    }
    File& output = m_output.file();
    result.size = content.size;
    if (content.sramPatch) {
        SramPatchResult patch;
        const bool leftAsItIs =
            content.plannedPatch && content.plannedPatch->outcome != SramPatchOutcome::Patched;
        // Either way a planned image is not searched a second time.
        if (leftAsItIs) {
            patch = *content.plannedPatch;
        } else if (!RefusesSramPatch(patcher, content.size, patch)) {
            if (Status status = content.plannedPatch ? patcher.applyPlanned(output, patch)
                                                     : patcher.patch(output, patch);
                !status) {
                // The output is dropped: the rom keeps its original bytes.
                m_output.discard();
                result.patch = SramPatchResult{SramPatchOutcome::Failed, status.reason(), 0};
                result.failure = OutputFailure{OutputStage::SramPatch, status};
                return result;
            }
            result.size = patch.sizeAfter;
        }
        result.patch = patch;
    }
    if (finishesUnfinished) {
        m_output.replaceOnCommit();
    } else if (neverReplaces) {
        if (std::optional<OutputFailure> failure =
                CheckMemberName(output, m_target->path, result.alreadyThere)) {
            m_output.discard();
            result.failure = failure;
            return result;
        }
        if (result.alreadyThere) {
            result.madeInThisRun = m_made.contains(m_target->path);
            m_output.discard();
            return result;
        }
    }
    if (content.verify) {
        if (Status status = content.verify(FileByteSource(output, result.size)); !status) {
            m_output.discard();
            result.failure = OutputFailure{OutputStage::Verify, status};
            return result;
        }
    }
    if (Status status = m_output.commit(progress); !status) {
        const bool backupFailed = m_output.failedStep() == OutputStep::KeepOriginal;
        result.failure =
            OutputFailure{backupFailed ? OutputStage::KeepOriginal : OutputStage::Write, status};
    } else if (m_target && m_target->kind == OutputTarget::Kind::NewFile) {
        m_made.insert(m_target->path);
    }
    return result;
}

// Puts the kept bytes and the restore filler into the output.
OutputResult FileOutputWriter::fill(const OutputContent& content, const CopyProgress& progress) {
    File& output = m_output.file();
    // A restore keeps the whole rom and pads it up to its size.
    const std::uint64_t kept = content.keptSize;
    if (content.inOutput) {
        if (Status status = FinishInOutput(output, content, progress); !status) {
            return Failed(OutputStage::Write, status);
        }
        return {};
    }
    if (m_output.inPlace()) {
        // A cut, or a restore: the rom grows at its end and its own bytes stay where they
        // are (cutInPlace() to its own size checks the size and cuts nothing).
        if (Status status = m_output.cutInPlace(kept, content.sizeMayHaveChanged); !status) {
            return Failed(OutputStage::Write, status);
        }
        if (Status status = m_output.padInPlace(kept, content.size, content.filler, progress);
            !status) {
            return Failed(OutputStage::Write, status);
        }
        return {};
    }
    if (!content.file) {
        return Failed(OutputStage::Read, Status::failure("the rom's bytes are not at hand"));
    }
    if (Status status = output.reserve(content.size); !status) {
        return Failed(OutputStage::Write, status);
    }
    const CopyOutcome outcome = CopyFileStart(*content.file, output, kept, progress);
    switch (outcome.kind) {
        case CopyOutcome::Kind::Done:
            break;
        case CopyOutcome::Kind::SourceEnded:
            return Failed(OutputStage::SourceEnded, outcome.status);
        case CopyOutcome::Kind::ReadFailed:
            return Failed(OutputStage::Read, outcome.status);
        case CopyOutcome::Kind::WriteFailed:
            return Failed(OutputStage::Write, outcome.status);
    }
    if (Status status = output.setLength(content.size); !status) {
        return Failed(OutputStage::Write, status);
    }
    if (Status status = FillRange(output, kept, content.size, content.filler, progress); !status) {
        return Failed(OutputStage::Write, status);
    }
    return {};
}

Status FileOutputWriter::rename(const std::string& from, const std::string& to) {
    if (Status status = CheckRenamePlan(from, to); !status) {
        return status;
    }
    return RenameNoReplace(from, to);
}

}  // namespace ostravex
