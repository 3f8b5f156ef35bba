#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "romlist/rom_list_entry.h"

class QPlainTextEdit;

namespace ostravex::app {

class UserDialogs;

// The notice for a header asked of a rom that is no NDS image, such as a ".gba".
QString NotAnNdsImage(const std::string& name);

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
    // member's entry is passed over: see ShowForMember; a ".gba" file gets a notice that
    // it is not an NDS image). `datLines` (the DAT match, while DATs are set) follow the
    // header's report; for a rom that is no NDS image they are shown alone.
    static void ShowForEntry(const RomListEntry& entry, UserDialogs& dialogs, QWidget* parent,
                             const std::vector<std::string>& datLines = {});
    // Opens the window with the report of an archive member's header.
    static void ShowForMember(const RomListEntry& member, const std::vector<std::string>& lines,
                              QWidget* parent);

  protected:
    void showReport(const std::vector<std::string>& lines);
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ostravex::app
