#include "window_colours.h"

#include <QPalette>
#include <QStyle>
#include <QWidget>

namespace ostravex::app {

void SetWindowColour(QWidget& window, const QColor& ground) {
    window.setAutoFillBackground(true);
    QPalette palette = window.style()->standardPalette();
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(100, 100, 100));
    window.setPalette(palette);
}

}  // namespace ostravex::app
