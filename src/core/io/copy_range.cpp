#include "io/copy_range.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace ostravex {
namespace {

// Large enough that the per-chunk work (progress, pending events) costs nothing, small
// enough that the window stays responsive and progress moves.
constexpr std::uint64_t kKernelChunk = 8u << 20;
constexpr std::size_t kBufferChunk = 1u << 20;

// copy_file_range refuses some pairs (other file systems, old kernels); those copy through
// a buffer instead.
bool NeedsBufferedCopy(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

CopyOutcome BufferedCopy(const File& from, File& to, std::uint64_t start, std::uint64_t length,
                         const CopyProgress& progress) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(kBufferChunk, length)));
    for (std::uint64_t copied = start; copied < length;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - copied));
        std::size_t got = 0;
        if (Status status = from.readAt(copied, std::span(buffer.data(), want), got); !status) {
            return {CopyOutcome::Kind::ReadFailed, status};
        }
        if (got < want) {
            return {CopyOutcome::Kind::SourceEnded, Status::failure("the source ended early")};
        }
        if (Status status = to.writeAt(copied, std::span(buffer.data(), got)); !status) {
            return {CopyOutcome::Kind::WriteFailed, status};
        }
        copied += got;
        progress(copied);
    }
    return {};
}

}  // namespace

CopyOutcome CopyFileStart(const File& from, File& to, std::uint64_t length,
                          const CopyProgress& progress) {
    std::uint64_t copied = 0;
    while (copied < length) {
        loff_t inOffset = static_cast<loff_t>(copied);
        loff_t outOffset = static_cast<loff_t>(copied);
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kKernelChunk, length - copied));
        const ssize_t n =
            copy_file_range(from.descriptor(), &inOffset, to.descriptor(), &outOffset, want, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (NeedsBufferedCopy(errno)) {
                return BufferedCopy(from, to, copied, length, progress);
            }
            return {CopyOutcome::Kind::WriteFailed, Status::fromErrno(errno)};
        }
        if (n == 0) {
            return {CopyOutcome::Kind::SourceEnded, Status::failure("the source ended early")};
        }
        copied += static_cast<std::uint64_t>(n);
        progress(copied);
    }
    return {};
}

}  // namespace ostravex
