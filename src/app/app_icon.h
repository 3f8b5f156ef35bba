#pragma once

#include <QIcon>

namespace ostravex::app {

// The program's icon, a cartridge, drawn in code so that it needs no image plugin.
QIcon AppIcon();

}  // namespace ostravex::app
