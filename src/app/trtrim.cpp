#include "trtrim.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include "about_window.h"
#include "app_icon.h"
#include "dat_match_report.h"
#include "dats_dialog.h"
#include "io/paths.h"
#include "log_window.h"
#include "main_options_binding.h"
#include "member_header_report.h"
#include "rom_info_window.h"
#include "runlog/counter_labels.h"
#include "settings/main_settings.h"
#include "text_conversion.h"
#include "user_dialogs.h"
#include "window_placement.h"

namespace ostravex::app {

TRTrim::TRTrim(const QStringList& arguments, std::shared_ptr<UserDialogs> dialogs, QWidget* parent)
    : QWidget(parent),
      MainWindowControls(static_cast<QWidget&>(*this)),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_shared<UserDialogs>()),
      m_host(*this, *m_dialogs),
      m_romList(*RomsList, *romsListView),
      m_dropTarget(
          this, [this] { return ScanButton->isEnabled(); },
          [this](const QStringList& paths) { handleDrop(paths); }),
      m_versionCheck(m_host, *m_dialogs, *this),
      m_backgrounds(*this, *m_dialogs) {
    setObjectName("TRTrim");
    // The body, the background, the counters, the gauges and the group box move the
    // window. The lists do not: a drag in a list selects a range of its entries.
    for (QWidget* handle : std::initializer_list<QWidget*>{
             backgroundImage, wifiLabel, errorsLabel, skippedLabel, LabelComplete, LabelSavings,
             SingleProgress, runProgress, fileOptionsGroup, romsFoundLabel}) {
        m_dragger.dragBy(handle);
    }
    m_dropTarget.watch(this);
    m_dropTarget.watch(RomsList);
    checkNewVerLabel->installEventFilter(this);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(AppIcon(), this);
        m_tray->show();
    }
    connectControls();
    connect(&m_engine, &EngineWorker::finished, this, &TRTrim::workEnded);
    // Long enough to take a slider's drag or a run of clicks in one save.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(std::chrono::milliseconds(300));
    connect(&m_saveTimer, &QTimer::timeout, this, &TRTrim::saveSettings);
    CentreOnScreen(*this, ScreenFit::Keep);
    FormCreate(arguments);
}

TRTrim::~TRTrim() {
    // The entry going on completes before the engine it works with goes.
    m_engine.shutDown();
    // A program ending without a close still keeps its options, and so does one ending
    // before a change's save came.
    if (!m_settingsSaved) {
        saveSettings();
    }
}

void TRTrim::connectControls() {
    connect(ScanButton, &QPushButton::clicked, this, &TRTrim::ScanButtonClick);
    connect(TrimButton, &QPushButton::clicked, this, &TRTrim::TrimButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &TRTrim::StopButtonClick);
    connect(ClearButton, &QPushButton::clicked, this, &TRTrim::ClearButtonClick);
    connect(AboutButton, &QPushButton::clicked, this, &TRTrim::AboutButtonClick);
    connect(ProcessSelect, &QCheckBox::toggled, this, &TRTrim::ProcessSelectClick);
    connect(UseListView, &QCheckBox::toggled, this, &TRTrim::UseListViewClick);
    connect(ShowLogButton, &QToolButton::clicked, this, &TRTrim::ShowLogButtonClick);
    connect(RomInfoBut, &QToolButton::clicked, this, &TRTrim::romInfoClick);
    connect(datsButton, &QToolButton::clicked, this, &TRTrim::datsClick);
    connect(outputFolderButton, &QToolButton::clicked, this, &TRTrim::outputFolderButtonClick);
    connect(ModeFolder, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            ModeFolderClick();
        }
    });
    connect(TopWind, &QToolButton::clicked, this, &TRTrim::TopWindClick);
    connect(BlendTrackBar, &QSlider::valueChanged, this, &TRTrim::BlendTrackBarChange);
    // Both views of the list have the menu.
    connect(RomsList, &QListWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showListMenu(RomsList->viewport()->mapToGlobal(at)); });
    connect(romsListView, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showListMenu(romsListView->viewport()->mapToGlobal(at)); });
    auto* datsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    datsKey->setObjectName("datsShortcut");
    connect(datsKey, &QShortcut::activated, this, &TRTrim::datsClick);
    for (QToolButton* hidden : {CheatsButton, Arm7FixBut, ThroughBrickCheckBut}) {
        connect(hidden, &QToolButton::clicked, this,
                [this] { m_dialogs->message(this, "Not yet implemented"); });
    }
    connect(BgChangeBut, &QToolButton::clicked, this, [this] {
        m_backgrounds.BgChangeButClick();
        settingsChanged();  // the folder of its picture dialogs
    });
    connect(DisableBackground, &QCheckBox::toggled, this,
            [this] { m_backgrounds.DisableBackgroundClick(); });
    // A click on the box itself: the box has toggled when the check starts.
    connect(CheckNewVer, &QCheckBox::clicked, this, &TRTrim::CheckNewVerMouseUp);
    connect(websiteLink, &QLabel::linkActivated, this, [this] { m_versionCheck.openWebsite(); });
    connect(donateImage, &QToolButton::clicked, this,
            [this] { m_versionCheck.openDonationPage(); });
}

void TRTrim::showListMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* info = menu.addAction("Rom Info");
    info->setObjectName("romInfoAction");
    connect(info, &QAction::triggered, this, &TRTrim::romInfoClick);
    // Beside it, the commands that work on the selected entries or the whole list, and
    // the DATs they read. None starts while a scan or run goes on.
    QAction* restore = menu.addAction("Restore to Full Size");
    restore->setObjectName("restoreAction");
    connect(restore, &QAction::triggered, this, &TRTrim::restoreClick);
    QAction* identify = menu.addAction("Identify Against DATs");
    identify->setObjectName("identifyAction");
    connect(identify, &QAction::triggered, this, &TRTrim::identifyClick);
    menu.addSeparator();
    QAction* dats = menu.addAction("DATs and Checks");
    dats->setObjectName("datsAction");
    // Shown beside the command; the window's own shortcut answers the key.
    dats->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    dats->setShortcutContext(Qt::WidgetShortcut);
    connect(dats, &QAction::triggered, this, &TRTrim::datsClick);
    for (QAction* action : {restore, identify, dats}) {
        action->setEnabled(!m_busy);
    }
    const bool listed = m_romList.count() > 0;
    restore->setEnabled(restore->isEnabled() && listed);
    identify->setEnabled(identify->isEnabled() && listed);
    menu.exec(at);
}

// ---- start-up and settings ----------------------------------------------------------------

void TRTrim::FormCreate(const QStringList& arguments) {
    romlist.clear();
    logText->clear();
    m_host.addLog("Log");
    m_host.addLog("");
    m_host.addLog("");
    restoreSettings();
    m_mainOptions.watchChanges(this, [this] { settingsChanged(); });
    m_settingsRestored = true;
    if (arguments.size() == 1) {
        startWork(
            [this, path = ToPath(arguments.front())] { m_scanner.listCommandLinePath(path); });
    } else if (arguments.size() > 1) {
        handleDrop(arguments);  // several paths: listed as a drop of them would be
    }
}

void TRTrim::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Once the window is up: its background and the version check may take a while.
        // After a scan of the path the program was started with, whose lines come first.
        if (m_busy) {
            connect(this, &TRTrim::workFinished, this, &TRTrim::FormShow, Qt::SingleShotConnection);
        } else {
            QTimer::singleShot(0, this, &TRTrim::FormShow);
        }
    }
}

void TRTrim::FormShow() {
    ProcessSelectClick();
    if (m_backgrounds.showChosenBackground()) {
        CheckNewVerMouseUp();
    }
    if (m_versionCheck.checking()) {
        connect(&m_versionCheck, &VersionCheckController::checkFinished, this,
                &TRTrim::firstShowingDone, Qt::SingleShotConnection);
        return;
    }
    emit firstShowingDone();
}

void TRTrim::restoreSettings() {
    const auto askOutputFolder = [this]() -> std::optional<std::string> {
        outputFolderButtonClick();
        if (outputFolderEdit->text().isEmpty()) {
            return std::nullopt;
        }
        return ToPath(outputFolderEdit->text());
    };
    const RegFile stored = m_store.load();
    m_mainOptions.show(RestoreMainOptions(stored, askOutputFolder));
    RestoreDialogFolders(stored, *m_dialogs);
    m_datSettings = ReadDatSettings(stored);
    m_runOptions.setCheckPadding(m_datSettings.checkPadding);
}

void TRTrim::saveSettings() {
    m_saveTimer.stop();
    m_settingsSaved = true;
    m_store.save(
        [this](RegFile& file) {
            SaveMainOptions(file, m_mainOptions.read());
            SaveDialogFolders(file, *m_dialogs);
            SaveDatSettings(file, m_datSettings);
        },
        *m_dialogs, this);
}

void TRTrim::settingsChanged() {
    if (!m_settingsRestored) {
        return;  // the restored values being shown
    }
    m_settingsSaved = false;
    m_saveTimer.start();
}

// ---- idle and busy ----------------------------------------------------------------------

void TRTrim::DisableStuff() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ScanButton, TrimButton, ZipSupport, ProcessSelect, RecurseScan, ShowLogButton,
             fileOptionsGroup, ThroughBrickCheckBut, Arm7FixBut, CheatsButton, RomInfoBut,
             ClearButton, datsButton}) {
        control->setEnabled(false);
    }
    StopButton->setEnabled(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TRTrim::EnableStuff() {
    const bool listed = RomsList->count() > 0;
    ScanButton->setEnabled(true);
    TrimButton->setEnabled(listed);
    for (QWidget* control : std::initializer_list<QWidget*>{
             ZipSupport, ProcessSelect, RecurseScan, ShowLogButton, fileOptionsGroup,
             ThroughBrickCheckBut, Arm7FixBut, CheatsButton, RomInfoBut, datsButton}) {
        control->setEnabled(true);
    }
    ClearButton->setEnabled(listed);
    StopButton->setEnabled(false);
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
    }
}

void TRTrim::setBusy(bool busy) {
    if (busy) {
        if (!m_busy) {
            DisableStuff();
        }
        m_busy = true;
        return;
    }
    m_busy = false;
    EnableStuff();
}

void TRTrim::startWork(std::function<void()> job) {
    if (m_busy) {
        return;  // one scan or run at a time
    }
    setBusy(true);
    m_stopRequested = false;
    m_engine.start(std::move(job));
}

void TRTrim::workEnded() {
    setBusy(false);
    emit workFinished();
    if (m_closeRequested) {
        // A close that came in during the work goes ahead now.
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    // The DATs changed in the dialog while the engine was busy: their line is loaded now.
    QTimer::singleShot(0, this, &TRTrim::refreshDatsLoaded);
}

void TRTrim::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        // Closing in the middle of a scan or run: stop it first, close when it has ended.
        m_closeRequested = true;
        if (!m_stopRequested) {
            StopButtonClick();
        }
        event->ignore();
        return;
    }
    saveSettings();
    event->accept();
}

void TRTrim::closeAtTermination() {
    m_terminating = true;
    // A dialog's own event loop holds up the end of the program until it returns.
    for (QWidget* shown : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(shown); dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
    close();
}

// ---- commands ---------------------------------------------------------------------------

std::optional<QString> TRTrim::PickFolder(const QString& title) {
    return m_dialogs->pickFolder(this, title, m_pickFolderStart);
}

void TRTrim::ScanButtonClick() {
    if (m_busy) {
        return;
    }
    // The picker starts at the last scanned folder kept with the settings, or else at the
    // folder of the last scan of this session. The stored folder's default ("/") is no folder
    // the user chose: with nothing else the picker starts at the home folder.
    QString scanFolder = FromPath(m_scanner.scanFolder());
    const QString stored = inputfold->text();
    const bool storedIsDefault =
        ToPath(stored) == std::string(settings::kLastScannedFolder.defaultValue);
    if (!stored.isEmpty() && !storedIsDefault && QDir(stored).exists()) {
        scanFolder = stored;
    }
    m_pickFolderStart = scanFolder;
    const auto chosen = PickFolder("Pick a folder");
    if (!chosen) {
        return;
    }
    const std::string folder = WithTrailingSlash(ToPath(*chosen));
    inputfold->setText(FromPath(folder));
    settingsChanged();
    // The new list is not the one the counters counted.
    resetCounters();
    startWork([this, folder] { m_scanner.scanFolderTree(folder); });
}

void TRTrim::TrimButtonClick() {
    if (m_busy) {
        return;
    }
    startRun(RunKind::Trim,
             m_romList.entriesToProcess(UseListView->isChecked(), ProcessSelect->isChecked()));
}

void TRTrim::restoreClick() {
    if (m_busy || m_romList.count() == 0) {
        return;
    }
    startRun(RunKind::Restore, selectedOrAllEntries());
}

void TRTrim::identifyClick() {
    if (m_busy || m_romList.count() == 0) {
        return;
    }
    if (m_datSettings.sources.empty()) {
        m_dialogs->message(this, kNoDatsSetText);
        return;
    }
    startRun(RunKind::Identify, selectedOrAllEntries());
}

std::vector<RomListEntry> TRTrim::selectedOrAllEntries() const {
    const bool fromListView = UseListView->isChecked();
    std::vector<RomListEntry> selected = m_romList.entriesToProcess(fromListView, true);
    return selected.empty() ? m_romList.entriesToProcess(fromListView, false) : selected;
}

void TRTrim::startRun(RunKind kind, std::vector<RomListEntry> entries) {
    if (m_busy) {
        return;
    }
    romlist = std::move(entries);
    m_runRows.clear();
    const std::vector<RomListEntry>& listed = m_romList.entries();
    for (std::size_t row = 0; row < listed.size(); ++row) {
        m_runRows.emplace(listed[row].text(), row);
    }
    m_runOptions.setRestoring(kind == RunKind::Restore);
    // What the job loaded, taken up on the window's thread once the job has ended.
    auto loaded = std::make_shared<std::optional<WindowDats>>();
    connect(
        this, &TRTrim::workFinished, this,
        [this, loaded] {
            m_runOptions.setRestoring(false);
            m_runRows.clear();
            if (*loaded) {
                noteLoadedDats(**loaded);
            }
        },
        Qt::SingleShotConnection);
    startWork([this, kind, entries = romlist, sources = m_datSettings.sources, loaded] {
        Host& host = m_engine.host();
        std::shared_ptr<const DatIndex> dats;
        if (!sources.empty()) {
            *loaded = LoadWindowDats(sources);
            if (!(*loaded)->usable()) {
                // Nothing is done: a run without the DATs asked for would cut roms the
                // checks would keep. One notice names every DAT that failed and why.
                const std::vector<std::string> failures = (*loaded)->failureLines();
                std::string text;
                for (const std::string& line : failures) {
                    host.addLog(line, LineKind::Failure);
                    text += (text.empty() ? "" : "\n") + line;
                }
                host.notice({NoticeKind::Failure, text, text});
                return;
            }
            dats = (*loaded)->index;
        }
        if (kind == RunKind::Identify) {
            m_run.identify(entries, dats);
        } else {
            m_run.run(entries, dats);
        }
        if (dats) {
            for (const std::string& warning : (*loaded)->warnings) {
                host.addLog(warning, LineKind::Warning);
            }
            for (const std::string& line : DatCountLines(m_run.counters().dats)) {
                host.addLog(line);
            }
        }
    });
}

void TRTrim::StopButtonClick() {
    // The run logs the request among its own lines, at its next step.
    m_stopRequested = true;
    m_engine.requestStop();
}

void TRTrim::ClearButtonClick() {
    m_romList.clear();
    romlist.clear();
    m_datFacts.clear();
    resetCounters();
    EnableStuff();
}

void TRTrim::resetCounters() {
    for (const auto& [label, caption] :
         std::initializer_list<std::pair<QLabel*, const char*>>{{wifiLabel, kWifiCaption},
                                                                {errorsLabel, kErrorsCaption},
                                                                {skippedLabel, kSkippedCaption},
                                                                {LabelComplete, kProcessedCaption},
                                                                {LabelSavings, kSavingsCaption}}) {
        label->setText(caption);
    }
    for (QProgressBar* gauge : {SingleProgress, runProgress}) {
        gauge->setValue(gauge->minimum());
    }
}

void TRTrim::AboutButtonClick() {
    auto* about = new TAboutWindow(this);
    about->exec();
}

void TRTrim::ProcessSelectClick() {
    m_romList.setMultipleSelection(ProcessSelect->isChecked());
    if (UseListView->isChecked()) {
        romsListView->setVisible(true);
    }
}

void TRTrim::UseListViewClick() {
    romsListView->setVisible(UseListView->isChecked());
    if (UseListView->isChecked()) {
        romsListView->raise();
    }
}

void TRTrim::romInfoClick() {
    if (ProcessSelect->isChecked()) {
        return;  // the header window is for one entry
    }
    const RomListEntry* entry = m_romList.selectedEntry(UseListView->isChecked());
    if (!entry) {
        return;
    }
    if (entry->isMember()) {
        showMemberHeader(*entry);
        return;
    }
    TRomInfo::ShowForEntry(*entry, *m_dialogs, this, datLinesOf(*entry));
}

std::vector<std::string> TRTrim::datLinesOf(const RomListEntry& entry) const {
    if (m_datSettings.sources.empty()) {
        return {};
    }
    return DatMatchReport(datFactsOf(entry));
}

void TRTrim::showMemberHeader(const RomListEntry& member) {
    if (m_busy) {
        return;  // the engine is busy with a scan or run (the list's menu is still there)
    }
    const std::vector<std::string> datLines = datLinesOf(member);
    if (LowerExtension(member.member) != ".nds") {
        if (datLines.empty()) {
            m_dialogs->message(this, NotAnNdsImage(member.member));
        } else {
            TRomInfo::ShowForMember(member, datLines, this);
        }
        return;
    }
    // The member is read on the engine's thread, as a run reads it: the window waits on no
    // archive. "Stop" ends the reading.
    struct Outcome {
        Status status = Status::success();
        std::vector<std::string> lines;
    };
    auto outcome = std::make_shared<Outcome>();
    connect(
        this, &TRTrim::workFinished, this,
        [this, member, outcome, datLines] {
            if (outcome->status) {
                outcome->lines.insert(outcome->lines.end(), datLines.begin(), datLines.end());
                TRomInfo::ShowForMember(member, outcome->lines, this);
            } else if (outcome->status.reason() != kHeaderReadStopped) {
                m_dialogs->error(this, "Cannot read the header of " +
                                           VisibleText(FromPath(NamePart(member.member))) + " in " +
                                           VisibleText(FromPath(NamePart(member.path))) + ": " +
                                           FromUtf8(outcome->status.reason()));
            }
        },
        Qt::SingleShotConnection);
    startWork([this, member, outcome] {
        outcome->status = ReadMemberHeaderReport(member, outcome->lines, [this] {
            m_control.pump();
            return m_control.haltRequested();
        });
    });
}

void TRTrim::ShowLogButtonClick() {
    auto* window = new TLogWindow(logLines(), *m_dialogs, this);
    window->exec();
    settingsChanged();  // the folder of its "Save As"
}

QStringList TRTrim::logLines() const {
    return logText->toPlainText().split('\n');
}

void TRTrim::outputFolderButtonClick() {
    m_pickFolderStart = outputFolderEdit->text();
    const auto chosen = PickFolder("Pick output folder");
    if (!chosen) {
        return;
    }
    if (!chosen->isEmpty() && QDir(*chosen).exists()) {
        outputFolderEdit->setText(FromPath(WithTrailingSlash(ToPath(*chosen))));
    } else {
        outputFolderEdit->setText("/");
    }
}

void TRTrim::ModeFolderClick() {
    if (outputFolderEdit->text().isEmpty()) {
        outputFolderButtonClick();
    }
}

void TRTrim::TopWindClick() {
    setAlwaysOnTop(TopWind->isChecked());
}

void TRTrim::setAlwaysOnTop(bool onTop) {
    if (onTop == m_alwaysOnTop) {
        return;
    }
    m_alwaysOnTop = onTop;
    settingsChanged();
    const Qt::WindowFlags flags = windowFlags().setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (QWindow* shown = windowHandle()) {
        // The window system is told directly: the widget's own way hides the window and
        // makes it anew, which blinks.
        overrideWindowFlags(flags);
        shown->setFlags(flags);
        return;
    }
    setWindowFlags(flags);
}

void TRTrim::BlendTrackBarChange() {
    setWindowOpacity(BlendTrackBar->value() / 255.0);
}

void TRTrim::CheckNewVerMouseUp() {
    if (CheckNewVer->isChecked()) {
        m_versionCheck.check();
    }
}

void TRTrim::checkNewVerLabelClick() {
    CheckNewVer->setChecked(!CheckNewVer->isChecked());
    CheckNewVerMouseUp();
}

// ---- DATs and checks ----------------------------------------------------------------------

DatsDialog* TRTrim::datsDialog() const {
    return m_datsDialog;
}

void TRTrim::datsClick() {
    if (m_datsDialog) {
        m_datsDialog->raise();
        m_datsDialog->activateWindow();
        return;
    }
    m_datsDialog = new DatsDialog(m_datSettings, *m_dialogs, this);
    connect(m_datsDialog, &DatsDialog::settingsChanged, this, &TRTrim::setDatSettings);
    m_datsDialog->open();
    showDatsLoaded();
    refreshDatsLoaded();
}

void TRTrim::setDatSettings(const DatSettings& settings) {
    if (settings == m_datSettings) {
        return;
    }
    m_datSettings = settings;
    m_runOptions.setCheckPadding(settings.checkPadding);
    settingsChanged();
    showDatsLoaded();
    refreshDatsLoaded();
}

void TRTrim::noteLoadedDats(const WindowDats& dats) {
    m_datsLoadedSources = dats.sources;
    QStringList lines;
    for (const std::vector<std::string>* group : {&dats.loadedLines, &dats.warnings}) {
        for (const std::string& line : *group) {
            lines << VisibleText(FromUtf8(line));
        }
    }
    if (!dats.usable()) {
        lines.clear();
        for (const std::string& line : dats.failureLines()) {
            lines << VisibleText(FromUtf8(line));
        }
    }
    m_datsLoadedText = lines.join('\n');
    showDatsLoaded();
}

void TRTrim::showDatsLoaded() {
    if (!m_datsDialog) {
        return;
    }
    if (m_datSettings.sources.empty()) {
        m_datsDialog->showLoaded("No DATs set: roms are trimmed without being identified.");
    } else if (m_datsLoadedSources != m_datSettings.sources) {
        m_datsDialog->showLoaded("Loading DATs...");
    } else {
        m_datsDialog->showLoaded(m_datsLoadedText);
    }
}

void TRTrim::refreshDatsLoaded() {
    if (!m_datsDialog || m_busy || m_datSettings.sources.empty() ||
        m_datsLoadedSources == m_datSettings.sources) {
        return;
    }
    auto loaded = std::make_shared<std::optional<WindowDats>>();
    connect(
        this, &TRTrim::workFinished, this,
        [this, loaded] {
            if (*loaded) {
                noteLoadedDats(**loaded);
            }
        },
        Qt::SingleShotConnection);
    startWork([loaded, sources = m_datSettings.sources] { *loaded = LoadWindowDats(sources); });
}

void TRTrim::entryFinished(const EntryFacts& facts) {
    if (facts.dat) {
        m_datFacts.insert_or_assign(facts.listText, *facts.dat);
    }
    const auto row = m_runRows.find(facts.listText);
    if (row == m_runRows.end()) {
        return;
    }
    const QString reason = facts.dat ? FromUtf8(BadDumpReason(*facts.dat)) : QString();
    m_romList.markBadDump(row->second, VisibleText(reason));
}

const DatFacts* TRTrim::datFactsOf(const RomListEntry& entry) const {
    const auto found = m_datFacts.find(entry.text());
    return found == m_datFacts.end() ? nullptr : &found->second;
}

// ---- drops and the mouse ------------------------------------------------------------------

void TRTrim::handleDrop(const QStringList& paths) {
    if (!ScanButton->isEnabled()) {
        return;  // busy: the drop is ignored
    }
    std::vector<std::string> names;
    for (const QString& path : paths) {
        names.push_back(ToPath(path));
    }
    startWork([this, names, listed = m_romList.count()] { m_scanner.listDropped(names, listed); });
}

bool TRTrim::eventFilter(QObject* watched, QEvent* event) {
    if (watched == checkNewVerLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        checkNewVerLabelClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TRTrim::mousePressEvent(QMouseEvent* event) {
    m_dragger.DragWindow(event);
}

void TRTrim::mouseMoveEvent(QMouseEvent* event) {
    m_dragger.DragWindow(event);
}

}  // namespace ostravex::app
