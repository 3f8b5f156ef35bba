#pragma once

#include <cstdint>
#include <string>

#include "support/rom_images.h"

namespace ostravex::testing {

// A small exFAT file system, made in an image file and mounted through FUSE (exfat-fuse,
// on a loop device) for the life of the object: the file system of flashcart SD cards.
// It has no hard links, no owners and no RENAME_NOREPLACE. Mounting needs root, /dev/fuse,
// a free loop device and the exfatprogs and exfat-fuse tools; where any is missing the
// object says why, and the test skips.
class ExfatMount {
  public:
    explicit ExfatMount(std::uint64_t bytes = 64u << 20);
    ~ExfatMount();
    ExfatMount(const ExfatMount&) = delete;
    ExfatMount& operator=(const ExfatMount&) = delete;

    bool mounted() const { return m_mounted; }
    // Why it could not be mounted.
    const std::string& unavailable() const { return m_unavailable; }
    // The mount point, ending with "/".
    std::string path() const { return m_dir.subfolder("mnt"); }

  private:
    void fail(std::string reason);

    TempDir m_dir;
    bool m_mounted = false;
    std::string m_unavailable;
};

}  // namespace ostravex::testing
