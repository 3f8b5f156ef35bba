#pragma once

#include <cstdint>
#include <string>

#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"

namespace ostravex {

// The rom an entry works on, where its result goes, and how far the entry has come. Made
// anew for every entry.
struct RomJob {
    std::string name;          // the rom file's name, or the member's name as stored in its archive
    std::string outputFolder;  // the folder that receives the result, ending with "/"
    std::string filePath;      // the rom file (empty for a member)
    bool member = false;       // the entry names an archive member
    std::string archivePath;   // the archive's path (members only)
    bool gba = false;          // the name's extension is ".gba"
    bool finished = false;     // the entry is finished; nothing more is done with it
    std::int64_t resultSize = 0;  // the size decided: the cut size, or the restored size
};

// Fills a job from a ROM list entry. `outputFolder` is used with the folder option.
RomJob RomJobFromEntry(const RomListEntry& entry, FileMode mode, const std::string& outputFolder);

}  // namespace ostravex
