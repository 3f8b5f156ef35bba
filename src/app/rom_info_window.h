#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace ostravex::app {

// "Rom Header Info": the decoded header and banner of one NDS image, read-only.
class TRomInfo : public QWidget {
    Q_OBJECT
  public:
    explicit TRomInfo(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QString fil;  // the image shown

    // Reads `fil` and appends the report. Returns false with the reason when the file
    // cannot be read.
    bool LoadRomInfo(QString& error);
};

}  // namespace ostravex::app
