#pragma once

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

#include "archive/archive_member_extraction.h"
#include "dat_loading.h"
#include "engine_worker.h"
#include "file_drop_target.h"
#include "host/front_end.h"
#include "host/run_control.h"
#include "main_options_binding.h"
#include "main_window_backgrounds.h"
#include "main_window_controls.h"
#include "rom_list.h"
#include "scan/rom_scanner.h"
#include "settings/dat_settings.h"
#include "settings_store.h"
#include "sram/sram_patcher.h"
#include "trim/trim_run.h"
#include "version_check_controller.h"
#include "window_dragger.h"
#include "window_host.h"
#include "window_run_options.h"

class QSystemTrayIcon;

namespace ostravex::app {

class DatsDialog;
class UserDialogs;

// The notice of "Identify Against DATs" while no DAT is set.
inline constexpr const char* kNoDatsSetText =
    "No DATs are set: add them in \"DATs and Checks\" (Ctrl+D) first.";

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
    const RunOptionsSource& runOptions() const { return m_runOptions; }

    // Handlers.
    void ScanButtonClick();
    void TrimButtonClick();
    void StopButtonClick();
    void ClearButtonClick();
    void AboutButtonClick();
    void ProcessSelectClick();
    void UseListViewClick();
    void romInfoClick();
    // The list's menu: the selected entries, or every entry when none is selected, padded
    // back to their full size, or read and identified against the DATs without a change.
    void restoreClick();
    void identifyClick();
    // "DATs and Checks" (the list's menu, Ctrl+D): opened, or raised when it is open.
    void datsClick();
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

    // The DATs and checks as stored; a change is saved shortly, as the main options are.
    const DatSettings& datSettings() const { return m_datSettings; }
    void setDatSettings(const DatSettings& settings);
    // The "DATs and Checks" dialog while it is open.
    DatsDialog* datsDialog() const;
    // What loading the DATs set last gave, as the dialog shows it.
    const QString& datsLoadedText() const { return m_datsLoadedText; }
    // An entry of a run is finished: what the DATs found is kept for "Rom Info", and the
    // list marks it when it is a bad dump.
    void entryFinished(const EntryFacts& facts);
    // What the last run that read the entry found in the DATs; null when none did.
    const DatFacts* datFactsOf(const RomListEntry& entry) const;

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
    // The list's menu, at `at` on the screen: "Rom Info" and the commands beside it.
    void showListMenu(const QPoint& at);
    void FormCreate(const QStringList& arguments);
    std::optional<QString> PickFolder(const QString& title);
    // "Rom Header Info" for an archive member: read on the engine's thread, shown after.
    void showMemberHeader(const RomListEntry& member);
    // Starts a scan or run on the engine's thread; the window is busy until it ends.
    void startWork(std::function<void()> job);
    void workEnded();
    enum class RunKind { Trim, Restore, Identify };
    // Trim!, a restore or an identification of `entries`; with DATs set they are loaded
    // first, on the engine's thread, and a DAT that fails stops the run before it starts.
    void startRun(RunKind kind, std::vector<RomListEntry> entries);
    // The entries the list's menu commands take: the selected ones, or all.
    std::vector<RomListEntry> selectedOrAllEntries() const;
    // Keeps what loading the DATs gave and shows it in the dialog.
    void noteLoadedDats(const WindowDats& dats);
    // Loads the DATs set for the dialog's line, when what it shows is not for them.
    void refreshDatsLoaded();
    void showDatsLoaded();
    // The DAT match lines "Rom Info" shows for an entry while DATs are set.
    std::vector<std::string> datLinesOf(const RomListEntry& entry) const;

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
    DatSettings m_datSettings;
    WindowRunOptions m_runOptions{m_mainOptions.runOptions()};
    QPointer<DatsDialog> m_datsDialog;
    std::vector<std::string> m_datsLoadedSources;  // the sources m_datsLoadedText is about
    QString m_datsLoadedText;
    // What the DATs found of each entry a run read, by the entry's list text; and the list's
    // row of each entry, by the same text, while a run goes on.
    std::unordered_map<std::string, DatFacts> m_datFacts;
    std::unordered_map<std::string, std::size_t> m_runRows;
    // The engine, reading its options from the controls' binding and reporting through the
    // worker (it runs on the worker's thread only).
    FrontEnd m_frontEnd{m_engine.host(), m_runOptions, m_control, DecimalSeparator()};
    RomScanner m_scanner{m_frontEnd};
    ArchiveMemberExtraction m_memberExtraction;
    SramPatcher m_sramPatcher;
    TrimRun m_run{m_frontEnd, m_memberExtraction, m_sramPatcher};
};

}  // namespace ostravex::app
