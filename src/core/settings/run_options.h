#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "settings/main_settings.h"

namespace ostravex {

class DatIndex;

// The three file options; exactly one is chosen at any time.
enum class FileMode { Overwrite, Backup, Folder };

// The file option whose radio button the main window starts with.
inline constexpr FileMode kDefaultFileMode = settings::kModeBackup.defaultValue ? FileMode::Backup
                                             : settings::kModeFolder.defaultValue
                                                 ? FileMode::Folder
                                                 : FileMode::Overwrite;

// Everything a scan or a run reads from the user's choices: the window's controls, or the
// command line's options. The defaults are those of the window's stored options.
struct RunOptions {
    FileMode fileMode = kDefaultFileMode;
    // Of "Use a different output folder"; ends with "/" when set.
    std::string outputFolder{settings::kOutputFolder.defaultValue};
    bool dontOverwrite = settings::kDontOverwrite.defaultValue;
    bool sramPatch = settings::kSramPatch.defaultValue;
    bool onlyPatch = settings::kOnlyPatch.defaultValue;
    bool skipDsi = settings::kSkipDsi.defaultValue;
    bool removeSceneNumbers = settings::kRemoveSceneNumbers.defaultValue;
    bool recursiveScan = settings::kRecursiveScan.defaultValue;
    bool scanArchives = settings::kScanArchives.defaultValue;
    bool dryRun = false;   // decide and log every entry, write nothing (command line only)
    bool restore = false;  // pad trimmed images back to their cartridge size (command line only)
    bool checkPadding =
        false;  // cut only when the removed bytes are all filler (command line only)
    // An NDS image is changed only when its header checksum matches; the command line can
    // turn this off for images the user vouches for. The window always checks.
    bool headerCheck = true;
    // The DATs every image is identified against (command line only); without them nothing
    // is hashed.
    std::shared_ptr<const DatIndex> dats;

    bool operator==(const RunOptions&) const = default;
};

// Where a scan or a run reads its options, at the moment a step needs them: a change made
// while a run goes on (a check box ticked in the window) applies from the next step that
// reads it. `current()` may be called from another thread than the one changing them.
class RunOptionsSource {
  public:
    virtual ~RunOptionsSource() = default;
    virtual RunOptions current() const = 0;
};

// Options that do not change while the program runs (the command line, tests).
class FixedRunOptions final : public RunOptionsSource {
  public:
    explicit FixedRunOptions(RunOptions options) : m_options(std::move(options)) {}
    RunOptions current() const override { return m_options; }

  private:
    RunOptions m_options;
};

// Options the window changes as its controls change, read by a run on any thread.
class LiveRunOptions final : public RunOptionsSource {
  public:
    RunOptions current() const override {
        const std::lock_guard lock(m_mutex);
        return m_options;
    }
    void set(RunOptions options) {
        const std::lock_guard lock(m_mutex);
        m_options = std::move(options);
    }

  private:
    mutable std::mutex m_mutex;
    RunOptions m_options;
};

}  // namespace ostravex
