#include "trim/output_writer.h"

#include <algorithm>

#include "io/fill_range.h"
#include "io/paths.h"
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

bool FileOutputWriter::exists(const std::string& path) const {
    return FileExists(path);
}

std::optional<OutputFailure> FileOutputWriter::prepare(const OutputTarget& target, File& source) {
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
            if (Status usable = BackupNameUsable(target.backup, source); !usable) {
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
                                                     : patcher.SRAMPatch(output, patch);
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
    }
    return result;
}

// Puts the kept bytes and the restore filler into the output.
OutputResult FileOutputWriter::fill(const OutputContent& content, const CopyProgress& progress) {
    File& output = m_output.file();
    // A restore keeps the whole rom and pads it up to its size.
    const std::uint64_t kept = content.keptSize;
    if (m_output.inPlace()) {
        if (Status status = m_output.cutInPlace(kept); !status) {
            return Failed(OutputStage::Write, status);
        }
    } else {
        if (!content.file && content.memory.size() < kept) {
            return Failed(OutputStage::SourceEnded, Status::failure("the rom is not all there"));
        }
        if (Status status = output.reserve(content.size); !status) {
            return Failed(OutputStage::Write, status);
        }
        const CopyOutcome outcome =
            content.file && content.observe
                ? CopyFileStartObserved(*content.file, output, kept, progress, content.observe)
            : content.file ? CopyFileStart(*content.file, output, kept, progress)
                           : CopyBytesToFile(content.memory.first(static_cast<std::size_t>(kept)),
                                             output, progress);
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
    }
    if (Status status = FillRange(output, kept, content.size, content.filler, progress); !status) {
        return Failed(OutputStage::Write, status);
    }
    return {};
}

Status FileOutputWriter::rename(const std::string& from, const std::string& to) {
    return RenameNoReplace(from, to);
}

}  // namespace ostravex
