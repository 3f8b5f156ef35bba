#include "window_command_line.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace ostravex::app {
namespace {

// QApplication's options that take a value (as the next argument or after "=").
constexpr std::string_view kQtOptionsWithValue[] = {"platform",      "platformpluginpath",
                                                    "platformtheme", "plugin",
                                                    "qmljsdebugger", "qwindowgeometry",
                                                    "geometry",      "qwindowicon",
                                                    "icon",          "qwindowtitle",
                                                    "title",         "session",
                                                    "display",       "name",
                                                    "style",         "stylesheet",
                                                    "visual"};
// Its options that take none.
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb",
                                         "dograb",  "sync",        "testability"};

bool Listed(std::string_view name, const auto& table) {
    return std::find(std::begin(table), std::end(table), name) != std::end(table);
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments) {
    WindowCommandLine result;
    const auto usageError = [&](std::string error) {
        result.action = WindowCommandLine::Action::UsageError;
        result.error = std::move(error);
        return result;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            result.paths.push_back(argument);  // "-" alone is a name too
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            result.action = WindowCommandLine::Action::Help;
            return result;
        }
        if (argument == "--version") {
            result.action = WindowCommandLine::Action::Version;
            return result;
        }
        // Qt takes its options with one dash or two, and a value after "=" or apart.
        std::string_view name(argument);
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueAttached = equals != std::string_view::npos;
        name = name.substr(0, equals);
        if (Listed(name, kQtFlags) && !valueAttached) {
            continue;
        }
        if (!Listed(name, kQtOptionsWithValue)) {
            return usageError("unknown option: " + argument);
        }
        if (!valueAttached) {
            if (i + 1 >= arguments.size()) {
                return usageError("option " + argument + " needs a value");
            }
            ++i;
        }
        if (name == "platform") {
            result.platformGiven = true;
        }
    }
    return result;
}

bool DisplayNamed(const WindowCommandLine& commandLine) {
    return commandLine.platformGiven || Named("QT_QPA_PLATFORM") || Named("DISPLAY") ||
           Named("WAYLAND_DISPLAY");
}

}  // namespace ostravex::app
