#include "dat_match_report.h"

#include <cstdio>

namespace ostravex::app {
namespace {

std::string Hex(std::uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string MatchText(const DatFacts& facts) {
    switch (facts.match) {
        case DatMatchOutcome::FullDump:
            return "full dump";
        case DatMatchOutcome::TrimmedDump:
            return "trimmed dump";
        case DatMatchOutcome::BadDump:
            return "bad dump (the size of a DAT entry, the checksums of none)";
        case DatMatchOutcome::NotInDat:
            break;
    }
    return "in no DAT";
}

}  // namespace

std::vector<std::string> DatMatchReport(const DatFacts* facts) {
    std::vector<std::string> lines{"", "DAT match, as the last run read the rom"};
    if (!facts) {
        lines.push_back("Not read against the DATs yet: use \"Identify Against DATs\".");
        return lines;
    }
    lines.push_back("Found: " + MatchText(*facts));
    for (const DatEntryName& entry : facts->entries) {
        lines.push_back("Game: " + entry.game);
        lines.push_back("DAT: " + entry.dat);
    }
    if (facts->match == DatMatchOutcome::TrimmedDump && facts->filler) {
        lines.push_back("Filler: 0x" + Hex(*facts->filler, 2) + " up to " +
                        std::to_string(facts->datSize) + " bytes");
    }
    lines.push_back("Size read: " + std::to_string(facts->size) + " bytes");
    lines.push_back("CRC-32: " + Hex(facts->crc32, 8));
    lines.push_back("SHA-1: " + facts->sha1);
    return lines;
}

std::string BadDumpReason(const DatFacts& facts) {
    if (facts.match != DatMatchOutcome::BadDump) {
        return {};
    }
    return "Bad dump: the last run found the size of a DAT entry (" +
           std::to_string(facts.datSize) + " bytes) but the checksums of none (CRC-32 " +
           Hex(facts.crc32, 8) + ")";
}

}  // namespace ostravex::app
