#pragma once

#include <functional>
#include <string>
#include <vector>

#include "io/status.h"
#include "romlist/rom_list_entry.h"

namespace ostravex::app {

// The "Rom Header Info" report of an NDS image inside a zip, rar or 7z archive. The member
// is read from its start only as far as its banner's end, and only its header and banner
// are kept, however large it is. `stopRequested` is asked between blocks; a stop is a
// failure whose reason is kHeaderReadStopped.
Status ReadMemberHeaderReport(const RomListEntry& member, std::vector<std::string>& lines,
                              const std::function<bool()>& stopRequested);

inline constexpr const char* kHeaderReadStopped = "stopped";

}  // namespace ostravex::app
