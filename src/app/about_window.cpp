#include "about_window.h"

#include <QTextBrowser>
#include <QVBoxLayout>

#include "app_title.h"
#include "build_settings.h"
#include "window_placement.h"

namespace ostravex::app {

namespace {
QString Link(const QString& address) {
    return QString("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped());
}
}  // namespace

TAboutWindow::TAboutWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Ostravex");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(452, 252);
    RichEdit1 = new QTextBrowser(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setOpenExternalLinks(true);
    QStringList lines{
        QString("Ostravex ") + kAppVersion,
        "",
        "Here goes some boring text about the app etc.. I'll do it someday!",
    };
    // An address the build does not set is left out with the line that leads to it, so the
    // box never offers a link that goes nowhere.
    if (!QString(kForumUrl).isEmpty()) {
        lines << ""
              << "Feel free to leave a commnent about my app here:"
              << "" << Link(kForumUrl);
    }
    if (!QString(kWebsiteUrl).isEmpty()) {
        lines << ""
              << "My website: " + Link(kWebsiteUrl);
    }
    QStringList html;
    for (const QString& line : lines) {
        html << (line.isEmpty() ? QString("&nbsp;") : line);
    }
    RichEdit1->setHtml("<p style=\"margin:0\">" + html.join("</p><p style=\"margin:0\">") + "</p>");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichEdit1);
    CentreOnScreen(*this, ScreenFit::Shrink);
}

}  // namespace ostravex::app
