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
    const QStringList lines{
        QString("Ostravex ") + kAppVersion,
        "",
        "Here goes some boring text about the app etc.. I'll do it someday!",
        "",
        "Feel free to leave a commnent about my app here:",
        "",
        Link(kForumUrl),
        "",
        "My website: " + Link(kWebsiteUrl),
    };
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
