#pragma once

#include <mutex>
#include <string>
#include <utility>

namespace ostravex {

// The three file options; exactly one is chosen at any time.
enum class FileMode { Overwrite, Backup, Folder };

// Everything a scan or a run reads from the user's choices: the window's controls, or the
// command line's options.
struct RunOptions {
    // The members the window's stored options give start at those options' defaults, each
    // read from its row of the main window's table (settings/main_settings.h, which checks
    // as it compiles that each has exactly one).
    RunOptions();

    FileMode fileMode{};
    // Of "Use a different output folder"; ends with "/" when set.
    std::string outputFolder;
    bool dontOverwrite{};
    bool sramPatch{};
    bool onlyPatch{};
    bool skipDsi{};
    bool removeSceneNumbers{};
    bool recursiveScan{};
    bool scanArchives{};
    // The command line's own.
    bool dryRun = false;   // decide and log every entry, write nothing (command line only)
    bool restore = false;  // pad trimmed images back to their cartridge size (command line only)
    bool checkPadding =
        false;  // cut only when the removed bytes are all filler (command line only)
    // An NDS image is changed only when its header checksum matches; the command line can
    // turn this off for images the user vouches for. The window always checks.
    bool headerCheck = true;
    // How many roms a run with DATs reads and hashes at once, the current one included
    // (1: one at a time, on the run's own thread); 0 gives one per processor core.
    unsigned jobs = 0;

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
