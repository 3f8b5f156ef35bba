#pragma once

#include "host.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// Patches a finished GBA output in place (the SRAM patch) and logs its one outcome line.
class OutputPatcher {
  public:
    virtual ~OutputPatcher() = default;
    // A failure leaves the output as it was before the call; the run reports it.
    virtual Status SRAMPatch(File& output, Host& host) = 0;
};

}  // namespace ostravex
