#pragma once

#include <QObject>
#include <QPoint>

class QMouseEvent;
class QWidget;

namespace ostravex::app {

// Moves a window that has no title bar to hold: the left button held down over the
// window's body, or over a control handed to `dragBy`, moves the window.
class WindowDragger : public QObject {
    Q_OBJECT
  public:
    explicit WindowDragger(QWidget& window);

    void dragBy(QWidget* control);
    // True when the event moved the window (and is used up).
    bool DragWindow(QMouseEvent* event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& m_window;
    QPoint m_dragOffset;
    bool m_manualDrag = false;
};

}  // namespace ostravex::app
