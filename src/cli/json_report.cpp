#include "json_report.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "io/utf8.h"

namespace ostravex::cli {
namespace {

using Json = nlohmann::ordered_json;

const char* OutcomeName(EntryOutcome outcome) {
    switch (outcome) {
        case EntryOutcome::Trimmed:
            return "trimmed";
        case EntryOutcome::Skipped:
            return "skipped";
        case EntryOutcome::Wifi:
            return "wifi";
        case EntryOutcome::Dsi:
            return "dsi";
        case EntryOutcome::Restored:
            return "restored";
        case EntryOutcome::Error:
            break;
    }
    return "error";
}

const char* SramPatchName(SramPatchOutcome outcome) {
    switch (outcome) {
        case SramPatchOutcome::Patched:
            return "patched";
        case SramPatchOutcome::NotPossible:
            return "not_possible";
        case SramPatchOutcome::Failed:
            break;
    }
    return "failed";
}

const char* DatMatchName(DatMatchOutcome match) {
    switch (match) {
        case DatMatchOutcome::FullDump:
            return "full_dump";
        case DatMatchOutcome::TrimmedDump:
            return "trimmed_dump";
        case DatMatchOutcome::BadDump:
            return "bad_dump";
        case DatMatchOutcome::NotInDat:
            break;
    }
    return "not_in_dat";
}

Json DatJson(const DatFacts& dat) {
    Json json;
    json["match"] = DatMatchName(dat.match);
    json["filler"] = dat.filler ? Json(*dat.filler == 0xFF ? "0xFF" : "0x00") : Json(nullptr);
    Json entries = Json::array();
    for (const DatEntryName& entry : dat.entries) {
        entries.push_back({{"dat", ValidUtf8Text(entry.dat)},
                           {"game", ValidUtf8Text(entry.game)},
                           {"rom", ValidUtf8Text(entry.rom)}});
    }
    json["entries"] = entries;
    json["size"] = dat.size;
    json["dat_size"] = dat.datSize;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", dat.crc32);
    json["crc32"] = crc;
    json["sha1"] = dat.sha1;
    return json;
}

void AddDatCounts(Json& json, const DatCounts& counts) {
    json["full_dumps"] = counts.fullDumps;
    json["trimmed_dumps"] = counts.trimmedDumps;
    json["bad_dumps"] = counts.badDumps;
    json["not_in_dat"] = counts.notInDat;
}

Json LogLinesJson(const std::vector<LogLine>& lines) {
    Json texts = Json::array();
    for (const LogLine& line : lines) {
        texts.push_back(ValidUtf8Text(line.text));
    }
    return texts;
}

Json SizeOrNull(const std::optional<std::uint64_t>& size) {
    return size ? Json(*size) : Json(nullptr);
}

}  // namespace

std::string ValidUtf8Text(std::string_view text) {
    if (IsWellFormedUtf8(text)) {
        return std::string(text);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    ForEachUtf8(
        text,
        [&](std::string_view character, char32_t codePoint) {
            escaped += codePoint == '\\' ? std::string_view("\\\\") : character;
        },
        [&](unsigned char byte) {
            escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        });
    return escaped;
}

namespace {

// What names a finished entry in its object: its list entry, kind, path and member.
Json FinishedEntryJson(const EntryFacts& facts) {
    Json json;
    json["type"] = "entry";
    json["entry"] = ValidUtf8Text(facts.listText);
    json["kind"] = facts.gba ? "gba" : "nds";
    json["path"] = ValidUtf8Text(facts.path);
    if (facts.member) {
        json["member"] = ValidUtf8Text(*facts.member);
    }
    return json;
}

}  // namespace

std::string EntryJson(const EntryFacts& facts) {
    Json json = FinishedEntryJson(facts);
    if (facts.archive) {
        json["archive"] = ValidUtf8Text(*facts.archive);
    }
    json["output"] = facts.output ? Json(ValidUtf8Text(*facts.output)) : Json(nullptr);
    if (facts.renamedFrom) {
        json["renamed_from"] = ValidUtf8Text(*facts.renamedFrom);
    }
    if (facts.linkTarget) {
        json["changed_file"] = ValidUtf8Text(*facts.linkTarget);
    }
    json["outcome"] = OutcomeName(facts.outcome());
    json["size_before"] = SizeOrNull(facts.sizeBefore);
    // An entry that wrote nothing left its file as it was, unless it found its result
    // already at the output's name: then that file's size.
    json["size_after"] = SizeOrNull(facts.sizeAfter ? facts.sizeAfter : facts.sizeBefore);
    json["bytes_saved"] = facts.bytesSaved();
    if (facts.dat) {
        json["dat"] = DatJson(*facts.dat);
    }
    if (facts.sramPatch) {
        json["sram_patch"] = SramPatchName(*facts.sramPatch);
    }
    if (facts.rename == RenameOutcome::Renamed) {
        json["rename"] = "renamed";
    } else if (facts.rename == RenameOutcome::Failed) {
        json["rename"] = "failed";
        json["rename_error"] = ValidUtf8Text(facts.renameFailure);
    }
    json["lines"] = LogLinesJson(facts.lines);
    if (!facts.notices.empty()) {
        Json notices = Json::array();
        for (const Notice& notice : facts.notices) {
            notices.push_back(ValidUtf8Text(notice.detail.empty() ? notice.text : notice.detail));
        }
        json["notices"] = notices;
    }
    return json.dump();
}

std::string ListEntryJson(const RomListEntry& entry) {
    Json json;
    json["type"] = "entry";
    json["entry"] = ValidUtf8Text(entry.text());
    json["kind"] = GroupOfEntry(entry) == RomGroup::Gba ? "gba" : "nds";
    json["path"] = ValidUtf8Text(entry.path);
    if (entry.isMember()) {
        json["member"] = ValidUtf8Text(entry.member);
    }
    return json.dump();
}

std::string IdentifiedEntryJson(const EntryFacts& facts) {
    Json json = FinishedEntryJson(facts);
    // Null when the rom could not be read: its lines say why.
    json["dat"] = facts.dat ? DatJson(*facts.dat) : Json(nullptr);
    json["lines"] = LogLinesJson(facts.lines);
    return json.dump();
}

std::string HeaderReportJson(const std::string& path, const std::vector<std::string>& lines) {
    Json json;
    json["type"] = "info";
    json["path"] = ValidUtf8Text(path);
    Json texts = Json::array();
    for (const std::string& line : lines) {
        texts.push_back(ValidUtf8Text(line));
    }
    json["lines"] = texts;
    return json.dump();
}

std::string SummaryJson(const RunSummary& summary) {
    const RunCounters& counters = summary.counters;
    Json json;
    json["type"] = "summary";
    json["wifi_games"] = counters.wifiGames;
    json["errors"] = counters.errors;
    json["skipped"] = counters.skipped;
    json["processed"] = counters.processed;
    json["entries"] = summary.entries;
    json["bytes_saved"] = counters.bytesSaved;
    json["bytes_added"] = counters.bytesAdded;
    if (summary.withDats) {
        AddDatCounts(json, counters.dats);
    }
    json["halted"] = summary.halted;
    return json.dump();
}

std::string IdentificationSummaryJson(const RunSummary& summary) {
    const RunCounters& counters = summary.counters;
    Json json;
    json["type"] = "summary";
    json["errors"] = counters.errors;
    json["skipped"] = counters.skipped;
    json["processed"] = counters.processed;
    json["entries"] = summary.entries;
    AddDatCounts(json, counters.dats);
    json["halted"] = summary.halted;
    return json.dump();
}

}  // namespace ostravex::cli
