/* The least an in-place NDS trim can do per file, for comparison with ostravex-cli: open,
 * learn the size, read the header, read the bytes after the used area (where a
 * download-play block would stand), cut, close. No checks beyond what the cut needs.
 *
 * Built with -DSAFETY_CALLS it also makes the three calls ostravex-cli keeps for safety:
 * a stat of each path given (to tell a file from a folder before anything is opened), an
 * exclusive lock on the open file (two runs never change one rom at once) and a fresh size
 * right before the cut (a file that shrank since it was read is not grown back). That is
 * the least a trim with those guarantees can cost. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
#ifdef SAFETY_CALLS
        struct stat listed;
        if (stat(argv[i], &listed) != 0 || !S_ISREG(listed.st_mode)) {
            ++failures;
            continue;
        }
#endif
        const int fd = open(argv[i], O_RDWR | O_CLOEXEC);
        struct stat info;
        unsigned char header[0x214];
        unsigned char after[136];
        if (fd < 0 || fstat(fd, &info) != 0 || pread(fd, header, sizeof header, 0) < 0x84) {
            ++failures;
            if (fd >= 0) {
                close(fd);
            }
            continue;
        }
#ifdef SAFETY_CALLS
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ++failures;
            close(fd);
            continue;
        }
#endif
        const uint32_t used = (uint32_t)header[0x80] | (uint32_t)header[0x81] << 8 |
                              (uint32_t)header[0x82] << 16 | (uint32_t)header[0x83] << 24;
        if ((off_t)used < info.st_size) {
            if (pread(fd, after, sizeof after, used) < 0) {
                ++failures;
            } else {
#ifdef SAFETY_CALLS
                struct stat now;
                if (fstat(fd, &now) != 0 || now.st_size != info.st_size) {
                    ++failures;
                } else
#endif
                    if (ftruncate(fd, used) != 0) {
                    ++failures;
                }
            }
        }
        if (close(fd) != 0) {
            ++failures;
        }
    }
    printf("%d files, %d failures\n", argc - 1, failures);
    return failures != 0;
}
