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

// A text as one harmless line: file names may hold control characters, and a newline or
// a line or paragraph separator in a name would otherwise split a log line or a list
// entry. C0 controls and DEL become their control pictures (U+2400 + c, U+2421), the
// other controls and separators U+FFFD.
inline QString VisibleText(QString text) {
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20) {
            c = QChar(static_cast<char16_t>(0x2400 + code));
        } else if (code == 0x7F) {
            c = QChar(static_cast<char16_t>(0x2421));
        } else if ((code >= 0x80 && code < 0xA0) || code == 0x2028 || code == 0x2029) {
            c = QChar(QChar::ReplacementCharacter);
        }
    }
    return text;
}

}  // namespace ostravex::app
