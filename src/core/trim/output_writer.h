#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "io/byte_source.h"
#include "io/copy_range.h"
#include "io/file.h"
#include "io/output_file.h"
#include "io/status.h"
#include "trim/member_extraction.h"
#include "trim/output_patcher.h"

namespace ostravex {

// Where an entry's result goes.
struct OutputTarget {
    enum class Kind {
        InPlace,       // the rom file itself is cut where it stands (one ftruncate)
        Replace,       // a new image of the rom file, written beside it and renamed over it
        NewFile,       // a new file at `path`
        KeepOriginal,  // a new image of the rom at `path`; the rom keeps the name `backup`
    };
    Kind kind = Kind::NewFile;
    std::string path;
    std::string backup;
    bool mayReplace = false;  // NewFile: a file already at `path` is replaced
    // NewFile that never replaces another file (an archive member's result, or any result
    // with "Don't overwrite"): a file already at `path` that holds exactly the result means
    // the result is already there; any other is left as it is and the output fails.
    bool neverReplaces = false;
};

// What makes a result, so that a dry run knows two results of one run to be the same
// without making them: the file or archive member it comes from and what was done to it.
struct ResultOrigin {
    std::string source;  // the rom's file, or the archive and member it comes from
    std::uint64_t keptSize = 0;
    std::uint64_t size = 0;
    std::uint8_t filler = 0xFF;
    bool sramPatch = false;
    bool operator==(const ResultOrigin&) const = default;
};

// What goes into the output.
struct OutputContent {
    const ByteSource& image;     // the rom as it was read
    const File* file = nullptr;  // its file, when `image` reads one
    std::uint64_t keptSize = 0;  // bytes of the rom the result keeps
    std::uint64_t size = 0;      // the result's size: kept bytes, then restore filler
    bool sramPatch = false;      // the finished image gets the SRAM patch
    // The patch's result as planned beforehand on the same bytes, when it was.
    const SramPatchResult* plannedPatch = nullptr;
    std::uint8_t filler = 0xFF;  // what a restore pads with
    // When set, the finished result, read back, must pass it before it is put in place.
    std::function<Status(const ByteSource& result)> verify;
    // The image's bytes already went into the output as they came (prepareStreamed()): it
    // is only cut or padded to `size` there.
    bool inOutput = false;
    // The host's own code ran since the rom was opened: its size is asked again before a
    // cut in place.
    bool sizeMayHaveChanged = false;
    ResultOrigin origin;
};

// The step of writing an output that failed.
enum class OutputStage {
    Open,          // the rom file could not be opened for update
    Create,        // the new file could not be created
    KeepOriginal,  // the original could not keep its ".bak" name
    Read,          // the rom could not be read
    SourceEnded,   // the rom ended before its kept size
    Write,         // the output could not be written or put in place
    SramPatch,     // the SRAM patch could not be made
    Verify,        // the finished result is not what it had to be
    Occupied,      // a different file stands at a member result's name
};

struct OutputFailure {
    OutputStage stage;
    Status status;
};

struct OutputResult {
    std::optional<SramPatchResult> patch;  // when the patch was tried
    std::optional<OutputFailure> failure;  // then nothing of the output stayed
    std::uint64_t size = 0;                // the size of the finished file
    // The result was found already at its name (OutputTarget::neverReplaces): nothing was
    // written. `madeInThisRun`: the file there was made by an earlier entry of this run.
    bool alreadyThere = false;
    bool madeInThisRun = false;
};

// What a file changed by this run now holds: its first `keptSize` bytes, then restore
// filler up to `size`; or nothing, when the run has moved it away.
struct ChangedFile {
    bool gone = false;
    std::uint64_t keptSize = 0;
    std::uint64_t size = 0;
};

// Everything a run does to the file system goes through one of these: a real run's writer
// writes; a dry run's writer checks each step as the real one would meet it and keeps
// account of what the run would have changed, so that it reports what the run would.
class OutputWriter {
  public:
    virtual ~OutputWriter() = default;
    virtual void runStarted() {}

    // Whether a regular file stands at `path`, as the run has left things so far.
    virtual bool exists(const std::string& path) const = 0;
    // A file this run has changed, as it has left it; nothing for a file it has not, whose
    // state the file system itself tells.
    virtual std::optional<ChangedFile> changedFile(const std::string& path) const = 0;

    // Readies the output, after the checks every writer makes alike (CheckOutputPlan).
    // `source` is the rom file when it is read from one: taken over by an output in place;
    // kept open, and locked, by the run until the output that replaces it has its name.
    virtual std::optional<OutputFailure> prepare(const OutputTarget& target, File& source) = 0;
    // Readies the new file of a member read as it comes, before its bytes come, with the
    // checks prepare() makes. `receiver` is set to the file that takes the bytes: the
    // output itself in a real run; in a dry run, when `imageNeeded` (to compare it with a
    // file at the output's name, or to patch it), a file without a name that vanishes
    // with the output; else none.
    virtual std::optional<OutputFailure> prepareStreamed(const OutputTarget& target,
                                                         bool imageNeeded, File*& receiver) = 0;
    // Writes the result, patches it when asked, and puts it in place.
    virtual OutputResult write(const OutputContent& content, OutputPatcher& patcher,
                               const CopyProgress& progress) = 0;
    // Drops an output that was prepared and not written.
    virtual void discard() = 0;

    // Renames `from` to `to`, failing when `to` exists.
    virtual Status rename(const std::string& from, const std::string& to) = 0;
};

// Writes for real: new outputs under a temporary name, put in place when complete.
class FileOutputWriter final : public OutputWriter {
  public:
    // Runs between the steps that put a new output in place (tests).
    void setStepHook(OutputStepHook hook) { m_output.setStepHook(std::move(hook)); }

    void runStarted() override {
        m_output.forgetCleanedFolders();
        m_made.clear();
    }
    bool exists(const std::string& path) const override;
    std::optional<ChangedFile> changedFile(const std::string&) const override {
        return std::nullopt;
    }
    std::optional<OutputFailure> prepare(const OutputTarget& target, File& source) override;
    std::optional<OutputFailure> prepareStreamed(const OutputTarget& target, bool imageNeeded,
                                                 File*& receiver) override;
    OutputResult write(const OutputContent& content, OutputPatcher& patcher,
                       const CopyProgress& progress) override;
    void discard() override { m_output.discard(); }
    Status rename(const std::string& from, const std::string& to) override;

  private:
    OutputResult fill(const OutputContent& content, const CopyProgress& progress);

    OutputFile m_output;
    std::optional<OutputTarget> m_target;
    std::set<std::string> m_made;  // new files this run has put in place
};

// Puts the kept bytes and the restore filler into `output`, which holds the image's bytes
// from its start: cut or grown to the result's size, the growth filled.
Status FinishInOutput(File& output, const OutputContent& content, const CopyProgress& progress);

// For a member's result in `output`: whether a file already stands at `path`, and if so
// whether the result is already there (`alreadyThere`) or the output must fail.
std::optional<OutputFailure> CheckMemberName(const File& output, const std::string& path,
                                             bool& alreadyThere);

// Whether the file at a member result's name holds the member's bytes as they came from its
// archive, which `output` holds before it is cut: what a run stopped between taking the
// member out and cutting it leaves. Such a file is the unfinished result of the same work,
// and the finished one replaces it.
bool HoldsUnfinishedMemberResult(const File& output, const std::string& path);

// The SRAM patch a finished image of `size` bytes gets, unless it is larger than any
// cartridge: then the result is a failure without a patch and the image is kept as it is.
bool RefusesSramPatch(OutputPatcher& patcher, std::uint64_t size, SramPatchResult& refusal);

}  // namespace ostravex
