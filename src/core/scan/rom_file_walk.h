#pragma once

#include <string>
#include <vector>

#include "host.h"

namespace ostravex {

enum class WalkEnd { Finished, Halted };

// Finds the ".nds" files of a tree, then its ".gba" files (extensions in any letter case),
// a folder's own matches before those of its subfolders, names in case-insensitive order.
// A folder reached twice (symbolic-link cycles) is walked once. Lets the host's events run
// between entries and stops when a halt is requested.
WalkEnd FindRomFiles(const std::string& folder, bool recursive, Host& host,
                     std::vector<std::string>& found);

}  // namespace ostravex
