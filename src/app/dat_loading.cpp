#include "dat_loading.h"

#include <unordered_set>

#include "dat/image_hasher.h"

namespace ostravex::app {

std::vector<std::string> WindowDats::failureLines() const {
    std::vector<std::string> lines;
    for (const DatSourceFailure& failure : failures) {
        lines.push_back(FailureLine(failure));
    }
    if (!hashFailure.empty()) {
        lines.push_back(hashFailure);
    }
    return lines;
}

std::string LoadedDatLine(const DatFile& dat) {
    std::unordered_set<std::string> games;
    for (const DatRom& rom : dat.roms) {
        games.insert(rom.gameName.empty() ? rom.romName : rom.gameName);
    }
    const std::string name = dat.name.empty() ? dat.source : dat.name;
    std::string line = std::to_string(games.size()) + (games.size() == 1 ? " game" : " games") +
                       " loaded from " + name;
    if (!dat.version.empty()) {
        line += ", version " + dat.version;
    }
    return line;
}

WindowDats LoadWindowDats(const std::vector<std::string>& sources) {
    WindowDats loaded;
    loaded.sources = sources;
    LoadedDats dats = LoadDatSources(sources);
    loaded.warnings = std::move(dats.warnings);
    loaded.failures = std::move(dats.failures);
    for (const DatFile& dat : dats.dats) {
        loaded.loadedLines.push_back(LoadedDatLine(dat));
    }
    if (!loaded.failures.empty()) {
        return loaded;
    }
    // Hashing needs libcrypto's SHA-1, tried now: without it no rom is touched.
    if (Status status = Sha1Available(); !status) {
        loaded.hashFailure = "ERROR: Cannot hash roms: " + status.reason();
        return loaded;
    }
    auto index = std::make_shared<DatIndex>();
    for (DatFile& dat : dats.dats) {
        index->add(std::move(dat));
    }
    loaded.index = std::move(index);
    return loaded;
}

}  // namespace ostravex::app
