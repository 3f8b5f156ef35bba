#pragma once

class QColor;
class QWidget;

namespace ostravex::app {

// Gives a window a ground colour of its own whatever the desktop's colours. Its controls
// then take light colours with dark text too (a dark theme's light text would vanish on a
// light ground), and its disabled text stays dark enough to read.
void SetWindowColour(QWidget& window, const QColor& ground);

}  // namespace ostravex::app
