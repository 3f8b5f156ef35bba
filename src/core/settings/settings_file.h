#pragma once

#include <cstdint>
#include <string>

#include "io/status.h"
#include "settings/reg_file.h"

namespace ostravex {

// The largest settings file read. The program's own groups take a few kilobytes; a larger
// file is not one it wrote, and is left alone rather than held in memory.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 1 << 20;

// The per-user store: $XDG_CONFIG_HOME/ostravex/settings.reg (~/.config/... by default).
std::string SettingsFilePath();

// Reads the store. A missing file (or folder on its path) is an empty store. Only a regular file
// (or a link to one) of at most kMaxSettingsFileBytes is read: anything else (a fifo, a device, a
// folder, a larger file) or a failed read is a failure with an empty `file`, so that the caller
// knows not to write over what it could not read.
Status LoadSettingsFile(const std::string& path, RegFile& file);

// Written under a new temporary name beside the file the store is (the end of its symbolic
// links, which stay links) and renamed over it, so that a failed save never leaves a
// half-written store. The file replaced keeps its permission bits; one that is not a
// regular file (a fifo, a device, a folder) is not replaced.
Status SaveSettingsFile(const std::string& path, const RegFile& file);

}  // namespace ostravex
