// The settings loader reads any file in time linear in its size, refuses one above its size
// limit, and gives back every value it read. An input is expanded into a settings file
// (below), loaded as the window loads its store, written and read again; both readings must
// be equal.
//
// Expansion: the byte 0x01 followed by a 16-bit count (low byte first) repeats the piece up
// to the next 0x02 that many times, each 0x03 in it becoming the repetition's number. So a
// seed of a few bytes stands for a file of 28,000 keys, 60,000 values or 20,000 continuation
// lines, up to the loader's size limit: a reader that slows down with the number of keys
// runs into the time limit set below. (The reg_file target reads small inputs as they are,
// many times faster.)
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings/reg_file.h"
#include "settings/settings_file.h"

namespace {

constexpr char kRepeat = '\x01';
constexpr char kEndOfPiece = '\x02';
constexpr char kNumber = '\x03';
// Enough to show a file larger than the loader accepts.
constexpr std::size_t kMaxExpanded = ostravex::kMaxSettingsFileBytes + 1024;

std::string Expand(std::string_view input) {
    std::string out;
    std::size_t i = 0;
    while (i < input.size() && out.size() <= kMaxExpanded) {
        if (input[i] != kRepeat || i + 2 >= input.size()) {
            out += input[i++];
            continue;
        }
        const unsigned count = static_cast<unsigned char>(input[i + 1]) |
                               static_cast<unsigned char>(input[i + 2]) << 8;
        const std::size_t start = i + 3;
        const std::size_t end = std::min(input.find(kEndOfPiece, start), input.size());
        const std::string_view piece = input.substr(start, end - start);
        for (unsigned n = 0; n < count && out.size() <= kMaxExpanded; ++n) {
            for (const char c : piece) {
                if (c == kNumber) {
                    out += std::to_string(n);
                } else {
                    out += c;
                }
            }
        }
        i = end + 1;
    }
    return out;
}

void CheckLoadWriteRead(std::string_view content) {
    static ostravex::fuzz::MemoryFile file;
    const std::string& path =
        file.hold(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    ostravex::RegFile loaded;
    const bool read = ostravex::LoadSettingsFile(path, loaded).ok();
    ostravex::fuzz::Require(read == (content.size() <= ostravex::kMaxSettingsFileBytes),
                            "a file was refused below the size limit or read above it");
    if (!read) {
        ostravex::fuzz::Require(loaded == ostravex::RegFile(), "a refused file left values");
        return;
    }
    ostravex::fuzz::Require(ostravex::RegFile::Parse(loaded.Serialize()) == loaded,
                            "a value changed on writing and reading back");
}

}  // namespace

// With the sanitizers on, the seeds of the largest size read (28,000 keys, 60,000 values, a
// 500,000-character name continued over 20,000 lines) load in under a second when the reader
// is linear, and in 44 s, 170 s and more than 10 minutes when it is not: such an input fails
// after ten seconds. Given before the command line's options, so that those still decide.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> arguments;
    static char timeout[] = "-timeout=10";
    arguments.assign(*argv, *argv + *argc);
    arguments.insert(arguments.begin() + 1, timeout);
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckLoadWriteRead(Expand({reinterpret_cast<const char*>(data), size}));
    return 0;
}
