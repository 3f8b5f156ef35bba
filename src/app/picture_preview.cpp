#include "picture_preview.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QVBoxLayout>

namespace ostravex::app {
namespace {
constexpr QSize kPreviewSize(160, 120);
}

PicturePreview::PicturePreview(QWidget* parent) : QWidget(parent) {
    setObjectName("picturePreview");
    picture = new QLabel(this);
    picture->setObjectName("previewPicture");
    picture->setFixedSize(kPreviewSize);
    picture->setAlignment(Qt::AlignCenter);
    picture->setFrameShape(QFrame::StyledPanel);
    sizeText = new QLabel(this);
    sizeText->setObjectName("previewSize");
    sizeText->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    layout->addWidget(sizeText);
    layout->addStretch(1);
}

void PicturePreview::showFile(const QString& path) {
    picture->clear();
    sizeText->clear();
    if (!QFileInfo(path).isFile()) {
        return;
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid()) {
        return;
    }
    // Decoding at the preview's size keeps large photos quick to show.
    reader.setScaledSize(size.scaled(kPreviewSize, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull()) {
        return;
    }
    picture->setPixmap(QPixmap::fromImage(image));
    sizeText->setText(QString("%1x%2").arg(size.width()).arg(size.height()));
}

PicturePreview* AttachPicturePreview(QFileDialog& dialog) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) {
        return nullptr;  // the system's own dialog has no room for it
    }
    auto* preview = new PicturePreview(&dialog);
    grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    // The file list keeps its width beside the preview.
    dialog.resize(dialog.sizeHint().width() + preview->sizeHint().width(), dialog.height());
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, &PicturePreview::showFile);
    return preview;
}

}  // namespace ostravex::app
