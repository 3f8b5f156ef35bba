#include "trim/rom_job.h"

#include "io/paths.h"

namespace ostravex {

RomJob RomJobFromEntry(const RomListEntry& entry, FileMode mode, const std::string& outputFolder) {
    RomJob job;
    if (entry.isMember()) {
        job.member = true;
        job.archivePath = entry.path;
        job.name = entry.member;
    } else {
        job.filePath = entry.path;
        job.name = NamePart(entry.path);
    }
    job.outputFolder = mode == FileMode::Folder ? outputFolder : FolderPart(entry.path);
    job.gba = LowerExtension(job.name) == ".gba";
    return job;
}

}  // namespace ostravex
