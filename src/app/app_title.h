#pragma once

namespace ostravex::app {

// The program's version, as the title, the About box and --version show it.
inline constexpr char kAppVersion[] = OSTRAVEX_VERSION;
// The main window's title, also the title of the program's notices.
inline constexpr char kAppTitle[] = "Ostravex v" OSTRAVEX_VERSION " beta - NDS/GBA rom trimmer";

}  // namespace ostravex::app
