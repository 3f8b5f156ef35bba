#pragma once

#include <QDialog>
#include <QImage>

#include "backgrounds/crop_geometry.h"
#include "jpeg_picture.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace ostravex::app {

class CropCanvas;

// "Cropping Wizard": the user marks a rectangle on the picture with two clicks; "Accept"
// makes the selected pixels the new working picture.
class TCropWizard : public QDialog {
    Q_OBJECT
  public:
    TCropWizard(const QImage& picture, QWidget* parent = nullptr);

    QScrollArea* ScrollBox1;
    CropCanvas* Image1;
    QPushButton* FlatButton1;  // "Accept"
    QPushButton* FlatButton2;  // "Cancel"
    QPushButton* FlatButton3;  // "Reset"
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;

    // Mouse handling in picture pixels.
    void Image1MouseDown(int x, int y);
    void Image1MouseMove(int x, int y);
    void FlatButton3Click();
    void FlatButton1Click();

    int mode() const { return m_mode; }
    // After "Accept": the selected pixels, and the same as a JPEG picture of quality 100.
    const QImage& croppedImage() const { return m_cropped; }
    const JpegPicture& result() const { return m_result; }

  private:
    void redraw(bool withSizeText, int x, int y);

    QImage m_pic;  // Pic: the untouched picture
    int m_mode = 1;
    CropRect m_t;
    QImage m_cropped;
    JpegPicture m_result;
};

// The picture the selection is drawn on, in the crop wizard's scroll box.
class CropCanvas : public QWidget {
    Q_OBJECT
  public:
    explicit CropCanvas(TCropWizard& wizard) : m_wizard(wizard) { setMouseTracking(true); }
    QImage displayed;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    TCropWizard& m_wizard;
};

}  // namespace ostravex::app
