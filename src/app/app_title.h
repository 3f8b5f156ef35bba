#pragma once

namespace ostravex::app {

// The main window's title, also the title of the program's notices.
inline constexpr char kAppTitle[] = "Ostravex v2.5 beta - NDS/GBA rom trimmer";

}  // namespace ostravex::app
