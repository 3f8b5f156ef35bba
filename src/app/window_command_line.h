#pragma once

#include <string>
#include <vector>

namespace ostravex::app {

// What the window program's command line asks for. Qt's own options (-platform, -style,
// ...) are left for QApplication to take; any other option is a usage error.
struct WindowCommandLine {
    enum class Action { OpenWindow, Help, Version, UsageError };
    Action action = Action::OpenWindow;
    std::vector<std::string> paths;  // listed at start-up, as a drop would list them
    bool platformGiven = false;      // -platform names the window system to use
    std::string error;               // for a usage error
};

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments);

// True when there is a window system to open the window on: one named by -platform or
// QT_QPA_PLATFORM, or an X11 or Wayland display named in the environment.
bool DisplayNamed(const WindowCommandLine& commandLine);

}  // namespace ostravex::app
