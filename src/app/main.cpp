#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "application_setup.h"
#include "host/license_notice.h"
#include "trtrim.h"

namespace {

constexpr const char* kUsage =
    "Usage: ostravex [PATH]\n"
    "Opens the Ostravex window, which trims Nintendo DS (.nds) and Game Boy Advance (.gba)\n"
    "cartridge images, finds them in folders and in zip, rar and 7z archives, patches GBA\n"
    "saves to SRAM and shows NDS headers.\n"
    "\n"
    "PATH, when given, is listed at start-up: a folder is scanned for roms (and for the rom\n"
    "members of its archives), a .nds or .gba file becomes one entry, an archive has its\n"
    "rom members listed.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "      --version  show the version and exit\n"
    "Qt's own options, such as -platform, are accepted as well.\n"
    "\n"
    "The window keeps its options in ~/.config/ostravex/settings.reg ($XDG_CONFIG_HOME\n"
    "when set). ostravex-cli does the same work from the command line, without a window.\n";

// --help and --version are answered before the window system is reached, so that they
// work without a display and never open the window.
std::optional<int> AnswerInformationOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("ostravex " OSTRAVEX_VERSION "\n", stdout);
            std::fputs(ostravex::kLicenseNotice, stdout);
        } else {
            continue;
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "ostravex: write error: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerInformationOption(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    ostravex::app::SetUpApplication();
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    ostravex::app::TRTrim window(arguments);
    window.show();
    return QApplication::exec();
}
