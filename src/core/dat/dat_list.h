#pragma once

#include <string>
#include <vector>

#include "dat/dat_file.h"

namespace ostravex {

// True when the two DATs hold the same: the same header name and version and the same roms
// in the same order. One DAT reached twice (named twice, through a folder and by itself, or
// unpacked beside its zip) is such a pair, whatever its line ends or encoding.
bool IsSameDat(const DatFile& a, const DatFile& b);

// Gives each DAT whose header name another of `dats` shares a label that tells them apart:
// "NAME, VERSION", and the file's name after that when the version is shared too. A DAT
// without a header name is labelled by its file's name.
void LabelDats(std::vector<DatFile>& dats);

// The line that reports the roms a DAT leaves out, or "" when it leaves none out:
// "WARNING: SOURCE: N entries left out (first: GAME: REASON)".
std::string LeftOutWarning(const DatFile& dat);

}  // namespace ostravex
