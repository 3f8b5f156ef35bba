#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ostravex::app {

// A picture held as JPEG data with its decoded image: what the wizards work on and save.
struct JpegPicture {
    QByteArray data;
    QImage image;

    bool isNull() const { return image.isNull(); }
    // Reads a JPEG file; `error` tells why it could not be decoded.
    static bool Load(const QString& path, JpegPicture& picture, QString& error);
    // Encodes an image at quality 100.
    static JpegPicture Encode(const QImage& image);
};

}  // namespace ostravex::app
