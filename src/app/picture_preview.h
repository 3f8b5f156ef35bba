#pragma once

#include <QWidget>

class QFileDialog;
class QLabel;

namespace ostravex::app {

// A small picture of the file selected in a file dialog, with its size in pixels: a user
// choosing a background sees it, and sees whether it is 577x432 already.
class PicturePreview : public QWidget {
    Q_OBJECT
  public:
    explicit PicturePreview(QWidget* parent = nullptr);

    // Shows `path` when it is a picture; anything else empties the preview.
    void showFile(const QString& path);

    QLabel* picture;
    QLabel* sizeText;  // "800x600"
};

// Puts a preview beside the file list of a dialog that is not the system's own, following
// the current file.
PicturePreview* AttachPicturePreview(QFileDialog& dialog);

}  // namespace ostravex::app
