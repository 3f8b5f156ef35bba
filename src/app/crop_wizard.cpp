#include "crop_wizard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "window_placement.h"

namespace ostravex::app {
namespace {
const QColor kPurple(128, 0, 128);
constexpr int kPanelHeight = 65;  // the bottom panel's height when its text fits in it
}  // namespace

TCropWizard::TCropWizard(const QImage& picture, QWidget* parent)
    : QDialog(parent), m_pic(picture.convertToFormat(QImage::Format_RGB32)) {
    setWindowTitle("Cropping Wizard");
    setObjectName("TCropWizard");

    Image1 = new CropCanvas(*this);
    Image1->setObjectName("Image1");
    Image1->displayed = m_pic;
    Image1->setFixedSize(m_pic.size());
    Image1->setCursor(Qt::CrossCursor);
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidget(Image1);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* panel = new QWidget(this);
    panel->setObjectName("FlatPanel1");
    FlatButton1 = new QPushButton("Accept", panel);
    FlatButton1->setObjectName("FlatButton1");
    FlatButton1->setEnabled(false);
    FlatButton2 = new QPushButton("Cancel", panel);
    FlatButton2->setObjectName("FlatButton2");
    FlatButton3 = new QPushButton("Reset", panel);
    FlatButton3->setObjectName("FlatButton3");
    Label1 = new QLabel("Left click on Top-Left corner to crop", panel);
    Label1->setObjectName("Label1");
    Label2 = new QLabel("0x0", panel);
    Label2->setObjectName("Label2");
    QFont small = Label2->font();
    small.setPointSize(7);
    Label2->setFont(small);
    Label3 = new QLabel(
        "Try to get 577x432 pixels or the best match (you can stretch it after the crop)", panel);
    Label3->setObjectName("Label3");
    Label3->setWordWrap(true);

    // The buttons with the live size on one row, the two texts below, the advice wrapping
    // onto as many lines as a narrow window needs.
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(2);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(FlatButton1);
    buttons->addWidget(FlatButton3);
    buttons->addWidget(FlatButton2);
    buttons->addStretch(1);
    buttons->addWidget(Label2);
    rows->addLayout(buttons);
    rows->addWidget(Label1);
    rows->addWidget(Label3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    layout->addWidget(panel);

    // The picture keeps the room the window's size rule gives it; the panel below takes
    // what its text needs at that width, which is more than its usual height when the
    // window is narrow. A screen too small for the window cuts it down (the picture
    // scrolls).
    const WindowSize size = CropWindowSize(m_pic.width(), m_pic.height());
    const QSize free = FreeScreenSize(*this);
    const int width = std::min(size.width, free.width());
    const int panelHeight = std::max(kPanelHeight, rows->totalHeightForWidth(width));
    panel->setFixedHeight(panelHeight);
    setFixedSize(width, std::min(size.height + panelHeight - kPanelHeight, free.height()));
    CentreOnScreen(*this, ScreenFit::Keep);

    connect(FlatButton1, &QPushButton::clicked, this, &TCropWizard::FlatButton1Click);
    connect(FlatButton2, &QPushButton::clicked, this, &QDialog::reject);
    connect(FlatButton3, &QPushButton::clicked, this, &TCropWizard::FlatButton3Click);
}

void TCropWizard::redraw(bool withSizeText, int x, int y) {
    QImage shown = m_pic;
    QPainter painter(&shown);
    painter.setPen(QPen(kPurple, 1));
    painter.setBrush(QBrush(kPurple, Qt::DiagCrossPattern));
    const CropRect rect = NormalizedCrop(m_t, m_pic.width(), m_pic.height());
    painter.drawRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top));
    if (withSizeText) {
        painter.drawText(QPoint(x - 20, y + 5 + painter.fontMetrics().ascent()), Label2->text());
    }
    painter.end();
    Image1->displayed = shown;
    Image1->update();
}

void TCropWizard::Image1MouseDown(int x, int y) {
    if (m_mode == 1) {
        m_t.left = x;
        m_t.top = y;
        m_mode = 2;
        Label1->setText("Left Click on Bottom-Right corner to crop");
    } else if (m_mode == 2) {
        m_t.right = x;
        m_t.bottom = y;
        m_mode = 0;
        const CropRect rect = NormalizedCrop(m_t, m_pic.width(), m_pic.height());
        // A rectangle of no width or height cannot be accepted.
        FlatButton1->setEnabled(!IsEmptyCrop(rect));
        redraw(false, x, y);
        Label1->setText(
            QString("Ready - %1x%2").arg(rect.right - rect.left).arg(rect.bottom - rect.top));
    }
}

void TCropWizard::Image1MouseMove(int x, int y) {
    if (m_mode != 2) {
        return;
    }
    Label2->setText(QString("%1x%2").arg(x - m_t.left).arg(y - m_t.top));
    m_t.right = x;
    m_t.bottom = y;
    redraw(true, x, y);
}

void TCropWizard::FlatButton3Click() {
    Label1->setText("Left Click on Top-Left corner to crop");
    m_mode = 1;
    Image1->displayed = m_pic;
    Image1->update();
    FlatButton1->setEnabled(false);
}

void TCropWizard::FlatButton1Click() {
    const CropRect rect = NormalizedCrop(m_t, m_pic.width(), m_pic.height());
    if (m_mode != 0 || IsEmptyCrop(rect)) {
        return;
    }
    Image1->displayed = m_pic;  // the drawn rectangle is not part of the copy
    m_cropped = m_pic.copy(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    m_result = JpegPicture::Encode(m_cropped);
    accept();
}

void CropCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, displayed);
}

void CropCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    m_wizard.Image1MouseDown(at.x(), at.y());
}

void CropCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    m_wizard.Image1MouseMove(at.x(), at.y());
}

}  // namespace ostravex::app
