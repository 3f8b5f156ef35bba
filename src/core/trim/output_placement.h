#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/run_options.h"
#include "trim/rom_job.h"

namespace ostravex {

// The output name of a file or member: everything after its last "/", so output never goes
// into subfolders (a zip member roms/eu/game.nds is written as game.nds).
std::string StripMemberPath(std::string_view name);

// True when the result is the source file itself, cut to length: a rom read from a file
// with "Overwrite original file". An archive member's result is always a new file.
bool IsWrittenInPlace(const RomJob& job, FileMode mode);

// The path the scene-number rename looks at after the entry.
std::string RenameTarget(const RomJob& job, FileMode mode, const std::string& outputFolder);

// A name with its scene release number removed ("0123 - abc.nds" gives "abc.nds"), or
// nothing when the name does not begin with four digits, " - ".
std::optional<std::string> NameWithoutSceneNumber(std::string_view name);

}  // namespace ostravex
