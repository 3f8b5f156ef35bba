#pragma once

#include <QDialog>

class QTextBrowser;

namespace ostravex::app {

// "About Ostravex": a few lines with the maker's web addresses as links.
class TAboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutWindow(QWidget* parent = nullptr);
    QTextBrowser* RichEdit1;
};

}  // namespace ostravex::app
