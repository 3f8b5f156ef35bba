#include "trim/dat_check.h"

#include <cstdio>

#include "io/paths.h"
#include "trim/output_placement.h"

namespace ostravex {
namespace {

std::string FillerText(std::uint8_t filler) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", filler);
    return text;
}

// "GAME (DAT NAME)" for each entry, joined by "; ".
std::string EntryNames(const std::vector<DatEntryName>& entries) {
    std::string text;
    for (const DatEntryName& entry : entries) {
        if (!text.empty()) {
            text += "; ";
        }
        text += entry.game + " (" + entry.dat + ")";
    }
    return text;
}

DatMatchOutcome OutcomeOf(DatMatchKind kind) {
    switch (kind) {
        case DatMatchKind::FullDump:
            return DatMatchOutcome::FullDump;
        case DatMatchKind::TrimmedDump:
            return DatMatchOutcome::TrimmedDump;
        case DatMatchKind::BadDump:
            return DatMatchOutcome::BadDump;
        case DatMatchKind::NotInDat:
            break;
    }
    return DatMatchOutcome::NotInDat;
}

}  // namespace

Status CheckAgainstDats(const DatIndex& index, const ByteSource& image, ImageKind kind,
                        const std::string& name, DatCheck& check) {
    ImageClaims claims;
    // The name a dump would have: without folders, extension and scene number.
    const std::string base = NamePart(StripMemberPath(name));
    const std::optional<std::string> withoutNumber = NameWithoutSceneNumber(base);
    std::string plain = withoutNumber ? *withoutNumber : std::string(base);
    if (const std::size_t dot = plain.rfind('.'); dot != std::string::npos && dot > 0) {
        plain.resize(dot);
    }
    if (Status status = ReadImageClaims(image, kind, std::move(plain), claims); !status) {
        return status;
    }
    ByteBuffer buffer;
    if (Status status = HashRest(image, check.hasher, buffer); !status) {
        return status;
    }
    check.match = MatchHashedImage(index, check.hasher, LargestCartridgeSize(kind), claims);
    return Status::success();
}

DatFacts DatFactsOf(const DatMatch& match) {
    DatFacts facts;
    facts.match = OutcomeOf(match.kind);
    facts.filler = match.filler;
    for (const IndexedRom& found : match.roms) {
        facts.entries.push_back({found.dat->shownName(), found.rom->gameName, found.rom->romName});
    }
    facts.size = match.image.size;
    facts.datSize = match.datSize;
    facts.crc32 = match.image.crc32;
    facts.sha1 = HexText(match.image.sha1);
    return facts;
}

std::string DatMatchLine(const DatFacts& facts, const std::string& name) {
    switch (facts.match) {
        case DatMatchOutcome::FullDump:
            return "INFO: Full dump of a DAT entry: " + name + " -> " + EntryNames(facts.entries);
        case DatMatchOutcome::TrimmedDump:
            return "INFO: Trimmed dump of a DAT entry (" + FillerText(facts.filler.value_or(0xFF)) +
                   " padding): " + name + " -> " + EntryNames(facts.entries);
        case DatMatchOutcome::BadDump:
            return "WARNING: Bad dump (size of a DAT entry, checksum of none): " + name;
        case DatMatchOutcome::NotInDat:
            break;
    }
    return "INFO: In no DAT: " + name;
}

Status VerifyDatDump(const ByteSource& result, const DatRom& rom) {
    ImageHasher hasher;
    ByteBuffer buffer;
    if (Status status = HashRest(result, hasher, buffer); !status) {
        return status;
    }
    if (!IsDatRom(hasher.digest(), rom)) {
        return Status::failure("the result is not the DAT's dump");
    }
    return Status::success();
}

}  // namespace ostravex
