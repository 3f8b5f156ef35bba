#include "jpeg_picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

namespace ostravex::app {

bool JpegPicture::Load(const QString& path, JpegPicture& picture, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray data = file.readAll();
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "jpeg");
    QImage image = reader.read();
    if (image.isNull()) {
        error = "Cannot read the JPEG picture " + path + ": " + reader.errorString();
        return false;
    }
    picture.data = data;
    picture.image = std::move(image);
    return true;
}

JpegPicture JpegPicture::Encode(const QImage& image) {
    JpegPicture picture;
    QBuffer buffer(&picture.data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    writer.write(image.convertToFormat(QImage::Format_RGB32));
    buffer.close();
    picture.image.loadFromData(picture.data, "jpeg");
    return picture;
}

}  // namespace ostravex::app
