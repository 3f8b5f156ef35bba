/* The least an in-place NDS restore can do per file, for comparison with ostravex-cli
 * --restore: open, lock, size, header, then the filler (0xFF) appended at the end of the
 * file in 1 MiB blocks with pwrite up to the cartridge size the header gives (128 KiB
 * shifted left by byte 0x14), fsync, close. The original bytes are never read or moved. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBlock = 1 << 20 };

int main(int argc, char** argv) {
    static unsigned char filler[kBlock];
    memset(filler, 0xFF, sizeof filler);
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const int fd = open(argv[i], O_RDWR | O_CLOEXEC);
        struct stat info;
        unsigned char header[0x200];
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &info) != 0 ||
            pread(fd, header, sizeof header, 0) != (ssize_t)sizeof header || header[0x14] > 12) {
            ++failures;
            if (fd >= 0) {
                close(fd);
            }
            continue;
        }
        const off_t full = (off_t)(128 * 1024) << header[0x14];
        for (off_t at = info.st_size; at < full;) {
            const size_t length = full - at < kBlock ? (size_t)(full - at) : kBlock;
            const ssize_t written = pwrite(fd, filler, length, at);
            if (written <= 0) {
                ++failures;
                break;
            }
            at += written;
        }
        if (fsync(fd) != 0 || close(fd) != 0) {
            ++failures;
        }
    }
    if (failures) {
        fprintf(stderr, "%d files not restored\n", failures);
    }
    return failures ? 1 : 0;
}
