#pragma once

#include "archive/archive_member_extraction.h"
#include "sram/sram_patcher.h"
#include "support/recording_host.h"
#include "trim/trim_run.h"

namespace ostravex::testing {

// The extraction and patcher of WiredTrimRun, built before the run that uses them.
struct ProgramRunHelpers {
    ArchiveMemberExtraction extraction;
    SramPatcher patcher;
};

// A run wired as the window and the command line wire it: archive members are extracted
// and GBA outputs patched for real.
class WiredTrimRun : private ProgramRunHelpers, public TrimRun {
  public:
    explicit WiredTrimRun(RecordingHost& host) : TrimRun(host.frontEnd(), extraction, patcher) {}
};

}  // namespace ostravex::testing
