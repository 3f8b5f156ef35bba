#pragma once

#include <ostream>

#include "settings/run_options.h"

namespace ostravex {

// Names the file option in failure messages and traces of tests that loop over the options.
inline void PrintTo(FileMode mode, std::ostream* os) {
    switch (mode) {
        case FileMode::Overwrite:
            *os << "Overwrite";
            break;
        case FileMode::Backup:
            *os << "Backup";
            break;
        case FileMode::Folder:
            *os << "Folder";
            break;
    }
}

}  // namespace ostravex
