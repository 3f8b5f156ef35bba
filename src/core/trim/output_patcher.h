#pragma once

#include "host.h"
#include "io/file.h"

namespace ostravex {

// Patches a finished GBA output in place (the SRAM patch) and logs its one outcome line.
class OutputPatcher {
  public:
    virtual ~OutputPatcher() = default;
    // Returns false when the patch failed with an error line (the run counts it).
    virtual bool SRAMPatch(File& output, Host& host) = 0;
};

}  // namespace ostravex
