#pragma once

#include <cstdint>
#include <string>

#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"

namespace ostravex {

// The record of the rom job being processed; cleared and refilled for every entry.
struct LoadInfo {
    std::string filename;   // name of the rom file, or the member name as stored in its archive
    std::string OutFolder;  // folder that receives the output, ending with "/"
    std::string RawName;    // where the bytes are read from: the rom file, or the extracted member
    bool Compressed = false;     // the entry names an archive member
    std::string CompressedFile;  // the archive's path (members only)
    bool GBAFile = false;        // the name's extension is ".gba"
    bool iszip = false;          // a zip member: read as it comes, its output a new file
    bool haswifi = false;        // the NDS image carries a download-play block
    bool NeedsContinue = false;  // the entry is finished; nothing more is done with it
    std::int64_t RomSize = 0;    // the cut size, a kept download-play block included
};

// Fills a job from a ROM list entry. `outputFolder` is used with the folder option.
LoadInfo LoadInfoFromEntry(const RomListEntry& entry, FileMode mode,
                           const std::string& outputFolder);

}  // namespace ostravex
