// Parses arbitrary text as a clrmamepro DAT (the hand-written parser) and as a Logiqx XML
// DAT. Every rom the clrmamepro parser keeps is written back in that format and must read
// back the same.
#include <string>
#include <string_view>

#include "dat/dat_file.h"
#include "fuzz_support.h"

namespace {

std::string CrcText(std::uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

// One game block per rom, so a rom keeps the game name it was read with.
std::string Written(const ostravex::DatFile& dat) {
    std::string text = "clrmamepro ( name \"" + dat.name + "\" version \"" + dat.version + "\" )\n";
    for (const ostravex::DatRom& rom : dat.roms) {
        text += "game ( name \"" + rom.gameName + "\" rom ( name \"" + rom.romName + "\" size " +
                std::to_string(rom.size) + " crc " + CrcText(rom.crc32);
        if (rom.sha1) {
            text += " sha1 " + ostravex::HexText(*rom.sha1);
        }
        if (rom.md5) {
            text += " md5 " + ostravex::HexText(*rom.md5);
        }
        text += " ) )\n";
    }
    return text;
}

bool SameRoms(const ostravex::DatFile& a, const ostravex::DatFile& b) {
    if (a.roms.size() != b.roms.size() || a.name != b.name || a.version != b.version) {
        return false;
    }
    for (std::size_t i = 0; i < a.roms.size(); ++i) {
        const ostravex::DatRom& x = a.roms[i];
        const ostravex::DatRom& y = b.roms[i];
        if (x.size != y.size || x.crc32 != y.crc32 || x.sha1 != y.sha1 || x.md5 != y.md5 ||
            x.gameName != y.gameName || x.romName != y.romName) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ostravex::DatFile dat;
    if (ostravex::ParseClrMameProDat(text, dat).ok()) {
        ostravex::DatFile again;
        ostravex::fuzz::Require(ostravex::ParseClrMameProDat(Written(dat), again).ok(),
                                "a written DAT does not read back");
        ostravex::fuzz::Require(SameRoms(dat, again), "a written DAT reads back different");
    }
    ostravex::DatFile xml;
    (void)ostravex::ParseLogiqxDat(text, xml);
    return 0;
}
