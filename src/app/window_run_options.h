#pragma once

#include <atomic>

#include "settings/run_options.h"

namespace ostravex::app {

// The options a scan or a run of the window reads: those of the main window's controls,
// the padding check of "DATs and Checks", and whether the run going on restores ("Restore
// to Full Size") instead of cutting. A restore pads and cuts nothing, so the padding check
// does not apply to it. Set on the window's thread, read by a run on any.
class WindowRunOptions final : public RunOptionsSource {
  public:
    explicit WindowRunOptions(const RunOptionsSource& controls) : m_controls(controls) {}

    RunOptions current() const override {
        RunOptions options = m_controls.current();
        options.restore = m_restoring;
        options.checkPadding = m_checkPadding && !m_restoring;
        return options;
    }
    void setCheckPadding(bool on) { m_checkPadding = on; }
    void setRestoring(bool on) { m_restoring = on; }

  private:
    const RunOptionsSource& m_controls;
    std::atomic<bool> m_checkPadding{false};
    std::atomic<bool> m_restoring{false};
};

}  // namespace ostravex::app
