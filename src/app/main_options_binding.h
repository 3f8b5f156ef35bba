#pragma once

#include "settings/main_options.h"

namespace ostravex::app {

class TRTrim;

// Shows restored options in the window's controls. Each change runs the reaction a
// user's change would run (a list's selection mode, the file option's folder question).
void ShowMainOptions(TRTrim& window, const MainOptions& options);

// The options as the window's controls show them, to be saved.
MainOptions ReadMainOptions(const TRTrim& window);

}  // namespace ostravex::app
