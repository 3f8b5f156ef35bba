#include "io/same_contents.h"

#include <cstring>
#include <vector>

namespace ostravex {
namespace {

constexpr std::size_t kCompareBlock = 1u << 20;

}  // namespace

Status SameContents(const File& file, const std::string& path, bool& same) {
    same = false;
    File other;
    if (Status status = other.openShared(path); !status) {
        return status;
    }
    std::uint64_t size = 0;
    if (Status status = file.size(size); !status) {
        return status;
    }
    if (size != other.sizeAtOpen()) {
        return Status::success();
    }
    std::vector<std::uint8_t> ours(
        static_cast<std::size_t>(std::min<std::uint64_t>(kCompareBlock, size)));
    std::vector<std::uint8_t> theirs(ours.size());
    for (std::uint64_t offset = 0; offset < size;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(ours.size(), size - offset));
        std::size_t gotOurs = 0;
        std::size_t gotTheirs = 0;
        if (Status status = file.readAt(offset, std::span(ours).first(want), gotOurs); !status) {
            return status;
        }
        if (Status status = other.readAt(offset, std::span(theirs).first(want), gotTheirs);
            !status) {
            return status;
        }
        if (gotOurs != want || gotTheirs != want ||
            std::memcmp(ours.data(), theirs.data(), want) != 0) {
            return Status::success();
        }
        offset += want;
    }
    same = true;
    return Status::success();
}

}  // namespace ostravex
