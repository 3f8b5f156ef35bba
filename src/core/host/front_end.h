#pragma once

#include <string>

#include "host/host.h"
#include "host/run_control.h"
#include "settings/run_options.h"

namespace ostravex {

// What a scan or a run gets from the front end that starts it: where it reports, where it
// reads the user's options at the moment a step needs them, and its halt request.
struct FrontEnd {
    Host& host;
    const RunOptionsSource& options;
    RunControl& control;
    // The user's decimal separator for the two-decimal figures (savings, run time).
    std::string decimalSeparator = ".";
};

}  // namespace ostravex
