#include "main_window_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <type_traits>
#include <variant>

#include "app_icon.h"
#include "app_title.h"
#include "build_settings.h"
#include "caption_backing.h"
#include "runlog/counter_labels.h"
#include "window_colours.h"

// The default background is compiled into the library; a static library's resources are
// registered by hand.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

namespace ostravex::app {
namespace {

constexpr int kClientWidth = 568;
constexpr int kClientHeight = 432;

// The member a control is kept in; its type is the kind of control the row makes.
template <typename Widget>
using Slot = Widget* MainWindowControls::*;
using ControlSlot =
    std::variant<Slot<QPushButton>, Slot<QCheckBox>, Slot<QRadioButton>, Slot<QToolButton>,
                 Slot<QLabel>, Slot<QLineEdit>, Slot<QGroupBox>, Slot<QListWidget>,
                 Slot<QTreeWidget>, Slot<QPlainTextEdit>, Slot<QProgressBar>, Slot<QSlider>>;

enum ControlFlag : unsigned {
    kPlain = 0,
    kInFileOptions = 1 << 0,  // a child of the " File Options " group
    kChecked = 1 << 1,
    kDisabled = 1 << 2,
    kHidden = 1 << 3,
    kToggle = 1 << 4,   // a button that stays down until clicked again
    kCounter = 1 << 5,  // a counter label, in bold
    kHandCursor = 1 << 6,
};

constexpr auto kNoIcon = QStyle::SP_CustomBase;

struct ControlRow {
    ControlSlot slot;
    const char* name;  // the object name
    QRect place;       // in the parent's coordinates; empty: left where it is made
    unsigned flags;
    const char* caption;
    const char* hint;
    QStyle::StandardPixmap icon = kNoIcon;  // a picture button's picture
};

using C = MainWindowControls;
constexpr const char* kVersionHint = "Check for new version at start-up or when you enable the box";
constexpr const char* kSramHint =
    "SRAM Patcher for GBA roms\nWARNING: set this option off if you get corrupted GBA roms";
constexpr const char* kDsiHint =
    "Skip trimming DSi enhanced roms; enable this to skip them if they aren't being trimmed "
    "properly";

// In the order the controls are made, which is also their stacking and tab order. A trailing
// comment gives the name a control had before it was named for what it is.
// clang-format off
constexpr ControlRow kLayout[] = {
    {&C::backgroundImage, "backgroundImage", {0, 0, 577, 432}, kPlain, nullptr, nullptr},  // rar2
    {&C::ScanButton, "ScanButton", {8, 6, 96, 24}, kPlain, "Scan Folders", nullptr},
    {&C::TrimButton, "TrimButton", {8, 34, 96, 24}, kDisabled, "Trim!", nullptr},
    {&C::StopButton, "StopButton", {8, 62, 96, 24}, kDisabled, "Stop", nullptr},
    {&C::ClearButton, "ClearButton", {8, 90, 96, 24}, kDisabled, "Clear Searches",
     nullptr},
    {&C::ZipSupport, "ZipSupport", {110, 4, 168, 17}, kChecked,
     "Scan inside Zip/Rar/7zip", "Scan inside zip and rar files (much slower)"},
    {&C::RecurseScan, "RecurseScan", {110, 20, 168, 17}, kChecked,
     "Recursive Scan", "Scan all subfolders for roms"},
    {&C::ProcessSelect, "ProcessSelect", {110, 36, 168, 17}, kPlain,
     "Process only selected", "Process only selected files"},
    {&C::UseListView, "UseListView", {110, 52, 168, 17}, kPlain,
     "Use normal listView", nullptr},
    {&C::SramP, "SramP", {110, 68, 168, 17}, kPlain,
     "Patch SRAM for GBA roms", kSramHint},
    {&C::OnlyPatch, "OnlyPatch", {110, 84, 168, 17}, kPlain,
     "Only Patch, don't trim", "Skip trimming, just patch for SRAM"},
    {&C::SkipDSi, "SkipDSi", {110, 100, 168, 17}, kPlain,
     "Skip DSi roms", kDsiHint},
    {&C::fileOptionsGroup, "fileOptionsGroup", {280, 2, 282, 116}, kPlain,
     " File Options ", nullptr},  // FlatGroupBox1
    {&C::ModeOverwrite, "ModeOverwrite", {8, 16, 250, 17}, kInFileOptions | kChecked,
     "Overwrite original file", nullptr},
    {&C::ModeBackup, "ModeBackup", {8, 32, 250, 17}, kInFileOptions,
     "Backup original file (x.nds.bak)", nullptr},
    {&C::ModeFolder, "ModeFolder", {8, 48, 250, 17}, kInFileOptions,
     "Use a different output folder", nullptr},
    {&C::outputFolderEdit, "outputFolderEdit", {8, 67, 238, 20}, kInFileOptions,
     nullptr, nullptr},  // Edit1
    {&C::outputFolderButton, "outputFolderButton", {250, 66, 24, 22},  // FlatButton4
     kInFileOptions, nullptr, "Pick output folder", QStyle::SP_DirOpenIcon},
    {&C::notoverwrite, "notoverwrite", {5, 92, 112, 17}, kInFileOptions,
     "Don't overwrite", "Don't overwrite files"},
    {&C::RemoveNames, "RemoveNames", {119, 92, 160, 17}, kInFileOptions,
     "Remove scene numbers", "Remove scene numbers, like \"0123 - abc.nds\" -> \"abc.nds\""},
    {&C::datsButton, "datsButton", {214, 119, 60, 19}, kPlain,
     "DATs...", "DATs and Checks (Ctrl+D)"},
    {&C::websiteLink, "websiteLink", {290, 122, 172, 15}, kHandCursor,
     nullptr, nullptr},  // Label6
    {&C::donateImage, "donateImage", {464, 119, 76, 19}, kHandCursor,
     "Donate", "Please donate to help support this application",
     QStyle::SP_DialogYesButton},  // Image1
    {&C::romsFoundLabel, "romsFoundLabel", {8, 122, 120, 15}, kPlain,
     "Roms Found", nullptr},  // Label1
    {&C::RomsList, "RomsList", {8, 138, 530, 160}, kPlain, nullptr, nullptr},
    {&C::romsListView, "romsListView", {8, 138, 530, 160}, kHidden,
     nullptr, nullptr},  // ListView1
    {&C::BlendTrackBar, "BlendTrackBar", {542, 138, 20, 150}, kHandCursor,
     nullptr, "Window transparency"},
    {&C::brickerCheckBox, "brickerCheckBox", {6, 302, 120, 17},  // FlatCheckBox1
     kChecked | kDisabled, "Check for bricker", nullptr},
    {&C::UseBackgrounds, "UseBackgrounds", {128, 302, 153, 17}, kPlain,
     "Alternate Backgrounds", "Restart required"},
    {&C::DisableBackground, "DisableBackground", {283, 302, 137, 17}, kPlain,
     "Disable Background", nullptr},
    {&C::CheckNewVer, "CheckNewVer", {421, 302, 17, 17}, kChecked | kHandCursor,
     nullptr, kVersionHint},
    {&C::checkNewVerLabel, "checkNewVerLabel", {438, 302, 124, 17}, kHandCursor,
     "Check for new version", kVersionHint},  // Label2
    {&C::wifiLabel, "wifiLabel", {8, 324, 200, 15}, kCounter, kWifiCaption, nullptr},  // Label4
    {&C::errorsLabel, "errorsLabel", {8, 339, 200, 15}, kCounter, kErrorsCaption,
     nullptr},  // Label3
    {&C::skippedLabel, "skippedLabel", {8, 354, 200, 15}, kCounter, kSkippedCaption,
     nullptr},  // Label5
    {&C::LabelComplete, "LabelComplete", {8, 369, 200, 15}, kCounter,
     kProcessedCaption, nullptr},
    {&C::LabelSavings, "LabelSavings", {8, 384, 200, 15}, kCounter,
     kSavingsCaption, nullptr},
    {&C::ShowLogButton, "ShowLogButton", {214, 324, 25, 26}, kPlain,
     nullptr, "Open log in a new window", QStyle::SP_FileDialogDetailedView},
    {&C::RomInfoBut, "RomInfoBut", {242, 324, 25, 26}, kPlain,
     nullptr, "Rom Header Info", QStyle::SP_FileDialogInfoView},
    {&C::TopWind, "TopWind", {214, 352, 25, 26}, kToggle,
     nullptr, "Switch Always On", QStyle::SP_TitleBarShadeButton},
    {&C::BgChangeBut, "BgChangeBut", {242, 352, 25, 26}, kPlain,
     nullptr, "Background Pictures Wizard", QStyle::SP_DesktopIcon},
    {&C::AboutButton, "AboutButton", {214, 380, 53, 22}, kPlain, "About", nullptr},
    {&C::logText, "logText", {286, 322, 275, 78}, kPlain, nullptr, nullptr},  // Memo1
    {&C::SingleProgress, "SingleProgress", {8, 405, 554, 11}, kPlain, nullptr, nullptr},
    {&C::runProgress, "runProgress", {8, 418, 554, 11}, kPlain, nullptr, nullptr},  // ProgressBar1
    {&C::inputfold, "inputfold", {}, kHidden, "/", nullptr},
    {&C::CheatsButton, "CheatsButton", {}, kHidden | kDisabled,
     nullptr, "Cheats Editor"},
    {&C::Arm7FixBut, "Arm7FixBut", {}, kHidden | kDisabled, "7", "Arm7 Fix"},
    {&C::ThroughBrickCheckBut, "ThroughBrickCheckBut", {}, kHidden | kDisabled,
     "B", "Through check for Bricker"},
};
// clang-format on

// Makes the control of one row and keeps it in its member.
QWidget* MakeControl(const ControlRow& row, MainWindowControls& controls, QWidget& window) {
    QWidget* parent =
        row.flags & kInFileOptions ? static_cast<QWidget*>(controls.fileOptionsGroup) : &window;
    return std::visit(
        [&]<typename Widget>(Widget* MainWindowControls::*slot) -> QWidget* {
            auto* control = new Widget(parent);
            controls.*slot = control;
            if (row.caption) {
                if constexpr (requires { control->setTitle(QString()); }) {
                    control->setTitle(row.caption);
                } else if constexpr (requires { control->setText(QString()); }) {
                    control->setText(row.caption);
                }
            }
            if constexpr (std::is_base_of_v<QAbstractButton, Widget>) {
                if (row.flags & kToggle) {
                    control->setCheckable(true);
                }
                control->setChecked(row.flags & kChecked);
            }
            if constexpr (std::is_same_v<Widget, QToolButton>) {
                if (row.icon != kNoIcon) {
                    control->setIcon(window.style()->standardIcon(row.icon));
                    control->setAutoRaise(true);
                }
            }
            return control;
        },
        row.slot);
}

void LayOut(const ControlRow& row, QWidget& control) {
    control.setObjectName(row.name);
    if (row.hint) {
        control.setToolTip(row.hint);
    }
    if (!row.place.isEmpty()) {
        control.setGeometry(row.place);
    }
    if (row.flags & kDisabled) {
        control.setEnabled(false);
    }
    if (row.flags & kHidden) {
        control.setVisible(false);
    }
    if (row.flags & kHandCursor) {
        control.setCursor(Qt::PointingHandCursor);
    }
    if (row.flags & kCounter) {
        QFont bold = control.font();
        bold.setBold(true);
        control.setFont(bold);
    }
}

// Rows under a line of the grid colour, as a report list with grid lines shows them.
class GridLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(0xdd, 0xdd, 0xdd));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

void SetUpWindow(QWidget& window) {
    window.setWindowTitle(kAppTitle);
    window.setWindowIcon(AppIcon());
    window.setFixedSize(kClientWidth, kClientHeight);
    // A fixed size: the frame offers no maximise button that would do nothing.
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    SetWindowColour(window, Qt::white);
    window.setFont(MainWindowFont());
}

// What a row cannot say: the lists' and the log's looks, ranges, the link.
void FinishControls(MainWindowControls& c) {
    c.backgroundImage->setPixmap(QPixmap(":/background.jpg"));
    c.captionBacking = new CaptionBacking(
        *c.backgroundImage, {c.RomsList, c.romsListView, c.SingleProgress, c.runProgress});
    c.outputFolderEdit->setReadOnly(true);

    c.RomsList->setContextMenuPolicy(Qt::CustomContextMenu);
    c.RomsList->setUniformItemSizes(true);
    // An entry's icon (the mark of a bad dump) is no taller than its line of text.
    const int iconSide = QFontMetrics(MainWindowFont()).height() - 1;
    c.RomsList->setIconSize(QSize(iconSide, iconSide));
    c.romsListView->setIconSize(QSize(iconSide, iconSide));
    // The one column fills the list (it grows past it only for a longer name, see RomList).
    // Its grid lines are drawn by a delegate: a style sheet would give the list the
    // desktop's colours instead of the window's, and lose the selection's ground.
    c.romsListView->setContextMenuPolicy(Qt::CustomContextMenu);
    c.romsListView->setHeaderLabels({"Files"});
    c.romsListView->header()->setStretchLastSection(true);
    c.romsListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.romsListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.romsListView->setUniformRowHeights(true);
    c.romsListView->setItemDelegate(new GridLineDelegate(c.romsListView));

    c.BlendTrackBar->setOrientation(Qt::Vertical);
    c.BlendTrackBar->setRange(100, 255);
    c.BlendTrackBar->setValue(255);

    // The log wraps its long lines rather than scrolling sideways: a horizontal bar would
    // take a line's room from the few the small log shows. It is written in the window's
    // text colour over the window (or the backing), not in a text field's colours.
    c.logText->setReadOnly(true);
    c.logText->setFrameShape(QFrame::NoFrame);
    c.logText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    c.logText->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    c.logText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette logPalette = c.logText->palette();
    logPalette.setColor(QPalette::Base, Qt::transparent);
    logPalette.setColor(QPalette::Text, logPalette.color(QPalette::WindowText));
    c.logText->setPalette(logPalette);

    // Enter presses a focused button, as Space does.
    for (QPushButton* button :
         {c.ScanButton, c.TrimButton, c.StopButton, c.ClearButton, c.AboutButton}) {
        button->setAutoDefault(true);
    }

    // The link's colour is given in the text: a label's rich text takes the desktop's link
    // colour, which a dark palette makes too light for the light window.
    // A build that names no web site shows no link (and no tooltip naming nothing).
    if (!QString(kWebsiteUrl).isEmpty()) {
        c.websiteLink->setText(QString("<a href=\"%1\" style=\"color: #0000cc\">%1</a>")
                                   .arg(QString(kWebsiteUrl).toHtmlEscaped()));
    }
    if (!QString(kForumUrl).isEmpty()) {
        c.websiteLink->setToolTip(QString("Visit ") + kForumUrl);
    }
    c.websiteLink->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont linkFont("Arial");
    linkFont.setPointSize(7);
    c.websiteLink->setFont(linkFont);
    c.donateImage->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    c.donateImage->setIconSize(QSize(14, 14));

    for (QProgressBar* gauge : {c.SingleProgress, c.runProgress}) {
        gauge->setTextVisible(false);
        gauge->setValue(0);
    }
}

}  // namespace

QFont MainWindowFont() {
    QFont font("Tahoma");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

MainWindowControls::MainWindowControls(QWidget& window) {
    RegisterResources();
    SetUpWindow(window);
    for (const ControlRow& row : kLayout) {
        LayOut(row, *MakeControl(row, *this, window));
    }
    FinishControls(*this);
}

}  // namespace ostravex::app
