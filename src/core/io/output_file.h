#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "io/copy_range.h"
#include "io/file.h"
#include "io/status.h"
#include "io/temporary_files.h"

namespace ostravex {

// The steps that put a new output in place, in order.
enum class OutputStep {
    Close,          // the complete output is closed under its temporary name
    CheckOriginal,  // the file it replaces is still the one that was read, unchanged
    KeepOriginal,   // the file at the final path gets its backup name as well
    Replace,        // the output is renamed over the final path
};

// Runs before each step; a failure it returns is taken as that step's failure (tests look
// at the files between the steps, or make a step fail as a file system would).
using OutputStepHook = std::function<Status(OutputStep)>;

// The file that receives one entry's result. Every change of a file is all-or-nothing,
// whenever the process stops, or leaves what the next run completes:
// - a cut in place is one ftruncate, which is never seen half done;
// - a restore in place only appends filler after the rom's bytes: stopped part-way, it
//   leaves the rom followed by part of its filler, which a restore completes and a cut
//   removes;
// - every other result (a copy, a patched or padded image, a replacement of the rom itself)
//   is written under a temporary name in the folder of its final path and renamed into
//   place only once it is complete, so the final path holds either what it held before or
//   the complete result at every moment.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // A rom cut in place: only cutInPlace() changes it.
    Status openInPlace(const std::string& path);
    // The same for the rom file at `path`, already open for update (it was read through
    // this descriptor).
    void adoptInPlace(File&& file, const std::string& path);
    // Shortens the in-place output to `length`. Fails, changing nothing, when the file is
    // no longer the size it had when it was opened (another program changed it since it
    // was read): a cut never grows a file. The size learnt under the lock is taken as it is
    // when the cut follows it at once; it is asked again when `sizeMayHaveChanged` (the
    // host's own code ran meanwhile) or when the examination took long.
    Status cutInPlace(std::uint64_t length, bool sizeMayHaveChanged);
    // Grows the in-place output from `from` (its size) to `to`, the new bytes `filler`,
    // written at its end in blocks: the bytes it had never move. A kill leaves them followed
    // by part of the filler. commit() makes the growth durable (fsync) before it returns;
    // discard() cuts the file back to `from`, so a growth that fails or is not wanted
    // leaves the file as it was.
    Status padInPlace(std::uint64_t from, std::uint64_t to, std::uint8_t filler,
                      const CopyProgress& progress);

    // A new file at `path`. `mayReplace`: whether a file already at `path` may be replaced
    // when committing; the output then gets that file's owner, group and permission bits.
    Status createNew(const std::string& path, bool mayReplace);
    // A new image of `original`, the open file that `path` leads to (a symbolic link is
    // followed: the file it names is replaced, the link stays). `original` must stay open
    // until commit() or discard(): its lock keeps other runs off the file until the new
    // image has its name. The output gets the original's owner, group and permission bits.
    Status createReplacement(const std::string& path, const File& original);
    // With createReplacement(): the original is kept as `backupPath` when the output takes
    // its name.
    void keepOriginalAs(const std::string& backupPath);
    // With createNew(): the file found at the final path may be replaced after all (it was
    // shown to be what an interrupted earlier run of the same work left there).
    void replaceOnCommit() { m_mayReplace = true; }

    bool isOpen() const { return m_file.isOpen(); }
    bool inPlace() const { return m_inPlace; }
    File& file() { return m_file; }

    // Puts a new output at its final path (an in-place output is only closed). On failure
    // nothing of the output is left and the original keeps its name; failedStep() tells
    // which step failed. `progress` follows the copy of an original kept as a backup on
    // file systems without hard links.
    Status commit(const CopyProgress& progress = {});
    OutputStep failedStep() const { return m_failedStep; }
    // Drops a new output that is not complete; an in-place output is only closed.
    void discard();

    // Temporary files left by killed processes are removed from a folder before the first
    // output of a run is written there or cut there; this starts a new run.
    void forgetCleanedFolders() { m_cleanedFolders.clear(); }
    void setStepHook(OutputStepHook hook) { m_stepHook = std::move(hook); }

  private:
    void removeStaleTemporariesOnce(const std::string& folder);
    // Cuts an in-place output back to its size before padInPlace(), durably.
    Status cutBackPadding();
    Status runHook(OutputStep step);
    Status closeComplete();
    Status checkOriginal();
    Status keepOriginal(const CopyProgress& progress);
    Status copyOriginalToBackup(const CopyProgress& progress);
    Status replaceFinal();
    void giveOriginalItsNameBack();
    void removeTemporary();

    File m_file;
    bool m_inPlace = false;
    std::optional<std::uint64_t> m_paddedFrom;  // the size before padInPlace()
    bool m_mayReplace = false;
    std::string m_finalPath;
    std::string m_temporaryPath;
    TemporaryLock m_temporaryLock;  // held from the temporary's creation until it is gone
    std::string m_backupPath;
    const File* m_original = nullptr;  // the file the output replaces, when it is known
    // Where the backup name came from, so that a failed commit can take back only its own.
    enum class Backup { None, Linked, Copied, FoundInPlace } m_backup = Backup::None;
    OutputStep m_failedStep = OutputStep::Close;
    std::set<std::string> m_cleanedFolders;
    OutputStepHook m_stepHook;
};

// The failure of cutInPlace() and commit() when the file to be cut or replaced changed
// since it was read: another program shortened, grew or replaced it.
bool IsChangedSinceRead(const Status& status);

// Whether `backupPath` can receive the backup of `original`, the file `path` led to when it
// was opened: success when nothing stands there, or when what stands there already is that
// backup (the same file under a second name, or a complete copy of it) while `path` still
// leads to the original: what a run killed between keeping the original and replacing it
// leaves. When `path` leads elsewhere by now, another run kept the original and put its
// result in place while this one waited for the lock: HeldByAnotherRun(). EEXIST when
// anything else stands at `backupPath`.
Status BackupNameUsable(const std::string& backupPath, const File& original,
                        const std::string& path);

}  // namespace ostravex
