#pragma once

namespace ostravex {

// Readies this process's heap for a burst of many small allocations that stay (the index
// of a large DAT: tens of thousands of roms, their names and checksums), so that the
// memory comes in few page faults instead of one per 4 KiB page; on a virtual machine a
// page fault costs as much as parsing a few kilobytes of the DAT. The heap then grows in
// steps of 32 MiB, keeps what is freed for later allocations instead of handing it back at
// once, and its free room is marked for the system's 2 MiB pages where the system offers
// them (transparent huge pages on request). Only address space is taken: untouched
// memory stays unused. Meant for a short-lived process (the command line), once, before
// the DATs are loaded; calling it again does nothing more.
void GrowHeapInLargeSteps();

}  // namespace ostravex
