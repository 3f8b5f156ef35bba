#include "trim/load_info.h"

#include "io/paths.h"
#include "scan/rom_list_entry.h"

namespace ostravex {

LoadInfo LoadInfoFromEntry(std::string_view entry, FileMode mode, const std::string& outputFolder) {
    LoadInfo job;
    job.RawName = std::string(entry);
    std::string sourceFolder;
    if (const auto member = ParseArchiveMemberEntry(entry)) {
        job.Compressed = true;
        job.CompressedFile = member->archivePath;
        job.filename = member->memberName;
        sourceFolder = FolderPart(member->archivePath);
    } else {
        job.filename = NamePart(entry);
        sourceFolder = FolderPart(entry);
    }
    job.OutFolder = mode == FileMode::Folder ? outputFolder : sourceFolder;
    job.GBAFile = LowerExtension(job.filename) == ".gba";
    return job;
}

}  // namespace ostravex
