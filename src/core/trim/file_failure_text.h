#pragma once

#include <string>

#include "io/status.h"

namespace ostravex {

enum class FileAction { Open, Read, Create, Write };

// The log text of a file that could not be opened, read, created or written; the rom's name
// follows it, as with every decision line.
inline std::string FileFailureText(FileAction action, const Status& status) {
    static constexpr const char* kVerbs[] = {"open", "read", "create", "write"};
    return std::string("ERROR: Cannot ") + kVerbs[static_cast<int>(action)] + " file (" +
           status.reason() + "): ";
}

}  // namespace ostravex
