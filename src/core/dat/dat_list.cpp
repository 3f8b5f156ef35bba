#include "dat/dat_list.h"

#include <algorithm>

#include "io/paths.h"

namespace ostravex {
namespace {

// The file name of a DAT's source: its own, or its member's in a zip ("ARCHIVE| MEMBER").
std::string SourceFileName(const std::string& source) {
    const std::size_t member = source.rfind("| ");
    return NamePart(member == std::string::npos ? source : source.substr(member + 2));
}

template <typename Key>
bool Shared(const std::vector<DatFile>& dats, const DatFile& dat, Key key) {
    return std::count_if(dats.begin(), dats.end(),
                         [&](const DatFile& other) { return key(other) == key(dat); }) > 1;
}

}  // namespace

bool IsSameDat(const DatFile& a, const DatFile& b) {
    return a.name == b.name && a.version == b.version && a.leftOut.count == b.leftOut.count &&
           a.roms == b.roms;
}

void LabelDats(std::vector<DatFile>& dats) {
    const auto name = [](const DatFile& dat) { return dat.name; };
    const auto nameAndVersion = [](const DatFile& dat) { return dat.name + '\n' + dat.version; };
    for (DatFile& dat : dats) {
        dat.label.clear();
        if (dat.name.empty()) {
            dat.label = SourceFileName(dat.source);
        } else if (Shared(dats, dat, name)) {
            dat.label = dat.name;
            if (!dat.version.empty()) {
                dat.label += ", " + dat.version;
            }
            if (dat.version.empty() || Shared(dats, dat, nameAndVersion)) {
                dat.label += ", " + SourceFileName(dat.source);
            }
        }
    }
}

std::string LeftOutWarning(const DatFile& dat) {
    if (dat.leftOut.count == 0) {
        return {};
    }
    return "WARNING: " + dat.source + ": " + LeftOutText(dat.leftOut);
}

}  // namespace ostravex
