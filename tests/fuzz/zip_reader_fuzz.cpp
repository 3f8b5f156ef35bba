// Reads an arbitrary file as a zip archive: the directory, every name, every member's data.
#include "archive/zip_reader.h"
#include "fuzz_support.h"

namespace {

// Members claiming more (up to the reader's own 1 GiB bound, which is refused before any
// allocation) are not decompressed here: large buffers for every input make each run slow
// without reaching new code.
constexpr std::uint32_t kLargestMemberTried = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ostravex::fuzz::MemoryFile file;
    ostravex::TKAZip zip;
    if (!zip.Open(file.hold(data, size)).ok() || !zip.IsZipFile()) {
        return 0;
    }
    for (const ostravex::TKAZipEntriesEntry& entry : zip.Entries()) {
        ostravex::fuzz::Require(
            ostravex::fuzz::IsValidUtf8(ostravex::TKAZip::GetUnicodeFilename(entry)),
            "a member name is not valid UTF-8");
        const std::uint32_t claimed = entry.Central.UncompressedSize;
        if (claimed > kLargestMemberTried && claimed <= ostravex::TKAZip::kMaxMemberSize) {
            continue;
        }
        ostravex::ByteBuffer target(3, 0xAB);
        const ostravex::Status status = zip.SaveToStream(entry, target);
        const std::size_t expected = status.ok() ? 3 + entry.Central.UncompressedSize : 3;
        ostravex::fuzz::Require(target.size() == expected,
                                "the member's bytes do not match its stated size");
        ostravex::fuzz::Require(target[0] == 0xAB && target[1] == 0xAB && target[2] == 0xAB,
                                "bytes before the member were changed");
    }
    return 0;
}
