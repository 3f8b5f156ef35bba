// Reading the settings store: files with 50,000 keys, 50,000 values in one key, and one value
// with a name of 200,000 characters continued over 50,000 lines (each about 1.8 MB), side by side
// with reading the same bytes as `cat FILE > /dev/null` does. A store of that size is larger than
// the loader accepts, so the load itself measures the refusal; the parse shows how the reader
// scales.
//
//   build/bin/settings_load_benchmark
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cat_reference.h"
#include "settings/reg_file.h"
#include "settings/settings_file.h"

extern char** environ;

namespace {

using namespace ostravex;

constexpr int kCount = 50000;
constexpr std::size_t kLongName = 200000;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Numbered(const char* format, int count) {
    std::string text(kHeader);
    char line[128];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, format, i);
        text += line;
    }
    return text;
}

const std::string& ManyKeys() {
    static const std::string text = Numbered("[HKEY_CURRENT_USER\\Ostravex\\k%05d]\r\n", kCount);
    return text;
}

const std::string& ManyValues() {
    static const std::string text = std::string(kHeader) + "[HKEY_CURRENT_USER\\Ostravex]\r\n" +
                                    Numbered("\"v%05d\"=\"x\"\r\n", kCount).substr(kHeader.size());
    return text;
}

const std::string& LongContinuedValue() {
    static const std::string text = [] {
        std::string content(kHeader);
        content += "[HKEY_CURRENT_USER\\Ostravex]\r\n\"" + std::string(kLongName, 'n') +
                   "\"=hex(1):41,00,\\\r\n";
        for (int i = 0; i < kCount; ++i) {
            content += "  41,00,41,00,41,00,41,00,\\\r\n";
        }
        return content + "  00,00\r\n";
    }();
    return text;
}

// The store as the program writes it: both windows' groups, values as a user has them.
const std::string& TypicalStore() {
    static const std::string text = [] {
        std::string content(kHeader);
        content += "[HKEY_CURRENT_USER\\Ostravex]\r\n\"FormVersion\"=dword:00000000\r\n";
        content += "\"Edit1_Text\"=\"/home/someone/roms/trimmed/\"\r\n";
        for (int i = 0; i < 18; ++i) {
            content += "\"Option" + std::to_string(i) + "_Checked\"=\"FALSE\"\r\n";
        }
        content += "\"BlendTrackBar_Position\"=dword:000000ff\r\n\r\n";
        content += "[HKEY_CURRENT_USER\\Ostravex\\Bgs]\r\n\"FormVersion\"=dword:00000000\r\n";
        content += "\"BgsPath_Text\"=\"/home/someone/Pictures/\"\r\n\"FixedBgPath_Text\"=\"\"\r\n";
        content += "\"RandomBgs_Checked\"=\"TRUE\"\r\n\"FixedBg_Checked\"=\"FALSE\"\r\n";
        return content;
    }();
    return text;
}

// Stops the benchmark when a fixture lacks what it is said to have.
void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fixture check failed: %s\n", what);
        std::exit(1);
    }
}

std::size_t CountOf(std::string_view text, std::string_view piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos;
         at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

const std::string& ManyKeysPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string file = std::string(tmp ? tmp : "/tmp") + "/ostravex-bench-settings.reg";
        std::ofstream(file, std::ios::binary) << ManyKeys();
        return file;
    }();
    return path;
}

void CheckFixtures() {
    Require(CountOf(ManyKeys(), "\r\n[") == kCount, "50,000 keys");
    Require(ManyKeys().size() > 1'700'000 && ManyKeys().size() < 1'900'000, "keys file of 1.8 MB");
    Require(CountOf(ManyValues(), "\"=\"x\"") == kCount, "50,000 values");
    Require(CountOf(LongContinuedValue(), "\\\r\n") == kCount + 1, "50,001 continued lines");
    Require(RegFile::Parse(ManyKeys()).hasKey("HKEY_CURRENT_USER\\Ostravex\\k49999"),
            "the last key is read");
    Require(RegFile::Parse(ManyValues()).find("HKEY_CURRENT_USER\\Ostravex", "v49999"),
            "the last value is read");
    const RegValue* continued =
        RegFile::Parse(LongContinuedValue())
            .find("HKEY_CURRENT_USER\\Ostravex", std::string(kLongName, 'n'));
    Require(continued && continued->text.size() == 1 + 4 * kCount, "the continued value is whole");
    Require(
        RegFile::Parse(TypicalStore()).find("HKEY_CURRENT_USER\\Ostravex\\Bgs", "FixedBg_Checked"),
        "the typical store is read");
    std::ifstream file(ManyKeysPath(), std::ios::binary | std::ios::ate);
    Require(static_cast<std::size_t>(file.tellg()) == ManyKeys().size(), "the keys file on disk");
}

void BM_ParseTypicalStore(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegFile::Parse(TypicalStore()));
    }
}
BENCHMARK(BM_ParseTypicalStore)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ParseManyKeys(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegFile::Parse(ManyKeys()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(ManyKeys().size()));
}
BENCHMARK(BM_ParseManyKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseManyValues(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegFile::Parse(ManyValues()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(ManyValues().size()));
}
BENCHMARK(BM_ParseManyValues)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseLongContinuedValue(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegFile::Parse(LongContinuedValue()));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(LongContinuedValue().size()));
}
BENCHMARK(BM_ParseLongContinuedValue)->Unit(benchmark::kMillisecond)->UseRealTime();

// The window's start with this file as its store.
void BM_LoadSettingsFileManyKeys(benchmark::State& state) {
    for (auto _ : state) {
        RegFile file;
        benchmark::DoNotOptimize(LoadSettingsFile(ManyKeysPath(), file).ok());
    }
}
BENCHMARK(BM_LoadSettingsFileManyKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

// What cat does with the same file: read() through a 128 KiB buffer, the data going nowhere.
void BM_ReadLikeCat(benchmark::State& state) {
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        const int fd = open(ManyKeysPath().c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}
BENCHMARK(BM_ReadLikeCat)->Unit(benchmark::kMillisecond)->UseRealTime();

// `cat FILE > /dev/null` itself (see cat_reference.h).
void BM_CatToDevNull(benchmark::State& state) {
    bench::TimeCatToDevNull(state, ManyKeysPath());
}
BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
    CheckFixtures();
    benchmark::AddCustomContext("load average at start", LoadAverage());
    benchmark::AddCustomContext(
        "reference", "cat " + ManyKeysPath() + " > /dev/null (cat started directly, no shell)");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    std::fprintf(stderr, "load average at end: %s\n", LoadAverage().c_str());
    benchmark::Shutdown();
    std::remove(ManyKeysPath().c_str());  // the fixture is not left in the temporary folder
    return 0;
}
