#include <QApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app_title.h"
#include "application_setup.h"
#include "host/license_notice.h"
#include "termination_signals.h"
#include "text_conversion.h"
#include "trtrim.h"
#include "window_command_line.h"

namespace {

using ostravex::app::WindowCommandLine;

constexpr const char* kUsage =
    "Usage: ostravex [OPTION]... [PATH]...\n"
    "Opens the Ostravex window, which trims Nintendo DS (.nds) and Game Boy Advance (.gba)\n"
    "cartridge images, finds them in folders and in zip, rar and 7z archives, patches GBA\n"
    "saves to SRAM and shows NDS headers.\n"
    "\n"
    "Each PATH is listed at start-up: one folder is scanned for roms (and for the rom\n"
    "members of its archives), a .nds or .gba file becomes one entry, an archive has its\n"
    "rom members listed. Several PATHs are listed as files and folders dropped on the\n"
    "window are.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "      --version  show the version and exit\n"
    "Qt's own options, such as -platform, are accepted as well.\n"
    "\n"
    "The window keeps its options in ~/.config/ostravex/settings.reg ($XDG_CONFIG_HOME\n"
    "when set). It needs a display; ostravex-cli does the same work from a terminal.\n"
    "SIGTERM, SIGHUP and SIGINT close the window as its close box does.\n";

constexpr const char* kNoDisplay = "ostravex: no display; for a terminal use ostravex-cli\n";

constexpr int kExitUsage = 2;
constexpr int kExitNoDisplay = 1;

int WriteOut(const char* text) {
    std::fputs(text, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ostravex: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

// --help, --version and usage errors are answered before the window system is reached, so
// that they work without a display and never open the window.
std::optional<int> AnswerWithoutWindow(const WindowCommandLine& commandLine) {
    switch (commandLine.action) {
        case WindowCommandLine::Action::Help:
            return WriteOut(kUsage);
        case WindowCommandLine::Action::Version:
            return WriteOut((std::string("ostravex ") + ostravex::app::kAppVersion + "\n" +
                             ostravex::kLicenseNotice)
                                .c_str());
        case WindowCommandLine::Action::UsageError:
            std::fprintf(stderr, "ostravex: %s\nTry 'ostravex --help'.\n",
                         commandLine.error.c_str());
            return kExitUsage;
        case WindowCommandLine::Action::OpenWindow:
            break;
    }
    if (!ostravex::app::DisplayNamed(commandLine)) {
        std::fputs(kNoDisplay, stderr);
        return kExitNoDisplay;
    }
    return std::nullopt;
}

// While the window system is being reached: a display that is named but cannot be opened
// ends the program with the same words as no display at all, instead of Qt's abort. Qt's
// messages of that time are held until then and passed on when the window system is up.
QStringList g_heldMessages;

void HoldMessagesOfStartUp(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::fflush(stderr);
        std::_Exit(kExitNoDisplay);
    }
    g_heldMessages << qFormatLogMessage(type, context, message);
}

void PassOnHeldMessages() {
    for (const QString& message : g_heldMessages) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    g_heldMessages.clear();
}

}  // namespace

int main(int argc, char** argv) {
    const WindowCommandLine commandLine =
        ostravex::app::ParseWindowCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> status = AnswerWithoutWindow(commandLine)) {
        return *status;
    }
    const QtMessageHandler standardHandler = qInstallMessageHandler(HoldMessagesOfStartUp);
    QApplication application(argc, argv);
    qInstallMessageHandler(standardHandler);
    PassOnHeldMessages();

    ostravex::app::SetUpApplication();
    QStringList paths;
    for (const std::string& path : commandLine.paths) {
        // The window lists what it finds; a name that leads nowhere is said here, not passed
        // over in silence.
        if (!QFileInfo::exists(ostravex::app::FromPath(path))) {
            std::fprintf(stderr, "ostravex: %s: no such file or folder\n", path.c_str());
        }
        paths << ostravex::app::FromPath(path);
    }
    // Held from before the window is made: the scan of a PATH starts with it.
    ostravex::app::TRTrim* made = nullptr;
    const ostravex::app::TerminationSignals termination([&made] {
        if (made) {
            made->closeAtTermination();
        }
    });
    ostravex::app::TRTrim window(paths);
    made = &window;
    window.show();
    return QApplication::exec();
}
