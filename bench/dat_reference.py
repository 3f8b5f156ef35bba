"""The C reference the DAT benchmarks compare against: bench/dat_hash_reference.c, CRC-32 and
SHA-1 of each file with the zlib and the libcrypto the program uses, built into the scratch
folder. Its line for a file is "CRC SHA1  PATH"."""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def build_dat_hash_reference(folder):
    """Compiles the reference into `folder`; returns its path."""
    reference = os.path.join(folder, "dat_hash_reference")
    subprocess.run(["cc", "-O2", "-o", reference, os.path.join(HERE, "dat_hash_reference.c"),
                    "-lz", "-lcrypto"], check=True)
    return reference


def reference_sha1(reference, path):
    """The SHA-1 the reference gives the file."""
    line = subprocess.run([reference, path], capture_output=True, text=True,
                          check=True).stdout
    return line.split()[1]
