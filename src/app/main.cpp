#include <QApplication>

#include "app_icon.h"
#include "trtrim.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Ostravex");
    QApplication::setApplicationDisplayName("Ostravex v2.5 beta - NDS/GBA rom trimmer");
    QApplication::setWindowIcon(ostravex::app::AppIcon());
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    ostravex::app::TRTrim window(arguments);
    window.show();
    return QApplication::exec();
}
