#include "trtrim.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <limits>

#include "about_window.h"
#include "app_icon.h"
#include "backgrounds/background_rules.h"
#include "bg_wizard.h"
#include "build_settings.h"
#include "io/paths.h"
#include "jpeg_picture.h"
#include "log_window.h"
#include "rom_info_window.h"
#include "scan/rom_list_entry.h"
#include "settings/settings_groups.h"
#include "settings_store.h"
#include "text_conversion.h"
#include "trim/counter_labels.h"
#include "update/http_client.h"
#include "update/version_check.h"
#include "update/version_reply.h"
#include "user_dialogs.h"

// The default background is compiled into the library; a static library's resources are
// registered by hand.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

namespace ostravex::app {
namespace {

constexpr const char* kTitle = "Ostravex v2.5 beta - NDS/GBA rom trimmer";
constexpr int kClientWidth = 568;
constexpr int kClientHeight = 432;
// Pending events are let through at most this often during long work: often enough to
// keep the window responsive, rarely enough to cost nothing.
constexpr qint64 kPumpIntervalMs = 5;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                    const QRect& place) {
    auto* box = Named(new QCheckBox(caption, parent), name);
    box->setToolTip(hint);
    box->setGeometry(place);
    return box;
}

QToolButton* PictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap pixmap,
                           const QString& hint, const QRect& place) {
    auto* button = Named(new QToolButton(parent), name);
    button->setIcon(parent->style()->standardIcon(pixmap));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setGeometry(place);
    return button;
}

}  // namespace

TRTrim::TRTrim(const QStringList& arguments, std::shared_ptr<UserDialogs> dialogs, QWidget* parent)
    : QWidget(parent),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_shared<UserDialogs>()),
      m_versionHost(kVersionHost) {
    setObjectName("TRTrim");
    RegisterResources();
    createControls();
    connectControls();
    FormCreate(arguments);
}

TRTrim::~TRTrim() {
    // A program ending without a close (the "Restart required" path) still keeps its options.
    if (!m_settingsSaved) {
        saveSettings();
    }
}

// ---- the controls -----------------------------------------------------------------------

void TRTrim::createControls() {
    setWindowTitle(kTitle);
    setWindowIcon(AppIcon());
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    QFont font("Tahoma");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);
    setAcceptDrops(true);

    rar2 = Named(new QLabel(this), "rar2");
    rar2->setGeometry(0, 0, 577, 432);
    rar2->setPixmap(QPixmap(":/background.jpg"));
    rar2->lower();
    rar2->installEventFilter(this);

    ScanButton = Named(new QPushButton("Scan Folders", this), "ScanButton");
    ScanButton->setGeometry(8, 6, 96, 24);
    TrimButton = Named(new QPushButton("Trim!", this), "TrimButton");
    TrimButton->setGeometry(8, 34, 96, 24);
    TrimButton->setEnabled(false);
    StopButton = Named(new QPushButton("Stop", this), "StopButton");
    StopButton->setGeometry(8, 62, 96, 24);
    StopButton->setEnabled(false);
    ClearButton = Named(new QPushButton("Clear Searches", this), "ClearButton");
    ClearButton->setGeometry(8, 90, 96, 24);
    ClearButton->setEnabled(false);

    ZipSupport = CheckBox(this, "ZipSupport", "Scan inside Zip/Rar/7zip",
                          "Scan inside zip and rar files (much slower)", {112, 4, 180, 17});
    ZipSupport->setChecked(true);
    RecurseScan = CheckBox(this, "RecurseScan", "Recursive Scan", "Scan all subfolders for roms",
                           {112, 20, 180, 17});
    RecurseScan->setChecked(true);
    ProcessSelect = CheckBox(this, "ProcessSelect", "Process only selected",
                             "Process only selected files", {112, 36, 180, 17});
    UseListView = CheckBox(this, "UseListView", "Use normal listView", {}, {112, 52, 180, 17});
    SramP = CheckBox(this, "SramP", "Patch SRAM for GBA roms",
                     "SRAM Patcher for GBA roms\nWARNING: set this option off if you get corrupted "
                     "GBA roms",
                     {112, 68, 180, 17});
    OnlyPatch = CheckBox(this, "OnlyPatch", "Only Patch, don't trim",
                         "Skip trimming, just patch for SRAM", {112, 84, 180, 17});
    SkipDSi = CheckBox(this, "SkipDSi", "Skip DSi roms",
                       "Skip trimming DSi enhanced roms; enable this to skip them if they aren't "
                       "being trimmed properly",
                       {112, 100, 180, 17});

    FlatGroupBox1 = Named(new QGroupBox(" File Options ", this), "FlatGroupBox1");
    FlatGroupBox1->setGeometry(296, 2, 266, 116);
    ModeOverwrite =
        Named(new QRadioButton("Overwrite original file", FlatGroupBox1), "ModeOverwrite");
    ModeOverwrite->setGeometry(8, 16, 250, 17);
    ModeOverwrite->setChecked(true);
    ModeBackup =
        Named(new QRadioButton("Backup original file (x.nds.bak)", FlatGroupBox1), "ModeBackup");
    ModeBackup->setGeometry(8, 32, 250, 17);
    ModeFolder =
        Named(new QRadioButton("Use a different output folder", FlatGroupBox1), "ModeFolder");
    ModeFolder->setGeometry(8, 48, 250, 17);
    Edit1 = Named(new QLineEdit(FlatGroupBox1), "Edit1");
    Edit1->setReadOnly(true);
    Edit1->setGeometry(8, 67, 222, 20);
    FlatButton4 = PictureButton(FlatGroupBox1, "FlatButton4", QStyle::SP_DirOpenIcon,
                                "Pick output folder", {234, 66, 24, 22});
    notoverwrite = CheckBox(FlatGroupBox1, "notoverwrite", "Don't overwrite",
                            "Don't overwrite files", {8, 92, 108, 17});
    RemoveNames = CheckBox(FlatGroupBox1, "RemoveNames", "Remove scene numbers",
                           "Remove scene numbers, like \"0123 - abc.nds\" -> \"abc.nds\"",
                           {118, 92, 146, 17});

    Label1 = Named(new QLabel("Roms Found", this), "Label1");
    Label1->setGeometry(8, 122, 120, 15);
    RomsList = Named(new QListWidget(this), "RomsList");
    RomsList->setGeometry(8, 138, 530, 160);
    RomsList->setContextMenuPolicy(Qt::CustomContextMenu);
    RomsList->setAcceptDrops(true);
    RomsList->setUniformItemSizes(true);
    ListView1 = Named(new QTreeWidget(this), "ListView1");
    ListView1->setGeometry(8, 138, 530, 160);
    ListView1->setHeaderLabels({"Files"});
    ListView1->setColumnWidth(0, 530);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setUniformRowHeights(true);
    ListView1->setStyleSheet("QTreeWidget::item { border-bottom: 1px solid #dddddd; }");
    m_ndsGroup = new QTreeWidgetItem(ListView1, {"NDS Roms"});
    m_gbaGroup = new QTreeWidgetItem(ListView1, {"GBA Roms"});
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        group->setFlags(Qt::ItemIsEnabled);
        group->setExpanded(true);
        QFont bold = font;
        bold.setBold(true);
        group->setFont(0, bold);
    }
    ListView1->setVisible(false);
    BlendTrackBar = Named(new QSlider(Qt::Vertical, this), "BlendTrackBar");
    BlendTrackBar->setGeometry(542, 138, 20, 150);
    BlendTrackBar->setRange(100, 255);
    BlendTrackBar->setValue(255);
    BlendTrackBar->setCursor(Qt::PointingHandCursor);
    BlendTrackBar->setToolTip("Window transparency");

    FlatCheckBox1 = CheckBox(this, "FlatCheckBox1", "Check for bricker", {}, {8, 302, 120, 17});
    FlatCheckBox1->setChecked(true);
    FlatCheckBox1->setEnabled(false);
    UseBackgrounds = CheckBox(this, "UseBackgrounds", "Alternate Backgrounds", "Restart required",
                              {132, 302, 150, 17});
    DisableBackground =
        CheckBox(this, "DisableBackground", "Disable Background", {}, {286, 302, 130, 17});
    const QString versionHint = "Check for new version at start-up or when you enable the box";
    CheckNewVer = CheckBox(this, "CheckNewVer", {}, versionHint, {420, 302, 17, 17});
    CheckNewVer->setChecked(true);
    CheckNewVer->setCursor(Qt::PointingHandCursor);
    Label2 = Named(new QLabel("Check for new version", this), "Label2");
    Label2->setGeometry(438, 302, 124, 17);
    Label2->setToolTip(versionHint);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->installEventFilter(this);

    const QString labelStyle = "QLabel { font-weight: bold; }";
    const auto counter = [&](const char* name, const char* caption, int row) {
        auto* label = Named(new QLabel(caption, this), name);
        label->setGeometry(8, 324 + row * 15, 200, 15);
        label->setStyleSheet(labelStyle);
        return label;
    };
    Label4 = counter("Label4", kWifiCaption, 0);
    Label3 = counter("Label3", kErrorsCaption, 1);
    Label5 = counter("Label5", kSkippedCaption, 2);
    LabelComplete = counter("LabelComplete", kProcessedCaption, 3);
    LabelSavings = counter("LabelSavings", kSavingsCaption, 4);

    ShowLogButton = PictureButton(this, "ShowLogButton", QStyle::SP_FileDialogDetailedView,
                                  "Open log in a new window", {214, 324, 25, 26});
    RomInfoBut = PictureButton(this, "RomInfoBut", QStyle::SP_FileDialogInfoView, "Rom Header Info",
                               {242, 324, 25, 26});
    TopWind = PictureButton(this, "TopWind", QStyle::SP_TitleBarShadeButton, "Switch Always On",
                            {214, 352, 25, 26});
    TopWind->setCheckable(true);
    BgChangeBut = PictureButton(this, "BgChangeBut", QStyle::SP_DesktopIcon,
                                "Background Pictures Wizard", {242, 352, 25, 26});
    AboutButton = Named(new QPushButton("About", this), "AboutButton");
    AboutButton->setGeometry(214, 381, 53, 20);

    Memo1 = Named(new QPlainTextEdit(this), "Memo1");
    Memo1->setGeometry(286, 322, 275, 78);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setStyleSheet("QPlainTextEdit { background: transparent; }");

    Label6 = Named(new QLabel(this), "Label6");
    Label6->setText(QString("<a href=\"%1\">%1</a>").arg(QString(kWebsiteUrl).toHtmlEscaped()));
    Label6->setToolTip(QString("Visit ") + kForumUrl);
    Label6->setCursor(Qt::PointingHandCursor);
    Label6->setGeometry(300, 122, 170, 15);
    Label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont linkFont("Arial");
    linkFont.setPointSize(7);
    Label6->setFont(linkFont);
    Image1 = PictureButton(this, "Image1", QStyle::SP_DialogYesButton,
                           "Please donate to help support this application", {474, 120, 64, 17});
    Image1->setText("Donate");
    Image1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Image1->setCursor(Qt::PointingHandCursor);

    SingleProgress = Named(new QProgressBar(this), "SingleProgress");
    SingleProgress->setGeometry(8, 405, 554, 11);
    SingleProgress->setTextVisible(false);
    SingleProgress->setValue(0);
    ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setGeometry(8, 418, 554, 11);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);

    inputfold = Named(new QLabel("/", this), "inputfold");
    inputfold->setVisible(false);
    CheatsButton = Named(new QToolButton(this), "CheatsButton");
    CheatsButton->setToolTip("Cheats Editor");
    Arm7FixBut = Named(new QToolButton(this), "Arm7FixBut");
    Arm7FixBut->setToolTip("Arm7 Fix");
    Arm7FixBut->setText("7");
    ThroughBrickCheckBut = Named(new QToolButton(this), "ThroughBrickCheckBut");
    ThroughBrickCheckBut->setToolTip("Through check for Bricker");
    ThroughBrickCheckBut->setText("B");
    for (QToolButton* hidden : {CheatsButton, Arm7FixBut, ThroughBrickCheckBut}) {
        hidden->setVisible(false);
        hidden->setEnabled(false);
    }

    // The body, the counters, the gauges, the group box and the lists move the window.
    for (QWidget* dragger : std::initializer_list<QWidget*>{
             Label4, Label3, Label5, LabelComplete, LabelSavings, SingleProgress, ProgressBar1,
             FlatGroupBox1, Label1, RomsList->viewport(), ListView1->viewport()}) {
        dragger->installEventFilter(this);
    }
    RomsList->installEventFilter(this);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(AppIcon(), this);
        m_tray->show();
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
    connect(RomInfoBut, &QToolButton::clicked, this, &TRTrim::RomInfo1Click);
    connect(FlatButton4, &QToolButton::clicked, this, &TRTrim::FlatButton4Click);
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
        info->setObjectName("RomInfo1");
        connect(info, &QAction::triggered, this, &TRTrim::RomInfo1Click);
        menu.exec(RomsList->viewport()->mapToGlobal(at));
    });
    for (QToolButton* hidden : {CheatsButton, Arm7FixBut, ThroughBrickCheckBut}) {
        connect(hidden, &QToolButton::clicked, this,
                [this] { m_dialogs->message(this, "Not yet implemented"); });
    }
    connect(BgChangeBut, &QToolButton::clicked, this, &TRTrim::BgChangeButClick);
    connect(DisableBackground, &QCheckBox::toggled, this, &TRTrim::DisableBackgroundClick);
    // A click on the box itself: the box has toggled when the check starts.
    connect(CheckNewVer, &QCheckBox::clicked, this, &TRTrim::CheckNewVerMouseUp);
    connect(Label6, &QLabel::linkActivated, this, &TRTrim::Label6Click);
    connect(Image1, &QToolButton::clicked, this, &TRTrim::Image1Click);
}

// ---- start-up ---------------------------------------------------------------------------

void TRTrim::FormCreate(const QStringList& arguments) {
    romlist.clear();
    Memo1->clear();
    addLog("Log");
    addLog("");
    addLog("");
    setWindowTitle(kTitle);
    restoreSettings();
    if (arguments.size() == 1) {
        m_scanner.HandleCommandLinePath(ToPath(arguments.front()));
    }
}

void TRTrim::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Once the window is up: its background and the version check may take a while.
        QTimer::singleShot(0, this, &TRTrim::FormShow);
    }
}

void TRTrim::FormShow() {
    ProcessSelectClick();
    if (DisableBackground->isChecked()) {
        rar2->setVisible(false);  // the plain window colour, and no version check
        rar2->clear();
        return;
    }
    if (UseBackgrounds->isChecked()) {
        const BackgroundPlan plan =
            PlanAlternateBackground(ReadWizardChoices(LoadStore()), [this] { pump(); });
        for (const std::string& line : plan.logLines) {
            addLog(line);
        }
        if (plan.picture && !SetBg(FromPath(*plan.picture))) {
            return;  // a picture that cannot be decoded: its error was shown
        }
    }
    CheckNewVerMouseUp();
}

bool TRTrim::SetBg(const QString& file) {
    JpegPicture picture;
    QString error;
    if (!JpegPicture::Load(file, picture, error)) {
        m_dialogs->error(this, error);
        return false;
    }
    if (IsUsableBackground(picture.image.width(), picture.image.height(),
                           static_cast<std::uint64_t>(QFileInfo(file).size()))) {
        showBackground(picture.image);
    } else {
        addLog("Picture must be 577 x 432 and at least 15 KB. Use the stretch or cropping wizard");
    }
    return true;
}

void TRTrim::showBackground(const QImage& picture) {
    rar2->setPixmap(QPixmap::fromImage(picture));
    rar2->setVisible(true);
}

void TRTrim::BgChangeButClick() {
    if (DisableBackground->isChecked()) {
        m_dialogs->message(this, "Background is disabled");
        return;
    }
    if (!UseBackgrounds->isChecked()) {
        m_dialogs->message(this, "Backgrounds are disabled");
        return;
    }
    auto* wizard = new TBgWizard(
        *m_dialogs, [this](const QImage& picture) { showBackground(picture); }, this);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    if (wizard->BgsPath->text().isEmpty() || !QDir(wizard->BgsPath->text()).exists()) {
        wizard->BgsPath->setText(QCoreApplication::applicationDirPath() + "/");
    }
    wizard->exec();
}

void TRTrim::DisableBackgroundClick() {
    if (isVisible()) {
        QTimer::singleShot(100, this, &TRTrim::BgTimerTimer);
    }
}

void TRTrim::BgTimerTimer() {
    m_dialogs->message(this, "Restart required");
    // The options are saved on the way out; the change shows at the next start.
    close();
}

// ---- the version check ------------------------------------------------------------------

void TRTrim::setVersionService(const QString& host, std::chrono::milliseconds timeout) {
    m_versionHost = host;
    m_versionTimeout = timeout;
}

void TRTrim::CheckNewVerMouseUp() {
    if (!CheckNewVer->isChecked()) {
        return;
    }
    if (m_checkingVersion) {
        m_dialogs->error(this, "The version check is busy with an earlier request");
        return;
    }
    addLog("Checking for new version..");
    const std::string host = m_versionHost.toStdString();
    if (!IsVersionServiceConfigured(host)) {
        addLog("Couldn't check for new version");  // this build names no service
        return;
    }
    m_checkingVersion = true;
    HttpGetOptions options;
    options.inactivityTimeout = m_versionTimeout;
    options.pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); };
    HttpReply reply;
    const Status status = HttpGet(VersionCheckUrl(host), options, reply);
    m_checkingVersion = false;
    if (!status) {
        m_dialogs->error(this, FromUtf8(status.reason()));
        return;
    }
    const VersionReply answer = InterpretVersionReply(reply.body);
    switch (answer.kind) {
        case VersionReply::Kind::LatestVersion:
            addLog("You have the latest version");
            break;
        case VersionReply::Kind::NewBuild:
            m_dialogs->message(this, "New version found! Build " +
                                         QString::fromLatin1(answer.text.c_str()) +
                                         " is available");
            Label6Click();
            break;
        case VersionReply::Kind::Notice:
            m_dialogs->message(this, QString::fromLocal8Bit(answer.text.c_str()));
            break;
        case VersionReply::Kind::CouldNotCheck:
            addLog("Couldn't check for new version");
            break;
        case VersionReply::Kind::Nothing:
            break;
    }
}

void TRTrim::Label2Click() {
    CheckNewVer->setChecked(!CheckNewVer->isChecked());
    CheckNewVerMouseUp();
}

void TRTrim::Label6Click() {
    m_dialogs->openUrl(kWebsiteUrl);
}

void TRTrim::Image1Click() {
    m_dialogs->openUrl(kDonateUrl);
}

// ---- settings ---------------------------------------------------------------------------

void TRTrim::setRadioFromSettings(QRadioButton* button, bool checked) {
    if (checked) {
        button->setChecked(true);  // unchecks the others and runs its reaction
        return;
    }
    // An option stored as off clears only its own mark.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void TRTrim::restoreSettings() {
    const RegFile file = LoadStore();
    const auto apply = [this](const StoredSetting& setting, const SettingValue& value) {
        const std::string_view name = setting.name;
        if (name == "Edit1_Text") {
            Edit1->setText(FromPath(std::get<std::string>(value)));
        } else if (name == "inputfold_Caption") {
            inputfold->setText(FromPath(std::get<std::string>(value)));
        } else if (name == "BlendTrackBar_Position") {
            BlendTrackBar->setValue(std::clamp(std::get<std::int32_t>(value), 100, 255));
        } else if (name == "ModeOverwrite_Checked") {
            setRadioFromSettings(ModeOverwrite, std::get<bool>(value));
        } else if (name == "ModeBackup_Checked") {
            setRadioFromSettings(ModeBackup, std::get<bool>(value));
        } else if (name == "ModeFolder_Checked") {
            setRadioFromSettings(ModeFolder, std::get<bool>(value));
        } else if (name == "TopWind_Down") {
            const QSignalBlocker quiet(TopWind);
            TopWind->setChecked(std::get<bool>(value));
        } else if (name == "TopMostWindow1_AlwaysOnTop") {
            setAlwaysOnTop(std::get<bool>(value));
        } else if (auto* box = findChild<QCheckBox*>(
                       QString::fromLatin1(name.substr(0, name.find('_')).data(),
                                           static_cast<qsizetype>(name.find('_'))))) {
            box->setChecked(std::get<bool>(value));
        }
    };
    if (RestoreSettingsGroup(file, kMainSettingsKey, kMainSettings, apply)) {
        FormStorage1AfterRestorePlacement();
    }
    if (!ModeOverwrite->isChecked() && !ModeBackup->isChecked() && !ModeFolder->isChecked()) {
        ModeOverwrite->setChecked(true);  // every option stored as off: back to the default
    }
}

void TRTrim::FormStorage1AfterRestorePlacement() {
    const bool folderExists = !Edit1->text().isEmpty() && QDir(Edit1->text()).exists();
    if (ModeFolder->isChecked() && !folderExists) {
        ModeOverwrite->setChecked(true);
        Edit1->clear();
    }
}

void TRTrim::saveSettings() {
    m_settingsSaved = true;
    const auto current = [this](const StoredSetting& setting) -> SettingValue {
        const std::string_view name = setting.name;
        if (name == "Edit1_Text") {
            return ToPath(Edit1->text());
        }
        if (name == "inputfold_Caption") {
            return ToPath(inputfold->text());
        }
        if (name == "BlendTrackBar_Position") {
            return static_cast<std::int32_t>(BlendTrackBar->value());
        }
        if (name == "TopWind_Down") {
            return TopWind->isChecked();
        }
        if (name == "TopMostWindow1_AlwaysOnTop") {
            return m_alwaysOnTop;
        }
        const QString control =
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.find('_')));
        if (const auto* button = findChild<QAbstractButton*>(control)) {
            return button->isChecked();
        }
        return false;
    };
    SaveStore(
        [&](RegFile& file) { SaveSettingsGroup(file, kMainSettingsKey, kMainSettings, current); },
        *m_dialogs, this);
}

// ---- idle and busy ----------------------------------------------------------------------

void TRTrim::DisableStuff() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ScanButton, TrimButton, ZipSupport, ProcessSelect, RecurseScan, ShowLogButton,
             FlatGroupBox1, ThroughBrickCheckBut, Arm7FixBut, CheatsButton, RomInfoBut,
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
             ZipSupport, ProcessSelect, RecurseScan, ShowLogButton, FlatGroupBox1,
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
    if (m_closeRequested) {
        // A close that came in during the work goes ahead now.
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TRTrim::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        // Closing in the middle of a scan or run: stop it first, close when it has ended.
        m_closeRequested = true;
        if (!m_haltRequested) {
            StopButtonClick();
        }
        event->ignore();
        return;
    }
    saveSettings();
    event->accept();
}

// ---- commands ---------------------------------------------------------------------------

std::optional<QString> TRTrim::PickFolder(const QString& title) {
    return m_dialogs->pickFolder(this, title, m_pickFolderStart);
}

void TRTrim::ScanButtonClick() {
    // The picker starts at the last scanned folder kept with the settings, or else at the
    // folder of the last scan of this session.
    QString scanFolder = FromPath(m_scanner.scanFolder());
    if (!inputfold->text().isEmpty() && QDir(inputfold->text()).exists()) {
        scanFolder = inputfold->text();
    }
    m_pickFolderStart = scanFolder;
    const auto chosen = PickFolder("Pick a folder");
    if (!chosen) {
        return;
    }
    const std::string folder = WithTrailingSlash(ToPath(*chosen));
    inputfold->setText(FromPath(folder));
    m_scanner.ScanFolder(folder);
}

QStringList TRTrim::snapshotRomList() const {
    QStringList entries;
    const bool selectedOnly = ProcessSelect->isChecked();
    if (UseListView->isChecked()) {
        for (const QTreeWidgetItem* item : m_listViewItems) {
            if (!selectedOnly || item->isSelected()) {
                entries << item->text(0);
            }
        }
        return entries;
    }
    for (int i = 0; i < RomsList->count(); ++i) {
        const QString text = RomsList->item(i)->text();
        if (!selectedOnly) {
            entries << text;
            continue;
        }
        // The list box answers for the first item of that text.
        for (int j = 0; j < RomsList->count(); ++j) {
            if (RomsList->item(j)->text().compare(text, Qt::CaseInsensitive) == 0) {
                if (RomsList->item(j)->isSelected()) {
                    entries << text;
                }
                break;
            }
        }
    }
    return entries;
}

void TRTrim::TrimButtonClick() {
    DisableStuff();
    m_busy = true;
    romlist = snapshotRomList();
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(romlist.size()));
    for (const QString& entry : romlist) {
        entries.push_back(ToPath(entry));
    }
    m_run.run(entries);
}

void TRTrim::StopButtonClick() {
    addLog("Halt Requested. Stopping Operations...");
    m_haltRequested = true;
}

void TRTrim::ClearButtonClick() {
    clearRomList();
    romlist.clear();
    EnableStuff();
}

void TRTrim::AboutButtonClick() {
    auto* about = new TAboutWindow(this);
    about->exec();
}

void TRTrim::ProcessSelectClick() {
    if (ProcessSelect->isChecked()) {
        RomsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
        RomsList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    } else {
        RomsList->setSelectionMode(QAbstractItemView::SingleSelection);
        RomsList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    if (UseListView->isChecked()) {
        ListView1->setVisible(true);
    }
}

void TRTrim::UseListViewClick() {
    ListView1->setVisible(UseListView->isChecked());
    if (UseListView->isChecked()) {
        ListView1->raise();
    }
}

void TRTrim::RomInfo1Click() {
    QString entry;
    if (UseListView->isChecked()) {
        const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
        if (selected.size() != 1 || ProcessSelect->isChecked() || !selected.front()->parent()) {
            return;
        }
        entry = selected.front()->text(0);
    } else {
        const int index = RomsList->currentRow();
        if (index < 0 || ProcessSelect->isChecked() || index >= RomsList->count() ||
            !RomsList->item(index)->isSelected()) {
            return;
        }
        entry = RomsList->item(index)->text();
    }
    const std::string path = ToPath(entry);
    if (!FileExists(path)) {
        return;  // also archive members, whose entries name no file
    }
    if (LowerExtension(path) != ".nds") {
        m_dialogs->message(this, "Only uncompressed roms supported");
        return;
    }
    auto* info = new TRomInfo(this);
    info->fil = entry;
    info->setWindowTitle("Rom Header Info: " + FromPath(NamePart(path)));
    QString error;
    if (!info->LoadRomInfo(error)) {
        delete info;
        m_dialogs->error(this, error);
        return;
    }
    info->show();
}

void TRTrim::ShowLogButtonClick() {
    auto* window = new TLogWindow(logLines(), *m_dialogs, this);
    window->exec();
}

void TRTrim::FlatButton4Click() {
    m_pickFolderStart = Edit1->text();
    const auto chosen = PickFolder("Pick output folder");
    if (!chosen) {
        return;
    }
    if (!chosen->isEmpty() && QDir(*chosen).exists()) {
        Edit1->setText(FromPath(WithTrailingSlash(ToPath(*chosen))));
    } else {
        Edit1->setText("/");
    }
}

void TRTrim::ModeFolderClick() {
    if (Edit1->text().isEmpty()) {
        FlatButton4Click();
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
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible) {
        show();  // changing the flags hides the window
    }
}

void TRTrim::BlendTrackBarChange() {
    setWindowOpacity(BlendTrackBar->value() / 255.0);
}

// ---- drops and dragging the window ------------------------------------------------------

void TRTrim::handleDrop(const QStringList& paths) {
    if (!ScanButton->isEnabled()) {
        return;  // busy: the drop is ignored
    }
    std::vector<std::string> names;
    for (const QString& path : paths) {
        names.push_back(ToPath(path));
    }
    m_scanner.HandleDrop(names);
}

void TRTrim::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && ScanButton->isEnabled()) {
        event->acceptProposedAction();
    }
}

void TRTrim::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths << QDir::cleanPath(url.toLocalFile());
        }
    }
    event->acceptProposedAction();
    // The drop itself ends at once; the scan runs from the event loop.
    QTimer::singleShot(0, this, [this, paths] { handleDrop(paths); });
}

bool TRTrim::eventFilter(QObject* watched, QEvent* event) {
    if (watched == RomsList &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop ||
         event->type() == QEvent::DragMove)) {
        if (event->type() == QEvent::DragEnter) {
            dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        } else if (event->type() == QEvent::DragMove) {
            static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        } else {
            dropEvent(static_cast<QDropEvent*>(event));
        }
        return true;
    }
    if (watched == Label2) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Label2Click();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
        event->type() == QEvent::MouseButtonRelease) {
        return DragWindow(static_cast<QMouseEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

void TRTrim::mousePressEvent(QMouseEvent* event) {
    DragWindow(event);
}

void TRTrim::mouseMoveEvent(QMouseEvent* event) {
    DragWindow(event);
}

bool TRTrim::DragWindow(QMouseEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton) {
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        m_manualDrag = false;
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        m_manualDrag = false;
        return false;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        return false;
    }
    if (m_manualDrag) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        return true;
    }
    // The window manager moves the window as if its title bar were held; without one,
    // the window follows the mouse itself.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        return true;
    }
    m_manualDrag = true;
    move(event->globalPosition().toPoint() - m_dragOffset);
    return true;
}

// ---- the host ---------------------------------------------------------------------------

void TRTrim::addLog(const std::string& line) {
    Memo1->appendPlainText(FromUtf8(line));
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TRTrim::clearLog() {
    Memo1->clear();
}

QStringList TRTrim::logLines() const {
    return Memo1->toPlainText().split('\n');
}

void TRTrim::addRomEntry(const std::string& entry) {
    const QString text = FromPath(entry);
    RomsList->addItem(text);
    QTreeWidgetItem* group = GroupOfEntry(entry) == RomGroup::Nds ? m_ndsGroup : m_gbaGroup;
    m_listViewItems.push_back(new QTreeWidgetItem(group, {text}));
}

std::size_t TRTrim::romEntryCount() const {
    return static_cast<std::size_t>(RomsList->count());
}

void TRTrim::clearRomList() {
    RomsList->clear();
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        qDeleteAll(group->takeChildren());
    }
    m_listViewItems.clear();
}

void TRTrim::beginListUpdate() {
    RomsList->setUpdatesEnabled(false);
    ListView1->setUpdatesEnabled(false);
}

void TRTrim::endListUpdate() {
    RomsList->setUpdatesEnabled(true);
    ListView1->setUpdatesEnabled(true);
}

void TRTrim::setLabel(CounterLabel label, const std::string& text) {
    QLabel* target = nullptr;
    switch (label) {
        case CounterLabel::Wifi:
            target = Label4;
            break;
        case CounterLabel::Errors:
            target = Label3;
            break;
        case CounterLabel::Skipped:
            target = Label5;
            break;
        case CounterLabel::Complete:
            target = LabelComplete;
            break;
        case CounterLabel::Savings:
            target = LabelSavings;
            break;
    }
    target->setText(FromUtf8(text));
}

void TRTrim::setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) {
    QProgressBar* bar = gauge == Gauge::Run ? ProgressBar1 : SingleProgress;
    // A gauge counts in int: large sizes are shown in coarser steps.
    std::uint64_t scale = 1;
    while (maximum / scale > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        scale *= 1024;
    }
    bar->setRange(0, static_cast<int>(maximum / scale));
    bar->setValue(static_cast<int>(std::min(position, maximum) / scale));
}

FileMode TRTrim::fileMode() const {
    if (ModeBackup->isChecked()) {
        return FileMode::Backup;
    }
    if (ModeFolder->isChecked()) {
        return FileMode::Folder;
    }
    return FileMode::Overwrite;
}

std::string TRTrim::outputFolder() const {
    return ToPath(Edit1->text());
}

bool TRTrim::option(Option option) const {
    switch (option) {
        case Option::DontOverwrite:
            return notoverwrite->isChecked();
        case Option::SramPatch:
            return SramP->isChecked();
        case Option::OnlyPatch:
            return OnlyPatch->isChecked();
        case Option::SkipDsi:
            return SkipDSi->isChecked();
        case Option::RemoveSceneNumbers:
            return RemoveNames->isChecked();
        case Option::RecursiveScan:
            return RecurseScan->isChecked();
        case Option::ScanArchives:
            return ZipSupport->isChecked();
        case Option::DryRun:
        case Option::Restore:
        case Option::CheckPadding:
            return false;
    }
    return false;
}

void TRTrim::pump() {
    if (m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sincePump.start();
}

void TRTrim::notice(const std::string& text) {
    m_dialogs->message(this, FromUtf8(text));
}

std::string TRTrim::decimalSeparator() const {
    return QLocale().decimalPoint().toStdString();
}

}  // namespace ostravex::app
