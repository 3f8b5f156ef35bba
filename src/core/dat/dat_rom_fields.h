#pragma once

#include <string>
#include <string_view>

#include "dat/dat_file.h"

namespace ostravex {

// The text of one rom's fields as a parser meets them; turned into a DatRom at its end.
struct DatRomFields {
    std::string name;
    std::string size;
    std::string crc;
    std::string md5;
    std::string sha1;
    std::string serial;
    bool sizeSeen = false;
    bool crcSeen = false;
    bool md5Seen = false;
    bool sha1Seen = false;
    bool notDumped = false;  // status or flags "nodump": the DAT knows no dump of it

    void set(std::string_view key, std::string_view value);
    // Back to no field seen, keeping the strings' room for the next rom.
    void clear();
};

// Adds the rom to `dat` when its size and CRC-32 parse (and its digests, when given);
// otherwise counts it in dat.leftOut, with what is wrong when it is the first. A rom marked
// as never dumped that cannot be matched is passed over without being counted.
void AddDatRom(const DatRomFields& fields, const std::string& gameName, DatFile& dat);

}  // namespace ostravex
