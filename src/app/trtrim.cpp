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
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include "about_window.h"
#include "app_icon.h"
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
    connect(outputFolderButton, &QToolButton::clicked, this, &TRTrim::outputFolderButtonClick);
    connect(ModeFolder, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            ModeFolderClick();
        }
    });
    connect(TopWind, &QToolButton::clicked, this, &TRTrim::TopWindClick);
    connect(BlendTrackBar, &QSlider::valueChanged, this, &TRTrim::BlendTrackBarChange);
    connect(RomsList, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* info = menu.addAction("Rom Info");
        info->setObjectName("romInfoAction");
        connect(info, &QAction::triggered, this, &TRTrim::romInfoClick);
        menu.exec(RomsList->viewport()->mapToGlobal(at));
    });
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
}

void TRTrim::saveSettings() {
    m_saveTimer.stop();
    m_settingsSaved = true;
    m_store.save(
        [this](RegFile& file) {
            SaveMainOptions(file, m_mainOptions.read());
            SaveDialogFolders(file, *m_dialogs);
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
             ClearButton}) {
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
             ThroughBrickCheckBut, Arm7FixBut, CheatsButton, RomInfoBut}) {
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
    }
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
    romlist = m_romList.entriesToProcess(UseListView->isChecked(), ProcessSelect->isChecked());
    startWork([this, entries = romlist] { m_run.run(entries); });
}

void TRTrim::StopButtonClick() {
    // The run logs the request among its own lines, at its next step.
    m_stopRequested = true;
    m_engine.requestStop();
}

void TRTrim::ClearButtonClick() {
    m_romList.clear();
    romlist.clear();
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
    TRomInfo::ShowForEntry(*entry, *m_dialogs, this);
}

void TRTrim::showMemberHeader(const RomListEntry& member) {
    if (m_busy) {
        return;  // the engine is busy with a scan or run (the list's menu is still there)
    }
    if (LowerExtension(member.member) != ".nds") {
        m_dialogs->message(this, NotAnNdsImage(member.member));
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
        [this, member, outcome] {
            if (outcome->status) {
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
