#include "bg_wizard.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>

#include "crop_wizard.h"
#include "io/paths.h"
#include "main_window_controls.h"
#include "text_conversion.h"
#include "user_dialogs.h"
#include "window_colours.h"
#include "window_placement.h"

namespace ostravex::app {
namespace {

constexpr int kPictureTop = 122;
constexpr const char* kJpegFilter = "JPEG Image File (*.jpg)";
constexpr const char* kWrongSize = "Picture must be 577 x 432. Use the stretch or cropping wizard";

// A colour of its own for a label's text; the rest of its colours stay the wizard's (a
// style sheet would take them from the desktop).
void SetTextColour(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

bool IsJpegName(const QString& path) {
    return QFileInfo(path).suffix().toLower() == "jpg";
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QRect& place) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    return button;
}

}  // namespace

TBgWizard::TBgWizard(UserDialogs& dialogs, std::function<void(const QImage&)> tryBackground,
                     QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_tryBackground(std::move(tryBackground)) {
    setObjectName("TBgWizard");
    setWindowTitle("Jpeg Picture Processing Wizard - Only JPG pictures allowed");
    setFixedSize(577, 555);
    SetWindowColour(*this, QColor(255, 221, 238));
    // Its controls are placed by hand for the main window's font, not the desktop's.
    setFont(MainWindowFont());

    LoadPic = Button(this, "LoadPic", "Load Base Picture", {6, 2, 124, 22});
    StretchPic = Button(this, "StretchPic", "Stretch Picture", {6, 25, 124, 22});
    OpenCrop = Button(this, "OpenCrop", "Crop Wizard", {6, 48, 124, 22});
    SavePic = Button(this, "SavePic", "Save Picture", {6, 71, 124, 22});
    Button1 = Button(this, "Button1", "Try Background", {6, 94, 124, 22});
    for (QPushButton* button : {SavePic, OpenCrop, StretchPic}) {
        button->setEnabled(false);
    }

    FlatGroupBox1 = new QGroupBox("Picture Selection", this);
    FlatGroupBox1->setObjectName("FlatGroupBox1");
    FlatGroupBox1->setGeometry(136, 0, 436, 104);
    RandomBgs = new QRadioButton("Randomly pick a background from this folder", FlatGroupBox1);
    RandomBgs->setObjectName("RandomBgs");
    RandomBgs->setGeometry(8, 14, 400, 18);
    RandomBgs->setChecked(true);
    BgsPath = new QLineEdit(FlatGroupBox1);
    BgsPath->setObjectName("BgsPath");
    BgsPath->setReadOnly(true);
    BgsPath->setGeometry(8, 32, 394, 20);
    FlatButton4 = new QToolButton(FlatGroupBox1);
    FlatButton4->setObjectName("FlatButton4");
    FlatButton4->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    FlatButton4->setToolTip("Pick pictures folder");
    FlatButton4->setGeometry(406, 31, 24, 22);
    FixedBg = new QRadioButton("Select a default fixed background", FlatGroupBox1);
    FixedBg->setObjectName("FixedBg");
    FixedBg->setGeometry(8, 56, 260, 18);
    FlatButton1 = Button(FlatGroupBox1, "FlatButton1", "Set Default Picture", {294, 54, 136, 22});
    FixedBgPath = new QLineEdit(FlatGroupBox1);
    FixedBgPath->setObjectName("FixedBgPath");
    FixedBgPath->setReadOnly(true);
    FixedBgPath->setGeometry(8, 78, 422, 20);

    Label2 = new QLabel("The picture must be 577x432", this);
    Label2->setObjectName("Label2");
    SetTextColour(*Label2, Qt::blue);
    Label2->setGeometry(142, 104, 220, 17);
    Label3 = new QLabel("Current Size:", this);
    Label3->setObjectName("Label3");
    SetTextColour(*Label3, QColor(0, 128, 64));
    Label3->setGeometry(370, 104, 200, 17);

    // The picture scrolls when a small screen (or a large scale factor) cuts the wizard
    // down; otherwise its area holds a whole 577 x 432 picture.
    pictureArea = new QScrollArea(this);
    pictureArea->setObjectName("pictureArea");
    pictureArea->setFrameShape(QFrame::NoFrame);
    pictureArea->setBackgroundRole(QPalette::Window);
    Image1 = new QLabel();
    Image1->setObjectName("Image1");
    Image1->resize(0, 0);
    pictureArea->setWidget(Image1);

    connect(LoadPic, &QPushButton::clicked, this, &TBgWizard::LoadPicClick);
    connect(FlatButton1, &QPushButton::clicked, this, &TBgWizard::FlatButton1Click);
    connect(FlatButton4, &QToolButton::clicked, this, &TBgWizard::FlatButton4Click);
    connect(Button1, &QPushButton::clicked, this, &TBgWizard::Button1Click);
    connect(StretchPic, &QPushButton::clicked, this, &TBgWizard::StretchPicClick);
    connect(SavePic, &QPushButton::clicked, this, &TBgWizard::SavePicClick);
    connect(OpenCrop, &QPushButton::clicked, this, &TBgWizard::OpenCropClick);

    m_bindings = {
        Bind(settings::kBgsPath, BgsPath),
        Bind(settings::kFixedBgPath, FixedBgPath),
        Bind(settings::kRandomBgs, RandomBgs),
        Bind(settings::kFixedBg, FixedBg),
    };
    RequireEveryValueBound(m_bindings, kWizardGroup);
    restoreChoices();
    CentreOnScreen(*this, ScreenFit::Shrink);
    pictureArea->setGeometry(0, kPictureTop, width(), height() - kPictureTop);
}

SettingValues TBgWizard::choices() const {
    return ReadValues(m_bindings, kWizardGroup);
}

void TBgWizard::applyChoices(const SettingValues& choices) {
    // Both radio buttons may be off after a restore (the store holds each on its own).
    ShowValues(m_bindings, choices);
}

void TBgWizard::restoreChoices() {
    applyChoices(ReadGroup(m_store.load(), kWizardGroup));
}

void TBgWizard::saveChoices() {
    m_saved = true;
    m_store.save([this](RegFile& file) { SaveGroup(file, choices()); }, m_dialogs, this);
}

void TBgWizard::closeEvent(QCloseEvent* event) {
    if (!m_saved) {
        saveChoices();
    }
    QDialog::closeEvent(event);
}

void TBgWizard::done(int result) {
    if (!m_saved) {
        saveChoices();
    }
    QDialog::done(result);
}

bool TBgWizard::loadJpeg(JpegPicture& picture, QString& path) {
    path = m_dialogs.openFileName(this, kJpegFilter, FileKind::Picture);
    if (path.isEmpty() || !IsJpegName(path)) {
        return false;  // another extension is passed over without a word
    }
    QString error;
    if (!JpegPicture::Load(path, picture, error)) {
        m_dialogs.error(this, error);
        return false;
    }
    return true;
}

void TBgWizard::setPicture(JpegPicture picture) {
    m_picture = std::move(picture);
    Image1->setPixmap(QPixmap::fromImage(m_picture.image));
    Image1->resize(m_picture.image.size());
    Label3->setText(
        QString("Current Size: %1x%2").arg(m_picture.image.width()).arg(m_picture.image.height()));
}

void TBgWizard::LoadPicClick() {
    JpegPicture picture;
    QString path;
    if (!loadJpeg(picture, path)) {
        return;
    }
    setPicture(std::move(picture));
    for (QPushButton* button : {SavePic, OpenCrop, StretchPic}) {
        button->setEnabled(true);
    }
}

void TBgWizard::FlatButton1Click() {
    JpegPicture picture;
    QString path;
    if (!loadJpeg(picture, path)) {
        return;
    }
    setPicture(std::move(picture));
    if (m_picture.image.size() == QSize(kBackgroundWidth, kBackgroundHeight)) {
        FixedBgPath->setText(QFileInfo(path).absoluteFilePath());
    } else {
        m_dialogs.message(this, kWrongSize);
    }
}

void TBgWizard::FlatButton4Click() {
    const auto chosen = m_dialogs.pickFolder(this, "Pick pictures folder", QString());
    if (chosen && !chosen->isEmpty() && QDir(*chosen).exists()) {
        BgsPath->setText(FromPath(WithTrailingSlash(ToPath(*chosen))));
    }
}

void TBgWizard::Button1Click() {
    if (m_tryBackground && !m_picture.isNull()) {
        m_tryBackground(m_picture.image);
    }
}

void TBgWizard::StretchPicClick() {
    const QImage stretched = m_picture.image.scaled(
        kBackgroundWidth, kBackgroundHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    setPicture(JpegPicture::Encode(stretched));
}

void TBgWizard::SavePicClick() {
    if (m_picture.image.size() != QSize(kBackgroundWidth, kBackgroundHeight)) {
        m_dialogs.message(this, kWrongSize);
        return;
    }
    const QString path = m_dialogs.saveFileName(this, kJpegFilter, QString(), FileKind::Picture);
    if (path.isEmpty() || !IsJpegName(path)) {
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_picture.data) != m_picture.data.size() ||
        !file.commit()) {
        m_dialogs.error(this, file.errorString());
    }
}

void TBgWizard::OpenCropClick() {
    TCropWizard crop(m_picture.image, this);
    if (crop.exec() == QDialog::Accepted) {
        takeCrop(crop.result());
    }
}

void TBgWizard::takeCrop(const JpegPicture& cropped) {
    setPicture(cropped);
}

}  // namespace ostravex::app
