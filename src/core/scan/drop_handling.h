#pragma once

#include <string>
#include <vector>

#include "host.h"

namespace ostravex {

// Adds dropped paths to the ROM list, as a drop on the window does: a folder is searched
// for roms, a ".nds" or ".gba" file becomes one entry. The ROM list is extended, never
// emptied. Returns false when a halt stopped a folder search.
bool HandleDroppedPaths(const std::vector<std::string>& paths, Host& host);

}  // namespace ostravex
