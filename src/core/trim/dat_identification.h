#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dat/dat_index.h"
#include "io/byte_source.h"
#include "trim/cut_verdict.h"
#include "trim/dat_check.h"
#include "trim/entry_record.h"
#include "trim/restore_decision.h"

namespace ostravex {

// The DAT step of an entry: its image identified against the loaded DATs, once, before its
// output is chosen, in every file option and in a dry run alike; then the checks that keep
// a cut of a dump reversible and give a restore the dump it pads back to.
class DatIdentification {
  public:
    DatIdentification(EntryRecord& record, const DatIndex& dats) : m_record(record), m_dats(dats) {}

    // Reads `image` once to hash it, and records what the DATs say of it. False when it
    // could not be read; the failure line is recorded.
    bool identify(const ByteSource& image, ImageKind kind, const std::string& name);
    // The same with the image's check made ahead, from the very bytes the entry reads.
    void identifyFrom(DatCheck checkedAhead, const std::string& name);
    // Whether a cut of the `size`-byte image to `cut` bytes pads back to the dump it is
    // (an image that is no dump may be cut); the skip line is recorded when it does not.
    bool keepsTheDump(std::uint64_t cut, std::uint64_t size, const std::string& name);
    // A restore pads only a trimmed dump, to its dump's size with the filler that gives the
    // dump's checksums: sets the verdict's size, or records why not and returns false.
    bool restoreToTheDump(CutVerdict& verdict, const std::string& name);

    // With restoreToTheDump(): the filler and the dump the result must be.
    std::uint8_t restoreFiller() const { return m_restoreFiller; }
    const DatRom* restoredDump() const { return m_restoredDump; }

  private:
    void recordMatch(const std::string& name);

    EntryRecord& m_record;
    const DatIndex& m_dats;
    std::optional<DatCheck> m_check;
    std::uint8_t m_restoreFiller = kRestoreFiller;
    const DatRom* m_restoredDump = nullptr;
};

}  // namespace ostravex
