#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ostravex::app {
namespace {

// Room for the window manager's frame where the window has none yet to measure.
constexpr QSize kFrameAllowance(8, 40);

QScreen* ScreenOf(const QWidget& window) {
    const QWidget* anchor = window.parentWidget() ? window.parentWidget()->window() : &window;
    return anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
}

}  // namespace

QSize FreeScreenSize(const QWidget& window) {
    const QScreen* screen = ScreenOf(window);
    return screen ? screen->availableGeometry().size() : window.size();
}

void CentreOnScreen(QWidget& window, ScreenFit fit) {
    const QScreen* screen = ScreenOf(window);
    if (!screen) {
        return;
    }
    const QRect free = screen->availableGeometry();
    if (fit == ScreenFit::Shrink) {
        QSize frame = window.frameGeometry().size() - window.size();
        if (frame.isEmpty()) {
            frame = kFrameAllowance;
        }
        const QSize size = window.size().boundedTo(free.size() - frame);
        if (window.minimumSize() == window.maximumSize()) {
            window.setFixedSize(size);
        } else {
            window.resize(size);
        }
    }
    const QSize size = window.size();
    window.move(std::max(free.left(), free.center().x() - size.width() / 2),
                std::max(free.top(), free.center().y() - size.height() / 2));
}

}  // namespace ostravex::app
