#include "trim/output_file.h"

#include <unistd.h>

#include <cerrno>

#include "io/paths.h"

namespace ostravex {
namespace {

// A short, hidden name beside the final file: short so that it fits where the final name
// barely does, unique per process and attempt.
std::string TemporaryPathBeside(const std::string& finalPath, unsigned attempt) {
    return FolderPart(finalPath) + ".ostravex-" + std::to_string(getpid()) + "-" +
           std::to_string(attempt) + ".tmp";
}

}  // namespace

OutputFile::~OutputFile() {
    discard();
}

Status OutputFile::openInPlace(const std::string& path) {
    discard();
    m_inPlace = true;
    m_finalPath = path;
    return m_file.openForUpdate(path);
}

Status OutputFile::createNew(const std::string& path, bool mayReplace) {
    discard();
    m_inPlace = false;
    m_mayReplace = mayReplace;
    m_finalPath = path;
    static unsigned attempts = 0;
    for (int tries = 0; tries < 100; ++tries) {
        const std::string candidate = TemporaryPathBeside(path, ++attempts);
        Status status = m_file.createNew(candidate);
        if (status) {
            m_temporaryPath = candidate;
            return status;
        }
        if (status.code() != EEXIST) {
            return status;
        }
    }
    return Status::fromErrno(EEXIST);
}

Status OutputFile::commit() {
    m_file.close();
    if (m_inPlace || m_temporaryPath.empty()) {
        return Status::success();
    }
    Status status = m_mayReplace ? RenameReplacing(m_temporaryPath, m_finalPath)
                                 : RenameNoReplace(m_temporaryPath, m_finalPath);
    if (!status) {
        unlink(m_temporaryPath.c_str());
    }
    m_temporaryPath.clear();
    return status;
}

void OutputFile::discard() {
    m_file.close();
    if (!m_temporaryPath.empty()) {
        unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

}  // namespace ostravex
