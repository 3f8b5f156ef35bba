#include "window_dragger.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace ostravex::app {

WindowDragger::WindowDragger(QWidget& window) : QObject(&window), m_window(window) {}

void WindowDragger::dragBy(QWidget* control) {
    control->installEventFilter(this);
}

bool WindowDragger::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
        event->type() == QEvent::MouseButtonRelease) {
        return DragWindow(static_cast<QMouseEvent*>(event));
    }
    return QObject::eventFilter(watched, event);
}

bool WindowDragger::DragWindow(QMouseEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton) {
        m_dragOffset = event->globalPosition().toPoint() - m_window.frameGeometry().topLeft();
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
        m_window.move(event->globalPosition().toPoint() - m_dragOffset);
        return true;
    }
    // The window manager moves the window as if its title bar were held; without one,
    // the window follows the mouse itself.
    if (m_window.windowHandle() && m_window.windowHandle()->startSystemMove()) {
        return true;
    }
    m_manualDrag = true;
    m_window.move(event->globalPosition().toPoint() - m_dragOffset);
    return true;
}

}  // namespace ostravex::app
