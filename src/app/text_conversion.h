#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace ostravex::app {

// File names go to the core as the bytes the file system knows them by.
inline std::string ToPath(const QString& text) {
    return QFile::encodeName(text).toStdString();
}
inline QString FromPath(const std::string& path) {
    return QFile::decodeName(path.c_str());
}
// The core's texts (log lines, reasons) are UTF-8.
inline QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.c_str(), static_cast<qsizetype>(text.size()));
}

}  // namespace ostravex::app
