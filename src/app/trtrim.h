#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "archive/archive_member_extraction.h"
#include "engine_worker.h"
#include "file_drop_target.h"
#include "host/front_end.h"
#include "host/run_control.h"
#include "main_options_binding.h"
#include "main_window_backgrounds.h"
#include "main_window_controls.h"
#include "rom_list.h"
#include "scan/rom_scanner.h"
#include "settings_store.h"
#include "sram/sram_patcher.h"
#include "trim/trim_run.h"
#include "version_check_controller.h"
#include "window_dragger.h"
#include "window_host.h"

class QSystemTrayIcon;

namespace ostravex::app {

class UserDialogs;

// The main window. It owns every control, the ROM list and the engine's scanner and run;
// the core decides, the window shows and asks. Scans and runs go on on the engine's worker
// thread; the window stays free for its events and shows what they report.
class TRTrim : public QWidget, public MainWindowControls {
    Q_OBJECT
  public:
    // `arguments`: the paths of the command line. One is scanned or listed; several are
    // listed as a drop of them would be.
    explicit TRTrim(const QStringList& arguments, std::shared_ptr<UserDialogs> dialogs = {},
                    QWidget* parent = nullptr);
    ~TRTrim() override;

    // The entries of the current or last run, in processing order.
    std::vector<RomListEntry> romlist;

    WindowHost& host() { return m_host; }
    const WindowHost& host() const { return m_host; }
    RomList& romList() { return m_romList; }
    const RomList& romList() const { return m_romList; }
    MainWindowBackgrounds& backgrounds() { return m_backgrounds; }
    VersionCheckController& versionCheck() { return m_versionCheck; }
    // The options a scan or a run reads, as the controls show them at this moment.
    const RunOptionsSource& runOptions() const { return m_mainOptions.runOptions(); }

    // Handlers.
    void ScanButtonClick();
    void TrimButtonClick();
    void StopButtonClick();
    void ClearButtonClick();
    void AboutButtonClick();
    void ProcessSelectClick();
    void UseListViewClick();
    void romInfoClick();
    void ShowLogButtonClick();
    void outputFolderButtonClick();
    void ModeFolderClick();
    void TopWindClick();
    void BlendTrackBarChange();
    void FormShow();
    void CheckNewVerMouseUp();
    void checkNewVerLabelClick();
    // The program is asked to end (a termination signal): questions open now are cancelled
    // and the window closes as by its close box; a scan or run stops first, its current
    // entry completed. Notices that come meanwhile are not shown.
    void closeAtTermination();
    bool terminating() const { return m_terminating; }
    // Files and folders dropped on the window or the list (ignored while busy).
    void handleDrop(const QStringList& paths);

    // The counter labels show their captions and the gauges are empty: no run has counted
    // the list shown.
    void resetCounters();

    void DisableStuff();
    void EnableStuff();
    // The busy state: only "Stop" usable.
    void setBusy(bool busy);
    // Busy from the start of a scan or run until its last report has been shown.
    bool isBusy() const { return m_busy; }
    // Runs between the steps that put a new output in place, on the run's thread (tests).
    void setOutputStepHook(OutputStepHook hook) { m_run.setOutputStepHook(std::move(hook)); }
    bool alwaysOnTop() const { return m_alwaysOnTop; }
    void setAlwaysOnTop(bool onTop);

    // Settings: restored at creation; saved a moment after a change (changes coming close
    // together are saved at once) and when the window closes.
    void restoreSettings();
    void saveSettings();
    // A stored option or a dialog's folder has changed: the settings are saved shortly.
    void settingsChanged();

    // The log's lines.
    QStringList logLines() const;

  signals:
    // The work of the first showing is done: background shown, version check answered.
    void firstShowingDone();
    // A scan or run has ended and everything it reported is shown; the window is idle.
    void workFinished();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void connectControls();
    void FormCreate(const QStringList& arguments);
    std::optional<QString> PickFolder(const QString& title);
    // "Rom Header Info" for an archive member: read on the engine's thread, shown after.
    void showMemberHeader(const RomListEntry& member);
    // Starts a scan or run on the engine's thread; the window is busy until it ends.
    void startWork(std::function<void()> job);
    void workEnded();

    std::shared_ptr<UserDialogs> m_dialogs;
    WindowHost m_host;
    RunControl m_control;  // the halt request the engine's jobs look at
    EngineWorker m_engine{m_host, m_control};
    RomList m_romList;
    WindowDragger m_dragger{*this};
    FileDropTarget m_dropTarget;
    VersionCheckController m_versionCheck;
    MainWindowBackgrounds m_backgrounds;
    QSystemTrayIcon* m_tray = nullptr;
    QString m_pickFolderStart;  // PickFolderStart
    bool m_busy = false;
    bool m_closeRequested = false;
    bool m_terminating = false;
    bool m_stopRequested = false;     // "Stop" was asked for the work going on
    bool m_settingsSaved = false;     // nothing changed since the last save
    bool m_settingsRestored = false;  // changes from here on are the user's
    QTimer m_saveTimer;
    bool m_shownOnce = false;
    bool m_alwaysOnTop = false;
    SettingsStore m_store;
    MainOptionsBinding m_mainOptions{*this};  // it reads the controls and the state above
    // The engine, reading its options from the controls' binding and reporting through the
    // worker (it runs on the worker's thread only).
    FrontEnd m_frontEnd{m_engine.host(), m_mainOptions.runOptions(), m_control, DecimalSeparator()};
    RomScanner m_scanner{m_frontEnd};
    ArchiveMemberExtraction m_memberExtraction;
    SramPatcher m_sramPatcher;
    TrimRun m_run{m_frontEnd, m_memberExtraction, m_sramPatcher};
};

}  // namespace ostravex::app
