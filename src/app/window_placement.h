#pragma once

class QSize;
class QWidget;

namespace ostravex::app {

// What to do with a window larger than the screen's free area (on a small screen, or at a
// large scale factor).
enum class ScreenFit {
    Keep,    // its content does not scroll: it keeps its size
    Shrink,  // its content scrolls: it is cut down to the free area
};

// Centres a window on the screen it is on (its parent's, before it is shown). A window
// that is kept larger than the screen shows its top left corner.
void CentreOnScreen(QWidget& window, ScreenFit fit);

// The free area of the screen a window is on (without panels and docks).
QSize FreeScreenSize(const QWidget& window);

}  // namespace ostravex::app
