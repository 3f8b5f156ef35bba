#include "scan/drop_handling.h"

#include "io/paths.h"
#include "scan/rom_file_walk.h"
#include "trim/counter_labels.h"

namespace ostravex {

bool HandleDroppedPaths(const std::vector<std::string>& paths, Host& host) {
    host.addLog("Dragged files Scan Started.");
    host.setBusy(true);
    bool halted = false;
    for (const std::string& path : paths) {
        if (DirectoryExists(path)) {
            std::vector<std::string> found;
            if (FindRomFiles(path, host.option(Option::RecursiveScan), host, found) ==
                WalkEnd::Halted) {
                host.clearHalt();
                host.addLog("Operations Halted");
                halted = true;
            }
            for (const std::string& entry : found) {
                host.addRomEntry(entry);
            }
        }
        // A name is also tested as a file name: a folder called "x.nds" is listed itself too.
        const std::string extension = LowerExtension(path);
        if (extension == ".nds" || extension == ".gba") {
            host.addRomEntry(path);
        }
    }
    host.setBusy(false);
    host.setLabel(CounterLabel::Complete, TrimmedLabel(host.romEntryCount()));
    host.addLog("Files dragged Scan Finished.");
    host.addLog(std::to_string(host.romEntryCount()) + " roms found");
    return !halted;
}

}  // namespace ostravex
