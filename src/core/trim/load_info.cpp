#include "trim/load_info.h"

#include "io/paths.h"

namespace ostravex {

LoadInfo LoadInfoFromEntry(const RomListEntry& entry, FileMode mode,
                           const std::string& outputFolder) {
    LoadInfo job;
    if (entry.isMember()) {
        // Nothing is read from a member until it is extracted; its extraction names the
        // file or buffer that holds it.
        job.Compressed = true;
        job.CompressedFile = entry.path;
        job.filename = entry.member;
    } else {
        job.RawName = entry.path;
        job.filename = NamePart(entry.path);
    }
    job.OutFolder = mode == FileMode::Folder ? outputFolder : FolderPart(entry.path);
    job.GBAFile = LowerExtension(job.filename) == ".gba";
    return job;
}

}  // namespace ostravex
