/* The least a DAT check of whole files can do, for comparison with ostravex-cli --dat: for
 * each file given, read it in blocks of 1 MiB and feed every block to zlib's CRC-32 and to
 * libcrypto's SHA-1 (through EVP, as ostravex-cli does), then print both as sha1sum prints
 * its line. Nothing is matched: this is the cost of the two checksums alone, with the
 * libraries the program uses.
 *
 * "-p SIZE FILLER" before a file hashes it as if it went on with the byte FILLER up to SIZE
 * bytes, the checksums a trimmed dump is confirmed by (the filler is hashed, not read).
 *
 *     cc -O2 -o dat_hash_reference dat_hash_reference.c -lz -lcrypto
 *     dat_hash_reference FILE... | -p SIZE FILLER FILE ... */
#include <fcntl.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

enum { kBlock = 1 << 20 };

static int HashFile(const char* path, unsigned long long paddedSize, int filler, const EVP_MD* sha1,
                    EVP_MD_CTX* context, unsigned char* buffer) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    uLong crc = crc32_z(0, Z_NULL, 0);
    if (EVP_DigestInit_ex(context, sha1, NULL) != 1) {
        close(fd);
        return -1;
    }
    unsigned long long size = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer, kBlock);
        if (got < 0) {
            close(fd);
            return -1;
        }
        if (got == 0) {
            break;
        }
        crc = crc32_z(crc, buffer, (z_size_t)got);
        EVP_DigestUpdate(context, buffer, (size_t)got);
        size += (unsigned long long)got;
    }
    close(fd);
    if (size < paddedSize) {
        memset(buffer, filler, kBlock);
        while (size < paddedSize) {
            const size_t piece =
                paddedSize - size < kBlock ? (size_t)(paddedSize - size) : (size_t)kBlock;
            crc = crc32_z(crc, buffer, (z_size_t)piece);
            EVP_DigestUpdate(context, buffer, piece);
            size += piece;
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    printf("%08lx ", crc);
    for (unsigned int i = 0; i < length; ++i) {
        printf("%02x", digest[i]);
    }
    printf("  %s\n", path);
    return 0;
}

int main(int argc, char** argv) {
    EVP_MD* sha1 = EVP_MD_fetch(NULL, "SHA1", NULL);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    unsigned char* buffer = malloc(kBlock);
    if (sha1 == NULL || context == NULL || buffer == NULL) {
        fputs("dat_hash_reference: no SHA-1\n", stderr);
        return 2;
    }
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        unsigned long long paddedSize = 0;
        int filler = 0;
        if (strcmp(argv[i], "-p") == 0 && i + 3 < argc) {
            paddedSize = strtoull(argv[i + 1], NULL, 10);
            filler = (int)strtol(argv[i + 2], NULL, 0);
            i += 3;
        }
        if (HashFile(argv[i], paddedSize, filler, sha1, context, buffer) != 0) {
            perror(argv[i]);
            ++failures;
        }
    }
    free(buffer);
    EVP_MD_CTX_free(context);
    EVP_MD_free(sha1);
    return failures == 0 ? 0 : 1;
}
