#include "log_window.h"

#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStyle>
#include <QToolButton>

#include "user_dialogs.h"
#include "window_placement.h"

namespace ostravex::app {

TLogWindow::TLogWindow(const QStringList& lines, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs) {
    setWindowTitle("LogWindow");
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(693, 459);
    CentreOnScreen(*this, ScreenFit::Shrink);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setPlainText(lines.join('\n'));

    ShowLogButton = new QToolButton(this);
    ShowLogButton->setObjectName("ShowLogButton");
    ShowLogButton->setToolTip("Save Log");
    ShowLogButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ShowLogButton->setGeometry(645, 8, 25, 26);
    Memo1->setGeometry(rect());
    ShowLogButton->raise();
    connect(ShowLogButton, &QToolButton::clicked, this, &TLogWindow::ShowLogButtonClick);
}

void TLogWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The text fills the window; the save button keeps its place at the top right corner.
    Memo1->setGeometry(rect());
    ShowLogButton->move(width() - 48, 8);
}

bool TLogWindow::saveTo(const QString& path, QString& error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const QStringList lines = Memo1->toPlainText().split('\n');
    file.write(lines.join("\r\n").toUtf8());
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void TLogWindow::ShowLogButtonClick() {
    const QString path = m_dialogs.saveFileName(this, "Text Files (*.txt)", "txt", FileKind::Text);
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!saveTo(path, error)) {
        m_dialogs.error(this, error);
    }
}

}  // namespace ostravex::app
