#include "application_setup.h"

#include <QApplication>

#include "app_icon.h"

namespace ostravex::app {

void SetUpApplication() {
    QApplication::setApplicationName("Ostravex");
    QApplication::setWindowIcon(AppIcon());
}

}  // namespace ostravex::app
