/* The least an in-place NDS trim can do per file, for comparison with ostravex-cli: open,
 * learn the size, read the header, read the bytes after the used area (where a
 * download-play block would stand), cut, close. No checks beyond what the cut needs.
 *
 * Built with -DSAFETY_CALLS it also takes an exclusive lock on the open file before it
 * learns the size (two runs never change one rom at once, and the size is the one the
 * other run left): open, lock, size, header, block, cut, close. That is the least a trim
 * with that guarantee can cost. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const int fd = open(argv[i], O_RDWR | O_CLOEXEC);
        struct stat info;
        unsigned char header[0x214];
        unsigned char after[136];
        if (fd < 0
#ifdef SAFETY_CALLS
            || flock(fd, LOCK_EX | LOCK_NB) != 0
#endif
            || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
            pread(fd, header, sizeof header, 0) < 0x84) {
            ++failures;
            if (fd >= 0) {
                close(fd);
            }
            continue;
        }
        const uint32_t used = (uint32_t)header[0x80] | (uint32_t)header[0x81] << 8 |
                              (uint32_t)header[0x82] << 16 | (uint32_t)header[0x83] << 24;
        if ((off_t)used < info.st_size) {
            if (pread(fd, after, sizeof after, used) < 0 || ftruncate(fd, used) != 0) {
                ++failures;
            }
        }
        if (close(fd) != 0) {
            ++failures;
        }
    }
    printf("%d files, %d failures\n", argc - 1, failures);
    return failures != 0;
}
