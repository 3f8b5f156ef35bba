#include "rom_info_window.h"

#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "io/paths.h"
#include "romformat/header_report.h"
#include "text_conversion.h"
#include "user_dialogs.h"
#include "window_placement.h"

namespace ostravex::app {

TRomInfo::TRomInfo(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TRomInfo");
    setWindowTitle("Rom Header Info");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(323, 684);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
    CentreOnScreen(*this, ScreenFit::Shrink);
}

void TRomInfo::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();  // as a dialog would
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TRomInfo::LoadRomInfo(QString& error) {
    std::vector<std::string> lines;
    const Status status = ReadHeaderReport(ToPath(fil), lines);
    if (!status) {
        error = FromUtf8(status.reason());
        return false;
    }
    showReport(lines);
    return true;
}

void TRomInfo::showReport(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        Memo1->appendPlainText(FromUtf8(line));
    }
    Memo1->moveCursor(QTextCursor::Start);
}

QString NotAnNdsImage(const std::string& name) {
    return "Not an NDS image: " + VisibleText(FromPath(NamePart(name)));
}

void TRomInfo::ShowForEntry(const RomListEntry& entry, UserDialogs& dialogs, QWidget* parent,
                            const std::vector<std::string>& datLines) {
    const std::string& path = entry.path;
    if (entry.isMember() || !FileExists(path)) {
        return;
    }
    const bool nds = LowerExtension(path) == ".nds";
    if (!nds && datLines.empty()) {
        dialogs.message(parent, NotAnNdsImage(path));
        return;
    }
    auto* info = new TRomInfo(parent);
    info->fil = FromPath(path);
    info->setWindowTitle("Rom Header Info: " + VisibleText(FromPath(NamePart(path))));
    QString error;
    if (nds && !info->LoadRomInfo(error)) {
        delete info;
        dialogs.error(parent, error);
        return;
    }
    info->showReport(datLines);
    info->show();
}

void TRomInfo::ShowForMember(const RomListEntry& member, const std::vector<std::string>& lines,
                             QWidget* parent) {
    auto* info = new TRomInfo(parent);
    info->fil = FromPath(member.path);
    info->setWindowTitle("Rom Header Info: " + VisibleText(FromPath(NamePart(member.member))));
    info->showReport(lines);
    info->show();
}

}  // namespace ostravex::app
