// The SRAM patch of a 32 MiB image that matches no group (every search runs to the end),
// side by side with reading the same image from a warm cache as `cat FILE > /dev/null` does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "host.h"
#include "io/file.h"
#include "sram/sram_patcher.h"

namespace {

using namespace ostravex;

class SilentHost final : public Host {
  public:
    void addLog(const std::string&) override {}
    void clearLog() override {}
    void addRomEntry(const RomListEntry&) override {}
    std::size_t romEntryCount() const override { return 0; }
    void clearRomList() override {}
    void setLabel(CounterLabel, const std::string&) override {}
    void setGauge(Gauge, std::uint64_t, std::uint64_t) override {}
    FileMode fileMode() const override { return FileMode::Overwrite; }
    std::string outputFolder() const override { return {}; }
    bool option(Option) const override { return false; }
    void pump() override {}
    bool haltRequested() const override { return false; }
    void clearHalt() override {}
    void notice(const std::string&) override {}
    void setBusy(bool) override {}
};

const std::string& ImagePath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string file = std::string(tmp ? tmp : "/tmp") + "/ostravex-sram-bench.gba";
        std::vector<std::uint8_t> image(32u << 20);
        std::mt19937 random(1234);
        for (auto& byte : image) {
            byte = static_cast<std::uint8_t>(random());
        }
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
            std::abort();
        }
        close(fd);
        return file;
    }();
    return path;
}

// A run's second and later images: the snapshot buffer is already there.
void BM_SramPatchNoMatch(benchmark::State& state) {
    SilentHost host;
    SramPatcher patcher;
    for (auto _ : state) {
        File file;
        if (!file.openForUpdate(ImagePath()).ok() || !patcher.SRAMPatch(file, host).ok()) {
            state.SkipWithError("patch failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_SramPatchNoMatch)->Unit(benchmark::kMillisecond)->UseRealTime();

// A run's first image: the snapshot buffer is allocated (and its pages faulted in).
void BM_SramPatchNoMatchFirstImage(benchmark::State& state) {
    SilentHost host;
    for (auto _ : state) {
        SramPatcher patcher;
        File file;
        if (!file.openForUpdate(ImagePath()).ok() || !patcher.SRAMPatch(file, host).ok()) {
            state.SkipWithError("patch failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_SramPatchNoMatchFirstImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// What cat does: read() through a 128 KiB buffer, the data going nowhere.
void BM_ReadLikeCat(benchmark::State& state) {
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        const int fd = open(ImagePath().c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_ReadLikeCat)->Unit(benchmark::kMillisecond)->UseRealTime();

// `cat FILE > /dev/null` itself, process start included.
void BM_CatToDevNull(benchmark::State& state) {
    const std::string command = "cat '" + ImagePath() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cat failed");
        }
    }
}
BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
