#pragma once

#include <QDialog>

class QPlainTextEdit;
class QToolButton;

namespace ostravex::app {

class UserDialogs;

// The whole log in a larger, scrollable window, with a button that saves it as text.
class TLogWindow : public QDialog {
    Q_OBJECT
  public:
    TLogWindow(const QStringList& lines, UserDialogs& dialogs, QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QToolButton* ShowLogButton;  // "Save Log"

    // Writes the lines with CR LF between them, UTF-8 without a byte-order mark.
    bool saveTo(const QString& path, QString& error) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowLogButtonClick();

    UserDialogs& m_dialogs;
};

}  // namespace ostravex::app
