#include "trim/dat_read_ahead.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <system_error>

#include "trim/rom_job.h"

namespace ostravex {
namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(50);

std::int64_t WallClockNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A rom file's bytes, read by a worker until its work is dropped: a read after that fails,
// which ends the hashing at the next block.
class DroppableFileBytes final : public ByteSource {
  public:
    DroppableFileBytes(const File& file, std::uint64_t size, const std::atomic<bool>& dropped)
        : m_file(file, size), m_dropped(dropped) {}
    std::uint64_t size() const override { return m_file.size(); }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override {
        if (m_dropped.load(std::memory_order_relaxed)) {
            got = 0;
            return Status::failure("dropped");
        }
        return m_file.readAt(offset, out, got);
    }

  private:
    FileByteSource m_file;
    const std::atomic<bool>& m_dropped;
};

}  // namespace

unsigned RunJobs(const RunOptions& options) {
    if (options.jobs > 0) {
        return options.jobs;
    }
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&allowed)));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

// A check made ahead, and the state of the file it was made of.
struct DatReadAhead::CheckedAhead {
    File::Stamp stamp;
    DatCheck check;
};

// One entry handed to the workers.
struct DatReadAhead::Slot {
    std::atomic<bool> dropped{false};
    bool done = false;
    std::optional<CheckedAhead> result;  // empty when the check could not be made ahead
};

DatReadAhead::DatReadAhead(const std::vector<RomListEntry>& romlist, const DatIndex& dats,
                           unsigned jobs, ReadAheadTuning tuning)
    : m_romlist(romlist), m_dats(dats), m_jobs(std::max(jobs, 1u)), m_tuning(std::move(tuning)) {
    // The hashing library is loaded here, once, rather than by the first workers at once.
    (void)Sha1Available();
    m_workers.reserve(m_jobs);
    for (unsigned i = 0; i < m_jobs; ++i) {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // No more threads to be had: the run reads ahead with those it has, or, with
            // none, every entry reads its rom itself.
            break;
        }
    }
}

DatReadAhead::~DatReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (const auto& [index, slot] : m_slots) {
            slot->dropped = true;
        }
        m_slots.clear();
        m_queue.clear();
    }
    m_workQueued.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void DatReadAhead::moveTo(std::size_t index) {
    if (m_workers.empty()) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        while (!m_slots.empty() && m_slots.begin()->first < index) {
            m_slots.begin()->second->dropped = true;
            m_slots.erase(m_slots.begin());
        }
        while (!m_queue.empty() && m_queue.front() < index) {
            m_queue.pop_front();
        }
        m_nextToQueue = std::max(m_nextToQueue, index);
        const std::size_t end = std::min(m_romlist.size(), index + m_jobs);
        for (; m_nextToQueue < end; ++m_nextToQueue) {
            // Archive members are read by their entry.
            if (m_romlist[m_nextToQueue].isMember()) {
                continue;
            }
            m_slots.emplace(m_nextToQueue, std::make_shared<Slot>());
            m_queue.push_back(m_nextToQueue);
        }
    }
    m_workQueued.notify_all();
}

std::optional<DatCheck> DatReadAhead::take(std::size_t index, const File& file,
                                           const std::function<void()>& pump) {
    std::unique_lock lock(m_mutex);
    const auto found = m_slots.find(index);
    if (found == m_slots.end()) {
        return std::nullopt;
    }
    const std::shared_ptr<Slot> slot = found->second;
    while (!m_slotDone.wait_for(lock, kPumpInterval, [&] { return slot->done; })) {
        lock.unlock();
        pump();
        lock.lock();
    }
    m_slots.erase(index);
    std::optional<CheckedAhead> result = std::move(slot->result);
    lock.unlock();
    // The entry's own open, under its lock, tells whether the file is still the one read.
    if (!result || result->stamp != file.stampAtOpen()) {
        return std::nullopt;
    }
    return std::move(result->check);
}

void DatReadAhead::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_workQueued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) {
            return;
        }
        const std::size_t index = m_queue.front();
        m_queue.pop_front();
        const auto found = m_slots.find(index);
        if (found == m_slots.end()) {
            continue;
        }
        const std::shared_ptr<Slot> slot = found->second;
        lock.unlock();
        std::optional<CheckedAhead> result;
        try {
            result = checkAhead(index, *slot);
        } catch (...) {
            // The entry hashes its rom itself, and reports what goes wrong then.
            result.reset();
        }
        if (m_tuning.entryEnded) {
            m_tuning.entryEnded(index);
        }
        lock.lock();
        slot->result = std::move(result);
        slot->done = true;
        m_slotDone.notify_all();
    }
}

// Opens, hashes and identifies the rom of entry `index`, as the entry itself would. Any
// failure leaves the check to the entry, which tells it in its turn.
std::optional<DatReadAhead::CheckedAhead> DatReadAhead::checkAhead(std::size_t index,
                                                                   const Slot& slot) const {
    const RomListEntry& entry = m_romlist[index];
    const RomJob rom = RomJobFromEntry(entry, FileMode::Overwrite, "");
    const std::int64_t readStart = WallClockNs();
    File file;
    if (!file.openShared(entry.path)) {
        return std::nullopt;
    }
    CheckedAhead ahead{.stamp = file.stampAtOpen(), .check = {}};
    const std::int64_t lastChange = std::max(ahead.stamp.modifiedNs, ahead.stamp.changedNs);
    if (lastChange > readStart - m_tuning.timestampGranularity.count()) {
        return std::nullopt;
    }
    const DroppableFileBytes bytes(file, ahead.stamp.size, slot.dropped);
    const ImageKind kind = rom.gba ? ImageKind::Gba : ImageKind::Nds;
    if (!CheckAgainstDats(m_dats, bytes, kind, rom.name, ahead.check)) {
        return std::nullopt;
    }
    // A change while it was read shows in its stamp.
    File::Stamp after;
    if (!file.currentStamp(after) || after != ahead.stamp) {
        return std::nullopt;
    }
    return ahead;
}

}  // namespace ostravex
