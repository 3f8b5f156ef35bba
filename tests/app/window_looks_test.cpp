// How the windows look: captions that fit their controls at any scale factor (the test is
// run once per QT_SCALE_FACTOR), text that stands out from any background picture and in a
// dark palette, window titles, placement and the keyboard.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>

#include "about_window.h"
#include "application_setup.h"
#include "bg_wizard.h"
#include "crop_wizard.h"
#include "fake_dialogs.h"
#include "log_window.h"
#include "rom_info_window.h"
#include "support/rom_images.h"
#include "trtrim.h"

using namespace ostravex;
using ostravex::app::TRTrim;
using ostravex::testing::FakeDialogs;

namespace {

QString Caption(const QWidget& control) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        return label->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&control)) {
        return group->title();
    }
    return {};
}

// The room a control's caption needs: a push button's own minimum width is its style's
// taste, not its text's need, so only the text and the button's margins count there.
QSize NeededSize(const QWidget& control) {
    const QFontMetrics metrics(control.font());
    const QString text = Caption(control);
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        const int margin = control.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        return {metrics.horizontalAdvance(text) + 2 * margin, button->sizeHint().height()};
    }
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        if (label->wordWrap()) {
            return {0, label->heightForWidth(label->width())};
        }
        if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(text)) {
            return label->sizeHint();
        }
        return {metrics.horizontalAdvance(text) + 2 * label->margin(), metrics.height()};
    }
    if (qobject_cast<const QGroupBox*>(&control)) {
        return {metrics.horizontalAdvance(text) + 16, 0};
    }
    if (const auto* button = qobject_cast<const QToolButton*>(&control)) {
        return {button->sizeHint().width(),
                std::max(metrics.height(), button->iconSize().height())};
    }
    if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control)) {
        // The height the style asks for holds a focus frame; the caption needs its line.
        return {control.sizeHint().width(), metrics.height()};
    }
    return control.sizeHint();
}

// Every shown control of `window` whose caption does not fit, with what it needs.
QStringList ClippedCaptions(QWidget& window) {
    QStringList clipped;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        const QString text = Caption(*control);
        if (text.isEmpty() || !control->isVisibleTo(&window)) {
            continue;
        }
        const QSize needed = NeededSize(*control);
        if (needed.width() > control->width() || needed.height() > control->height()) {
            clipped << QString("%1 \"%2\": needs %3x%4, has %5x%6")
                           .arg(control->objectName(), text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(control->width())
                           .arg(control->height());
        }
    }
    return clipped;
}

double Luminance(QRgb pixel) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel));
}

// The contrast between the text in `area` and what is behind it: the usual pixel is taken
// for the background, the pixel most unlike it for the text.
double TextContrast(const QImage& shot, const QRect& area) {
    std::vector<double> levels;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            levels.push_back(Luminance(shot.pixel(x, y)));
        }
    }
    std::sort(levels.begin(), levels.end());
    const double background = levels[levels.size() / 2];
    const double darkest = levels[levels.size() / 100];
    const double lightest = levels[levels.size() - 1 - levels.size() / 100];
    const double text =
        std::abs(darkest - background) > std::abs(lightest - background) ? darkest : lightest;
    return (std::max(text, background) + 0.05) / (std::min(text, background) + 0.05);
}

// Where a control draws its caption, in its own coordinates.
QRect CaptionArea(QWidget& control) {
    const QFontMetrics metrics(control.font());
    if (auto* box = qobject_cast<QGroupBox*>(&control)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = box->alignment();
        return box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                            box);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto element = qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                                 : QStyle::SE_CheckBoxContents;
        const QRect contents = button->style()->subElementRect(element, &option, button);
        return contents.intersected(QRect(
            contents.left(), 0, metrics.horizontalAdvance(button->text()) + 2, control.height()));
    }
    if (auto* log = qobject_cast<QPlainTextEdit*>(&control)) {
        return log->viewport()->geometry();
    }
    return QRect(0, 0, std::min(control.width(), metrics.horizontalAdvance(Caption(control))),
                 control.height());
}

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(53, 53, 53));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 63));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 63));
    dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    dark.setColor(QPalette::Link, QColor(90, 160, 240));
    return dark;
}

// The captions (and the text of a log) of `window` that `measured` picks, which do not
// stand out from what is behind them in `shot`.
QStringList UnreadableCaptions(QWidget& window, const QImage& shot,
                               const std::function<bool(const QWidget&)>& measured) {
    QStringList unreadable;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        const bool writes = !Caption(*control).isEmpty() || qobject_cast<QPlainTextEdit*>(control);
        if (!writes || !control->isVisible() || !measured(*control)) {
            continue;
        }
        const QRect caption(control->mapTo(&window, CaptionArea(*control).topLeft()),
                            CaptionArea(*control).size());
        // The shot is in device pixels.
        const qreal ratio = shot.devicePixelRatio();
        const QRect area = QRectF(caption.x() * ratio, caption.y() * ratio, caption.width() * ratio,
                                  caption.height() * ratio)
                               .toAlignedRect()
                               .intersected(shot.rect());
        const double contrast = TextContrast(shot, area);
        if (contrast < 3.0) {
            unreadable << QString("%1: contrast %2").arg(control->objectName()).arg(contrast);
        }
    }
    return unreadable;
}

// The Fusion style as a dark desktop theme gives it: its own palette is the dark one too
// (as under the GTK platform theme with a dark GTK theme).
class DarkDesktopStyle : public QProxyStyle {
  public:
    DarkDesktopStyle() : QProxyStyle("Fusion") {}
    QPalette standardPalette() const override { return DarkPalette(); }
};

// A dark desktop theme while it lives.
class DarkPaletteScope {
  public:
    DarkPaletteScope()
        : m_palette(QApplication::palette()), m_style(QApplication::style()->name()) {
        QApplication::setStyle(new DarkDesktopStyle);
        QApplication::setPalette(DarkPalette());
    }
    ~DarkPaletteScope() {
        QApplication::setPalette(m_palette);
        QApplication::setStyle(m_style);
    }

  private:
    QPalette m_palette;
    QString m_style;
};

// The desktop's font at another size while it lives.
class DesktopFontScope {
  public:
    explicit DesktopFontScope(int pointSize) : m_font(QApplication::font()) {
        QFont font = m_font;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
    }
    ~DesktopFontScope() { QApplication::setFont(m_font); }

  private:
    QFont m_font;
};

QImage Picture(int width, int height, const QColor& colour) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

}  // namespace

class WindowLooksTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeDialogs> m_dialogs;

    std::unique_ptr<TRTrim> mainWindow() {
        auto window = std::make_unique<TRTrim>(QStringList{}, m_dialogs);
        window->show();
        return window;
    }
    void verifyNoCaptionClipped(QWidget& window) {
        const QStringList clipped = ClippedCaptions(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
    }

  private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_dir->filePath("config").toUtf8());
        m_dialogs = std::make_shared<FakeDialogs>();
    }

    void mainWindowCaptionsFit() {
        auto window = mainWindow();
        verifyNoCaptionClipped(*window);
        // The counters at the widest a large run makes them.
        window->wifiLabel->setText("Wifi games: 99999");
        window->errorsLabel->setText("Errors: 99999");
        window->skippedLabel->setText("Files skipped: 99999");
        window->LabelComplete->setText("Files Processed: 99999/99999");
        window->LabelSavings->setText("Total Savings: 999999.99 MB");
        verifyNoCaptionClipped(*window);
    }

    // The wizards under the desktop's usual font and under a larger one: the background
    // wizard places its controls by hand, so it writes in the main window's own font.
    void wizardCaptionsFit_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("desktopPointSize");  // 0: the platform's own
        QTest::newRow("small picture") << QSize(100, 50) << 0;
        QTest::newRow("background size") << QSize(577, 432) << 0;
        QTest::newRow("large picture") << QSize(2000, 1500) << 0;
        QTest::newRow("11-pt desktop font") << QSize(577, 432) << 11;
        QTest::newRow("14-pt desktop font") << QSize(2000, 1500) << 14;
    }
    void wizardCaptionsFit() {
        QFETCH(QSize, picture);
        QFETCH(int, desktopPointSize);
        std::optional<DesktopFontScope> desktopFont;
        if (desktopPointSize > 0) {
            desktopFont.emplace(desktopPointSize);
        }
        app::TBgWizard wizard(*m_dialogs, {});
        wizard.show();
        verifyNoCaptionClipped(wizard);
        QCOMPARE(wizard.font(), mainWindow()->font());

        app::TCropWizard crop(Picture(picture.width(), picture.height(), Qt::gray));
        crop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&crop));
        verifyNoCaptionClipped(crop);
        // The instruction at its longest.
        crop.Image1MouseDown(1, 1);
        verifyNoCaptionClipped(crop);
        // The buttons stand whole inside the panel (their height was checked above).
        for (QPushButton* button : {crop.FlatButton1, crop.FlatButton2, crop.FlatButton3}) {
            QVERIFY(button->geometry().bottom() < button->parentWidget()->height());
        }
    }

    // Each caption over the picture against a black and a white picture, in the light
    // palette and in a dark one (the Fusion style with dark colours).
    void textOverThePictureReadsOnAnyPicture_data() {
        QTest::addColumn<QColor>("pictureColour");
        QTest::addColumn<bool>("darkPalette");
        QTest::newRow("black picture") << QColor(Qt::black) << false;
        QTest::newRow("white picture") << QColor(Qt::white) << false;
        QTest::newRow("black picture, dark palette") << QColor(Qt::black) << true;
        QTest::newRow("white picture, dark palette") << QColor(Qt::white) << true;
    }
    void textOverThePictureReadsOnAnyPicture() {
        QFETCH(QColor, pictureColour);
        QFETCH(bool, darkPalette);
        std::optional<DarkPaletteScope> dark;
        if (darkPalette) {
            dark.emplace();
        }
        auto window = mainWindow();
        window->backgrounds().showBackground(Picture(577, 432, pictureColour));
        window->host().addLog("File Scan Started.");
        const QImage shot = window->grab().toImage();
        // For a look at what was measured: OSTRAVEX_LOOKS_DIR=/some/folder.
        if (const QString folder = qEnvironmentVariable("OSTRAVEX_LOOKS_DIR"); !folder.isEmpty()) {
            shot.save(QDir(folder).filePath(QString(QTest::currentDataTag()) + ".png"));
        }
        const QStringList unreadable =
            UnreadableCaptions(*window, shot, [&](const QWidget& control) {
                const bool overPicture = control.parentWidget() == window.get() ||
                                         control.parentWidget() == window->fileOptionsGroup;
                return overPicture && &control != window->inputfold &&
                       !qobject_cast<const QPushButton*>(&control);
            });
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join('\n')));
    }

    // Under a dark desktop theme the main window and the background wizard, which stand
    // over their own light grounds, give every control light colours with dark text.
    void windowsKeepTheirLightColoursUnderADarkTheme() {
        DarkPaletteScope dark;
        auto window = mainWindow();
        app::TBgWizard wizard(*m_dialogs, {});
        wizard.show();
        QStringList dim;
        for (QWidget* shown : std::initializer_list<QWidget*>{window.get(), &wizard}) {
            QList<QWidget*> controls = shown->findChildren<QWidget*>();
            controls.prepend(shown);
            for (const QWidget* control : controls) {
                const QPalette& colours = control->palette();
                for (const auto& [ground, text] :
                     {std::pair{QPalette::Window, QPalette::WindowText},
                      std::pair{QPalette::Base, QPalette::Text},
                      std::pair{QPalette::Button, QPalette::ButtonText}}) {
                    if (colours.color(ground).alpha() == 0) {
                        continue;  // it shows the window behind it (the log)
                    }
                    if (Luminance(colours.color(ground).rgb()) < 0.6 ||
                        Luminance(colours.color(text).rgb()) > 0.2) {
                        dim << QString("%1 (%2): %3 on %4")
                                   .arg(control->objectName(), control->metaObject()->className(),
                                        colours.color(text).name(), colours.color(ground).name());
                    }
                }
            }
        }
        QVERIFY2(dim.isEmpty(), qPrintable(dim.join('\n')));
    }

    // The grouped list keeps the light colours of the window it stands in, and a selected
    // row (with "Process only selected") reads as well as the others.
    void groupedListReadsInAnyColourScheme_data() {
        QTest::addColumn<bool>("darkPalette");
        QTest::newRow("light scheme") << false;
        QTest::newRow("dark scheme") << true;
    }
    void groupedListReadsInAnyColourScheme() {
        QFETCH(bool, darkPalette);
        std::optional<DarkPaletteScope> dark;
        if (darkPalette) {
            dark.emplace();
        }
        auto window = mainWindow();
        window->UseListView->setChecked(true);
        window->ProcessSelect->setChecked(true);
        for (const char* name : {"/roms/Advance Wars - Dual Strike (Europe).nds",
                                 "/roms/Professor Layton and the Curious Village (Europe).nds",
                                 "/roms/Golden Sun - The Lost Age (Europe).gba"}) {
            window->host().addRomEntry(RomListEntry::file(name));
        }
        QTreeWidget* list = window->romsListView;
        const auto& items = window->romList().listViewItems();
        items[1]->setSelected(true);
        items[2]->setSelected(true);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        const QPalette& listColours = list->palette();
        const QPalette& boxColours = window->RomsList->palette();
        for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Text}) {
            QCOMPARE(listColours.color(role), boxColours.color(role));
        }
        const QImage shot = list->viewport()->grab().toImage();
        if (const QString folder = qEnvironmentVariable("OSTRAVEX_LOOKS_DIR"); !folder.isEmpty()) {
            shot.save(QDir(folder).filePath(QString("grouped list, ") + QTest::currentDataTag() +
                                            ".png"));
        }
        const qreal ratio = shot.devicePixelRatio();
        const auto inShot = [&](const QRect& area) {
            return QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio,
                          area.height() * ratio)
                .toAlignedRect()
                .intersected(shot.rect());
        };
        // The ground below the rows is the list box's light ground.
        const QRect below(0, list->visualItemRect(items[2]).bottom() + 4, list->viewport()->width(),
                          8);
        const QImage ground = shot.copy(inShot(below));
        QVERIFY2(Luminance(ground.pixel(ground.width() / 2, ground.height() / 2)) > 0.8,
                 "the list's ground is dark");
        const QFontMetrics metrics(list->font());
        for (QTreeWidgetItem* item : items) {
            const QRect row = list->visualItemRect(item);
            const QRect text(row.left(), row.top(),
                             std::min(row.width(), metrics.horizontalAdvance(item->text(0)) + 8),
                             row.height());
            const double contrast = TextContrast(shot, inShot(text));
            QVERIFY2(contrast >= 3.0, qPrintable(QString("%1%2: contrast %3")
                                                     .arg(item->isSelected() ? "selected " : "")
                                                     .arg(item->text(0))
                                                     .arg(contrast)));
        }
    }

    // The grouped list scrolls sideways only for a name longer than it is wide, and then
    // far enough to show the whole name.
    void groupedListScrollsSidewaysOnlyForALongName_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<bool>("scrollsSideways");
        QTest::newRow("empty") << 0 << 0 << false;
        QTest::newRow("a few short names") << 3 << 20 << false;
        QTest::newRow("more rows than it shows") << 40 << 20 << false;
        QTest::newRow("a long name") << 1 << 200 << true;
        QTest::newRow("a long name among many") << 40 << 200 << true;
    }
    void groupedListScrollsSidewaysOnlyForALongName() {
        QFETCH(int, entries);
        QFETCH(int, nameLength);
        QFETCH(bool, scrollsSideways);
        auto window = mainWindow();
        window->UseListView->setChecked(true);
        for (int i = 0; i < entries; ++i) {
            const int length = i == entries / 2 ? nameLength : 20;
            window->host().addRomEntry(RomListEntry::file(
                "/roms/" + std::string(static_cast<std::size_t>(length), 'a' + i % 26) + ".nds"));
        }
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTreeWidget* list = window->romsListView;
        QCoreApplication::processEvents();
        QCOMPARE(list->horizontalScrollBar()->isVisible(), scrollsSideways);
        // The column reaches the list's right edge, and each name has the room it needs.
        QVERIFY(list->columnWidth(0) >= list->viewport()->width());
        for (QTreeWidgetItem* item : window->romList().listViewItems()) {
            const QModelIndex group =
                list->model()->index(list->indexOfTopLevelItem(item->parent()), 0);
            const QModelIndex index =
                list->model()->index(item->parent()->indexOfChild(item), 0, group);
            QStyleOptionViewItem option;
            option.initFrom(list->viewport());
            option.font = list->font();
            const int needed = list->itemDelegate()->sizeHint(option, index).width();
            QVERIFY2(list->visualItemRect(item).width() >= needed, qPrintable(item->text(0)));
        }
    }

    void wizardTextReadsInADarkPalette() {
        DarkPaletteScope dark;
        app::TBgWizard wizard(*m_dialogs, {});
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        const QStringList unreadable = UnreadableCaptions(
            wizard, wizard.grab().toImage(),
            [](const QWidget& control) { return !qobject_cast<const QPushButton*>(&control); });
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join('\n')));
    }

    void secondaryWindowTitlesAreExactlyTheirOwn() {
        app::SetUpApplication();
        // The window system appends an application display name to every other window's
        // title; none is set, so the name is the plain application name.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());

        auto window = mainWindow();
        QTemporaryDir roms;
        testing::WriteFile(roms.filePath("x.nds").toStdString(),
                           testing::NdsImageBuilder().usedSize(1000).size(65536).build());
        app::TRomInfo::ShowForEntry(RomListEntry::file(roms.filePath("x.nds").toStdString()),
                                    *m_dialogs, window.get());
        const auto infos = window->findChildren<app::TRomInfo*>();
        QCOMPARE(infos.size(), 1);
        app::TLogWindow log({}, *m_dialogs, window.get());
        app::TAboutWindow about(window.get());
        app::TBgWizard wizard(*m_dialogs, {}, window.get());
        app::TCropWizard crop(Picture(10, 10, Qt::gray), window.get());
        const QList<std::pair<QWidget*, QString>> titles{
            {window.get(), "Ostravex v2.5 beta - NDS/GBA rom trimmer"},
            {infos.front(), "Rom Header Info: x.nds"},
            {&log, "LogWindow"},
            {&about, "About Ostravex"},
            {&wizard, "Jpeg Picture Processing Wizard - Only JPG pictures allowed"},
            {&crop, "Cropping Wizard"},
        };
        for (const auto& [shown, title] : titles) {
            QCOMPARE(shown->windowTitle(), title);
        }
    }

    // A build names no address of its own, so no window may offer a link that leads nowhere.
    void noLinkLeadsNowhere() {
        auto window = mainWindow();
        app::TAboutWindow about(window.get());
        auto* aboutText = about.findChild<QTextBrowser*>("RichEdit1");
        QVERIFY(aboutText);
        auto* websiteLink = window->findChild<QLabel*>("websiteLink");
        QVERIFY(websiteLink);
        const QRegularExpression address("href=\"([^\"]*)\"");
        for (const QString& html : {aboutText->toHtml(), websiteLink->text()}) {
            for (const QRegularExpressionMatch& link : address.globalMatch(html)) {
                const QUrl url(link.captured(1));
                QVERIFY2(url.isValid() && !url.host().isEmpty() && !url.host().endsWith(".invalid"),
                         qPrintable("a link to " + link.captured(1)));
            }
        }
        QVERIFY(!websiteLink->toolTip().contains(".invalid"));
    }

    void windowsOpenCentredOnTheScreen() {
        auto window = mainWindow();
        QTemporaryDir roms;
        testing::WriteFile(roms.filePath("x.nds").toStdString(),
                           testing::NdsImageBuilder().usedSize(1000).size(65536).build());
        app::TRomInfo::ShowForEntry(RomListEntry::file(roms.filePath("x.nds").toStdString()),
                                    *m_dialogs, window.get());
        auto* info = window->findChild<app::TRomInfo*>();
        QVERIFY(info);
        app::TLogWindow log({}, *m_dialogs, window.get());
        log.show();
        app::TBgWizard wizard(*m_dialogs, {}, window.get());
        wizard.show();
        const QRect screen = window->screen()->availableGeometry();
        for (QWidget* shown : std::initializer_list<QWidget*>{window.get(), info, &log, &wizard}) {
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            const QPoint offCentre = shown->frameGeometry().center() - screen.center();
            QVERIFY2(offCentre.manhattanLength() <= 4, qPrintable(shown->windowTitle()));
            // A window larger than the screen is cut down to it (its text scrolls).
            QVERIFY2(screen.contains(shown->frameGeometry()), qPrintable(shown->windowTitle()));
        }
    }

    void smallLogNeverScrollsSideways() {
        auto window = mainWindow();
        for (int i = 0; i < 20; ++i) {
            window->host().addLog(
                "ERROR: /home/someone/Roms/Nintendo DS/0001 - A rather long "
                "game name (Europe) (En,Fr,De,Es,It).nds: cannot be read");
        }
        QCoreApplication::processEvents();
        QCOMPARE(window->logText->horizontalScrollBar()->maximum(), 0);
        QVERIFY(!window->logText->horizontalScrollBar()->isVisible());
        // The newest line is in view.
        QCOMPARE(window->logText->verticalScrollBar()->value(),
                 window->logText->verticalScrollBar()->maximum());
    }

    void escapeClosesSecondaryWindows() {
        auto window = mainWindow();
        QTemporaryDir roms;
        testing::WriteFile(roms.filePath("x.nds").toStdString(),
                           testing::NdsImageBuilder().usedSize(1000).size(65536).build());
        app::TRomInfo::ShowForEntry(RomListEntry::file(roms.filePath("x.nds").toStdString()),
                                    *m_dialogs, window.get());
        QPointer<app::TRomInfo> info = window->findChild<app::TRomInfo*>();
        QVERIFY(QTest::qWaitForWindowActive(info));
        QTest::keyClick(info->Memo1, Qt::Key_Escape);
        QTRY_VERIFY(!info || !info->isVisible());

        QPointer<app::TLogWindow> log = new app::TLogWindow({}, *m_dialogs, window.get());
        log->show();
        QVERIFY(QTest::qWaitForWindowActive(log));
        QTest::keyClick(log->Memo1, Qt::Key_Escape);
        QTRY_VERIFY(!log || !log->isVisible());
    }

    void tabGoesThroughTheControlsInReadingOrder() {
        auto window = mainWindow();
        window->host().addRomEntry(RomListEntry::file("/nowhere/a.nds"));
        window->EnableStuff();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->ScanButton->setFocus();
        QStringList order{window->ScanButton->objectName()};
        for (int i = 0; i < 40 && (order.size() == 1 || order.back() != order.front()); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        const QStringList expected{"ScanButton",
                                   "TrimButton",
                                   "ClearButton",
                                   "ZipSupport",
                                   "RecurseScan",
                                   "ProcessSelect",
                                   "UseListView",
                                   "SramP",
                                   "OnlyPatch",
                                   "SkipDSi",
                                   "ModeOverwrite",
                                   "outputFolderEdit",
                                   "outputFolderButton",
                                   "notoverwrite",
                                   "RemoveNames",
                                   "datsButton",
                                   "donateImage",
                                   "RomsList",
                                   "BlendTrackBar",
                                   "UseBackgrounds",
                                   "DisableBackground",
                                   "CheckNewVer",
                                   "ShowLogButton",
                                   "RomInfoBut",
                                   "TopWind",
                                   "BgChangeBut",
                                   "AboutButton",
                                   "logText",
                                   "ScanButton"};
        QCOMPARE(order, expected);
    }
};

QTEST_MAIN(WindowLooksTest)
#include "window_looks_test.moc"
