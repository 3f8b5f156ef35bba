#include <QApplication>

#include "application_setup.h"
#include "trtrim.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ostravex::app::SetUpApplication();
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    ostravex::app::TRTrim window(arguments);
    window.show();
    return QApplication::exec();
}
