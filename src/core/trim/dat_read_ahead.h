#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "dat/dat_index.h"
#include "io/file.h"
#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"
#include "trim/dat_check.h"

namespace ostravex {

// How many roms a run works on at once: the option's number, or one per processor core
// this process may run on.
unsigned RunJobs(const RunOptions& options);

// What tests may change in a read-ahead.
struct ReadAheadTuning {
    // A file whose last change is this close to the moment its read started may have
    // changed again within the same tick of its timestamps, unseen: its check is not kept.
    // File systems keep timestamps to a clock tick (a few milliseconds), FAT to 2 seconds.
    std::chrono::nanoseconds timestampGranularity = std::chrono::seconds(2);
    // Runs on the worker thread once the read-ahead of entry `index` has ended.
    std::function<void(std::size_t index)> entryEnded;
};

// Reads and hashes the rom files of a run's next entries on worker threads while the run
// decides and writes the current one, so that a run with DATs hashes on every core and
// still logs in list order. At most `jobs` entries are in flight, the current one
// included, each streamed through one read buffer: memory stays bounded however large the
// roms. A worker only reads: it opens a rom without its lock, writes nothing and reports
// nothing. The entry itself opens and locks its file when its turn comes, and takes the
// check made ahead only when that file is the one read and unchanged since (the same
// identity, size and timestamps); otherwise it hashes the file again itself. Work on
// entries the run never reaches (a halt) is dropped without a trace. The workers are
// started by the run's thread and so run at its priority: a window that lowers the priority
// of the thread it runs the run on stays as responsive while every core hashes.
class DatReadAhead {
  public:
    // `jobs` (at least 2) worker threads; `romlist` and `dats` outlive the read-ahead.
    DatReadAhead(const std::vector<RomListEntry>& romlist, const DatIndex& dats, unsigned jobs,
                 ReadAheadTuning tuning = {});
    // Stops the workers; what they were doing is dropped.
    ~DatReadAhead();
    DatReadAhead(const DatReadAhead&) = delete;
    DatReadAhead& operator=(const DatReadAhead&) = delete;

    // Entry `index` is now the run's current one: work on earlier entries is dropped, and
    // the read-ahead goes on up to `jobs` entries from it.
    void moveTo(std::size_t index);
    // The check of entry `index` made ahead, when it was made of the bytes `file` (the
    // entry's rom, opened and locked by the entry) holds now. Waits for a read-ahead still
    // going on, running `pump` every so often meanwhile.
    std::optional<DatCheck> take(std::size_t index, const File& file,
                                 const std::function<void()>& pump);

  private:
    struct Slot;
    struct CheckedAhead;

    void work();
    std::optional<CheckedAhead> checkAhead(std::size_t index, const Slot& slot) const;

    const std::vector<RomListEntry>& m_romlist;
    const DatIndex& m_dats;
    const unsigned m_jobs;
    const ReadAheadTuning m_tuning;

    std::mutex m_mutex;
    std::condition_variable m_workQueued;
    std::condition_variable m_slotDone;
    // The entries handed to the workers and not yet taken or dropped, by list index.
    std::map<std::size_t, std::shared_ptr<Slot>> m_slots;
    std::deque<std::size_t> m_queue;  // in list order
    std::size_t m_nextToQueue = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

}  // namespace ostravex
