#include "io/end_of_data.h"

#include <cstring>

namespace ostravex {

std::size_t EndOfData(std::span<const std::uint8_t> bytes, std::uint8_t filler) {
    // Eight bytes at a time from the end while they are all filler, then byte by byte.
    std::size_t end = bytes.size();
    std::uint64_t pattern = 0;
    std::memset(&pattern, filler, sizeof pattern);
    while (end >= sizeof pattern) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + end - sizeof word, sizeof word);
        if (word != pattern) {
            break;
        }
        end -= sizeof word;
    }
    while (end > 0 && bytes[end - 1] == filler) {
        --end;
    }
    return end;
}

}  // namespace ostravex
