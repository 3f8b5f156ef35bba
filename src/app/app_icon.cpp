#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ostravex::app {

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        // The cartridge body with its cut corner, the label, and the contacts.
        QPainterPath body;
        body.moveTo(8, 4);
        body.lineTo(48, 4);
        body.lineTo(56, 12);
        body.lineTo(56, 60);
        body.lineTo(8, 60);
        body.closeSubpath();
        painter.setPen(QPen(QColor(30, 40, 70), 2));
        painter.setBrush(QColor(70, 90, 150));
        painter.drawPath(body);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(240, 200, 60));
        painter.drawRoundedRect(QRectF(15, 12, 34, 26), 3, 3);
        painter.setBrush(QColor(200, 170, 60));
        for (int x = 14; x < 52; x += 6) {
            painter.drawRect(QRectF(x, 48, 3, 10));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace ostravex::app
