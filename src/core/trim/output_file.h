#pragma once

#include <string>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// The file that receives one entry's result. In place, it is the rom file itself. A new
// output is written under a temporary name in the folder of its final path and renamed
// into place only once it is complete, so a failed write never leaves a partial file
// where a good one stood.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    Status openInPlace(const std::string& path);
    // `mayReplace`: whether a file already at `path` may be replaced when committing.
    Status createNew(const std::string& path, bool mayReplace);

    bool isOpen() const { return m_file.isOpen(); }
    bool inPlace() const { return m_inPlace; }
    File& file() { return m_file; }

    // Puts a new output at its final path (an in-place output is only closed).
    Status commit();
    // Drops a new output that is not complete; an in-place output is only closed.
    void discard();

  private:
    File m_file;
    bool m_inPlace = false;
    bool m_mayReplace = false;
    std::string m_finalPath;
    std::string m_temporaryPath;
};

}  // namespace ostravex
