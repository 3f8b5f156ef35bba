#pragma once

#include <functional>
#include <set>
#include <string>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// The steps that put a new output in place, in order.
enum class OutputStep {
    Close,         // the complete output is closed under its temporary name
    KeepOriginal,  // the file at the final path gets its backup name as well
    Replace,       // the output is renamed over the final path
};

// Runs before each step; a failure it returns is taken as that step's failure (tests look
// at the files between the steps, or make a step fail as a file system would).
using OutputStepHook = std::function<Status(OutputStep)>;

// The file that receives one entry's result. In place, it is the rom file itself. A new
// output is written under a temporary name in the folder of its final path and renamed
// into place only once it is complete, so the final path holds either what it held before
// or the complete result at every moment, whenever the process stops.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    Status openInPlace(const std::string& path);
    // The rom file itself, already open for update (it was read through this descriptor).
    void adoptInPlace(File&& file);
    // `mayReplace`: whether a file already at `path` may be replaced when committing.
    Status createNew(const std::string& path, bool mayReplace);
    // The file now at the final path is kept as `backupPath` when the output replaces it,
    // and the output gets that file's permission bits.
    void keepOriginalAs(const std::string& backupPath, unsigned permissions);

    bool isOpen() const { return m_file.isOpen(); }
    bool inPlace() const { return m_inPlace; }
    File& file() { return m_file; }

    // Puts a new output at its final path (an in-place output is only closed). On failure
    // nothing of the output is left and the original keeps its name; failedStep() tells
    // which step failed.
    Status commit();
    OutputStep failedStep() const { return m_failedStep; }
    // Drops a new output that is not complete; an in-place output is only closed.
    void discard();

    // Temporary files left by killed processes are removed from a folder before the first
    // output of a run is written there; this starts a new run.
    void forgetCleanedFolders() { m_cleanedFolders.clear(); }
    void setStepHook(OutputStepHook hook) { m_stepHook = std::move(hook); }

  private:
    Status runHook(OutputStep step);
    Status closeComplete();
    Status keepOriginal();
    Status replaceFinal();
    void giveOriginalItsNameBack();
    void removeTemporary();

    File m_file;
    bool m_inPlace = false;
    bool m_mayReplace = false;
    std::string m_finalPath;
    std::string m_temporaryPath;
    std::string m_backupPath;
    unsigned m_permissions = 0;
    enum class Backup { None, Linked, Renamed } m_backup = Backup::None;
    OutputStep m_failedStep = OutputStep::Close;
    std::set<std::string> m_cleanedFolders;
    OutputStepHook m_stepHook;
};

}  // namespace ostravex
