#include "caption_backing.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>

namespace ostravex::app {
namespace {

constexpr int kMargin = 2;
constexpr qreal kCornerRadius = 3;
// Enough of the window colour that black text reads over a black picture, little enough
// that the picture still shows through.
constexpr int kOpacity = 200;

// A check box or radio button is backed only as far as its caption reaches.
QRect BackedRect(const QWidget& control) {
    QRect rect = control.geometry();
    if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control)) {
        rect.setWidth(std::min(rect.width(), control.sizeHint().width()));
    }
    return rect.adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

}  // namespace

CaptionBacking::CaptionBacking(QWidget& picture, QList<const QWidget*> opaque)
    : QWidget(picture.parentWidget()), m_picture(picture), m_opaque(std::move(opaque)) {
    setObjectName("captionBacking");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(picture.geometry());
    lower();
    picture.lower();
}

QPainterPath CaptionBacking::coveredArea() const {
    QPainterPath area;
    area.setFillRule(Qt::WindingFill);  // overlapping backings are not darkened twice
    for (const QObject* child : parentWidget()->children()) {
        const auto* control = qobject_cast<const QWidget*>(child);
        if (!control || control == this || control == &m_picture || !control->isVisible() ||
            m_opaque.contains(control)) {
            continue;
        }
        area.addRoundedRect(BackedRect(*control), kCornerRadius, kCornerRadius);
    }
    return area;
}

void CaptionBacking::paintEvent(QPaintEvent*) {
    if (!m_picture.isVisible()) {
        return;  // the plain window colour needs no backing
    }
    QColor colour = parentWidget()->palette().color(QPalette::Window);
    colour.setAlpha(kOpacity);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-pos());
    painter.fillPath(coveredArea(), colour);
}

}  // namespace ostravex::app
