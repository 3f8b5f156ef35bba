#pragma once

#include <QList>
#include <QWidget>

namespace ostravex::app {

// A translucent backing in the window's own colour behind the controls that stand over a
// background picture, so that their text reads on any picture, dark or light. It lies
// just above the picture, lets the mouse through to it, and shows only while the picture
// does.
class CaptionBacking : public QWidget {
    Q_OBJECT
  public:
    // `picture` is the background control; `opaque` are controls that paint their own
    // ground (lists, gauges) and need no backing.
    CaptionBacking(QWidget& picture, QList<const QWidget*> opaque);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The part of the window the backing covers, in the window's coordinates.
    QPainterPath coveredArea() const;

    QWidget& m_picture;
    QList<const QWidget*> m_opaque;
};

}  // namespace ostravex::app
