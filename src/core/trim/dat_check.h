#pragma once

#include <string>

#include "dat/dat_index.h"
#include "dat/dat_matcher.h"
#include "dat/image_hasher.h"
#include "host/entry_facts.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/status.h"

namespace ostravex {

// The lines of a run with DATs whose entry is then finished; the rom's name follows each.
inline constexpr const char* kIrreversibleTrimText =
    "SKIP: Trim would not be reversible (data after the used size): ";
inline constexpr const char* kFullDumpNotRestoredText =
    "SKIP: Full dump of a DAT entry, not restored: ";
inline constexpr const char* kNotATrimmedDumpText =
    "ERROR: Not a trimmed dump of any DAT entry, not restored: ";
inline constexpr const char* kRestoredNotTheDumpText =
    "ERROR: Restored image does not match its DAT entry, nothing written: ";

// An image checked against the loaded DATs: its hashes, kept for the checks of a cut, and
// what the DATs say.
struct DatCheck {
    ImageHasher hasher;
    DatMatch match;
};

// Reads `image` once, hashing it, and identifies it. `name` is the rom's file name (or the
// member's name): an image is a bad dump only when its game code or its name claims a dump.
[[nodiscard]] Status CheckAgainstDats(const DatIndex& index, const ByteSource& image,
                                      ImageKind kind, const std::string& name, DatCheck& check);

// The facts of a match, for the entry's report.
DatFacts DatFactsOf(const DatMatch& match);

// The entry's one identification line; `name` is the rom's name.
std::string DatMatchLine(const DatFacts& facts, const std::string& name);

// Hashes `result` whole and checks that it is `rom`, byte for byte as the DAT's checksums
// tell.
[[nodiscard]] Status VerifyDatDump(const ByteSource& result, const DatRom& rom);

}  // namespace ostravex
