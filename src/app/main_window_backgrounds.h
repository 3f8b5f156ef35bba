#pragma once

#include <QString>

class QImage;

namespace ostravex::app {

class TRTrim;
class UserDialogs;

// The picture behind the main window's controls: the default one, a picture chosen at
// start-up by the wizard's choices, the wizard itself, and turning backgrounds off.
class MainWindowBackgrounds {
  public:
    MainWindowBackgrounds(TRTrim& window, UserDialogs& dialogs);

    // At the first showing: the plain window colour, or the chosen picture. False when the
    // start-up is to go no further (backgrounds off, or a picture that cannot be decoded).
    bool showChosenBackground();
    // Shows `file` as the background when it is a 577 × 432 JPEG of at least 15000 bytes.
    // False when the file cannot be decoded (the error has been shown).
    bool SetBg(const QString& file);
    // Shows a picture as the background at once, unchecked ("Try Background").
    void showBackground(const QImage& picture);
    void BgChangeButClick();
    // A change of "Disable Background" on the shown window: "Restart required" a moment
    // later; the change counts from the next start.
    void DisableBackgroundClick();
    void BgTimerTimer();

  private:
    TRTrim& m_window;
    UserDialogs& m_dialogs;
};

}  // namespace ostravex::app
