#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QMouseEvent;
class QWidget;
class QWindow;

namespace ostravex::app {

// Moves a window that has no title bar to hold: the left button held down over the
// window's body, or over a control handed to `dragBy`, moves the window.
class WindowDragger : public QObject {
    Q_OBJECT
  public:
    // Asks the window manager to move the window as if its title bar were held; false when
    // it cannot (the window then follows the mouse itself).
    using SystemMove = std::function<bool(QWindow&)>;

    explicit WindowDragger(QWidget& window, SystemMove systemMove = StartSystemMove);

    void dragBy(QWidget* control);
    // True when the event moved the window (and is used up).
    bool DragWindow(QMouseEvent* event);

    static bool StartSystemMove(QWindow& window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Drag { None, Pressed, BySystem, ByHand };

    QWidget& m_window;
    SystemMove m_systemMove;
    QPoint m_dragOffset;
    Drag m_drag = Drag::None;
};

}  // namespace ostravex::app
