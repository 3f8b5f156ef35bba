// The SRAM patch of a 32 MiB image that matches no group (every search runs to the end),
// side by side with reading the same image from a warm cache as `cat FILE > /dev/null` does;
// and the signature search alone, in memory, side by side with copying the same bytes.
// The image is made before the first benchmark, checked, and removed after the last one;
// the load average is printed before and after, since the machine may be shared.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cat_reference.h"
#include "io/file.h"
#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"
#include "sram/sram_patcher.h"

extern char** environ;

namespace {

using namespace ostravex;

constexpr std::size_t kImageSize = 32u << 20;
constexpr const char* kNoMatch = "SRAM Patch Not Possible on this Rom or it's already patched.";

// The image the benchmarks read: random bytes, in which no signature occurs.
class BenchImage {
  public:
    BenchImage() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/ostravex-sram-bench-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("cannot make the benchmark image");
            std::exit(1);
        }
        m_path = pattern;
        std::vector<std::uint8_t> image(kImageSize);
        std::mt19937 random(1234);
        for (auto& byte : image) {
            byte = static_cast<std::uint8_t>(random());
        }
        const bool written =
            write(fd, image.data(), image.size()) == static_cast<ssize_t>(image.size());
        close(fd);
        if (!written) {
            std::perror("cannot write the benchmark image");
            std::exit(1);
        }
    }
    ~BenchImage() { unlink(m_path.c_str()); }
    BenchImage(const BenchImage&) = delete;
    BenchImage& operator=(const BenchImage&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

const BenchImage* g_image = nullptr;

// A run's second and later images: the read buffer is already there.
void BM_SramPatchNoMatch(benchmark::State& state) {
    SramPatcher patcher;
    for (auto _ : state) {
        File file;
        SramPatchResult result;
        if (!file.openForUpdate(g_image->path()).ok() || !patcher.patch(file, result).ok()) {
            state.SkipWithError("patch failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_SramPatchNoMatch)->Unit(benchmark::kMillisecond)->UseRealTime();

// A run's first image: the read buffer is allocated (and its pages faulted in).
void BM_SramPatchNoMatchFirstImage(benchmark::State& state) {
    for (auto _ : state) {
        SramPatcher patcher;
        File file;
        SramPatchResult result;
        if (!file.openForUpdate(g_image->path()).ok() || !patcher.patch(file, result).ok()) {
            state.SkipWithError("patch failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_SramPatchNoMatchFirstImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// What cat does: read() through a 128 KiB buffer, the data going nowhere.
void BM_ReadLikeCat(benchmark::State& state) {
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        const int fd = open(g_image->path().c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_ReadLikeCat)->Unit(benchmark::kMillisecond)->UseRealTime();

// `cat FILE > /dev/null` itself (see cat_reference.h).
void BM_CatToDevNull(benchmark::State& state) {
    bench::TimeCatToDevNull(state, g_image->path());
}
BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();

// The search alone, in memory: the patcher's signatures over 32 MiB in the pieces the
// patcher reads (256 KiB, each beginning with the end of the one before), with the fastest
// scan this processor runs and with the portable one. In random bytes almost no position
// begins like a signature. In code-like bytes a Thumb function start stands every 16
// bytes: "push {..., lr}" with one of eight register lists, then "sub sp, #n" with one of
// 128 sizes, which is how most save routines of the catalogue begin (1 in 150 such starts
// has the first four bytes of a signature).
std::vector<std::span<const std::uint8_t>> PatcherSignatures() {
    std::vector<std::span<const std::uint8_t>> signatures;
    for (const SramCatalogueEntry& entry : SramCatalogue()) {
        signatures.push_back(entry.signature);
    }
    signatures.push_back(kV111Signature);
    signatures.push_back(kV111SecondarySignature);
    return signatures;
}

const std::vector<std::uint8_t>& SearchData(bool codeLike) {
    static const auto make = [](bool code) {
        std::vector<std::uint8_t> data(kImageSize);
        std::mt19937 random(code ? 77 : 1234);
        for (auto& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        if (code) {
            constexpr std::uint8_t kPush[] = {0x10, 0x30, 0x70, 0xF0, 0x00, 0x80, 0x90, 0xB0};
            for (std::size_t at = 0; at + 4 <= data.size(); at += 16) {
                data[at] = kPush[random() % std::size(kPush)];
                data[at + 1] = 0xB5;
                data[at + 2] = static_cast<std::uint8_t>(0x80 | (random() % 128));
                data[at + 3] = 0xB0;
            }
        }
        return data;
    };
    static const std::vector<std::uint8_t> random = make(false);
    static const std::vector<std::uint8_t> code = make(true);
    return codeLike ? code : random;
}

void BM_SignatureSearch(benchmark::State& state) {
    const auto scan =
        state.range(0) ? SignatureSearch::Scan::Portable : SignatureSearch::Scan::Fastest;
    const std::vector<std::uint8_t>& data = SearchData(state.range(1) != 0);
    const std::vector<std::span<const std::uint8_t>> signatures = PatcherSignatures();
    const SignatureSearch search(signatures, scan);
    constexpr std::size_t kPiece = 256u << 10;
    const std::size_t overlap = search.longest() - 1;
    std::vector<std::size_t> found;
    for (auto _ : state) {
        found.assign(signatures.size(), SignatureSearch::kNotFound);
        for (std::size_t start = 0; start < data.size(); start += kPiece) {
            const std::size_t from = start >= overlap ? start - overlap : 0;
            const std::size_t to = std::min(data.size(), start + kPiece);
            search.findFirst(std::span(data).subspan(from, to - from), from, found);
        }
        benchmark::DoNotOptimize(found.data());
    }
    state.SetLabel(std::string(search.vectorScan() ? "vector" : "portable") +
                   (state.range(1) ? ", code-like" : ", random"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_SignatureSearch)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"portable", "code"})
    ->Unit(benchmark::kMillisecond);

// A plain read of the same pieces from memory: each copied into a 256 KiB buffer.
void BM_CopyPieces(benchmark::State& state) {
    const std::vector<std::uint8_t>& data = SearchData(false);
    std::vector<std::uint8_t> buffer(256u << 10);
    for (auto _ : state) {
        for (std::size_t start = 0; start < data.size(); start += buffer.size()) {
            std::memcpy(buffer.data(), data.data() + start, buffer.size());
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_CopyPieces)->Unit(benchmark::kMillisecond);

void PrintLoadAverage(const char* when) {
    double load[3] = {};
    if (getloadavg(load, 3) == 3) {
        std::printf("%s: load average %.2f %.2f %.2f on %ld cores\n", when, load[0], load[1],
                    load[2], sysconf(_SC_NPROCESSORS_ONLN));
    }
}

// The image must make every search run to the end: no group completes, no V111 routine.
bool ImageMatchesNothing(const std::string& path) {
    File file;
    SramPatcher patcher;
    SramPatchResult result;
    return file.openForUpdate(path).ok() && patcher.patch(file, result).ok() &&
           result.line == kNoMatch;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    PrintLoadAverage("before");
    const BenchImage image;
    g_image = &image;
    if (!ImageMatchesNothing(image.path())) {
        std::fprintf(stderr, "fixture check failed: the image matches a signature\n");
        return 1;
    }
    std::printf("fixture: a 32 MiB image that matches no signature: %s\n", image.path().c_str());
    std::printf("reference: cat %s > /dev/null (cat started directly, no shell)\n",
                image.path().c_str());
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintLoadAverage("after");
    return 0;
}
