#pragma once

#include <QWidget>

#include "romlist/rom_list_entry.h"

class QPlainTextEdit;

namespace ostravex::app {

class UserDialogs;

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

    // Opens the window for a ROM list entry: only for an existing ".nds" file (an archive
    // member's entry names no file and is passed over; a ".gba" file gets a notice).
    static void ShowForEntry(const RomListEntry& entry, UserDialogs& dialogs, QWidget* parent);
};

}  // namespace ostravex::app
