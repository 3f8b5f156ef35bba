#include "window_dragger.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace ostravex::app {

WindowDragger::WindowDragger(QWidget& window, SystemMove systemMove)
    : QObject(&window), m_window(window), m_systemMove(std::move(systemMove)) {}

bool WindowDragger::StartSystemMove(QWindow& window) {
    return window.startSystemMove();
}

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
        m_drag = Drag::Pressed;
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        m_drag = Drag::None;
        return false;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        return false;
    }
    switch (m_drag) {
        case Drag::None:
            return false;  // the press was not on a handle
        case Drag::BySystem:
            // The window manager has the pointer. Moves still queued from before it took it
            // are used up: asking it again would start a second move, which follows the
            // pointer after the button is released.
            return true;
        case Drag::Pressed:
            // The window manager moves the window as if its title bar were held; without
            // one, the window follows the mouse itself.
            if (m_window.windowHandle() && m_systemMove(*m_window.windowHandle())) {
                m_drag = Drag::BySystem;
                return true;
            }
            m_drag = Drag::ByHand;
            break;
        case Drag::ByHand:
            break;
    }
    m_window.move(event->globalPosition().toPoint() - m_dragOffset);
    return true;
}

}  // namespace ostravex::app
