#include "io/output_file.h"

#include <unistd.h>

#include <cerrno>

#include "io/paths.h"
#include "io/temporary_files.h"

namespace ostravex {
namespace {

// Errors with which link() says that the file system has no hard links (FAT and exFAT
// memory cards, some network shares).
bool HasNoHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK ||
           error == EXDEV;
}

Status Link(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
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

void OutputFile::adoptInPlace(File&& file) {
    discard();
    m_inPlace = true;
    m_file = std::move(file);
}

Status OutputFile::createNew(const std::string& path, bool mayReplace) {
    discard();
    m_inPlace = false;
    m_mayReplace = mayReplace;
    m_finalPath = path;
    m_backupPath.clear();
    m_backup = Backup::None;
    const std::string folder = FolderPart(path);
    if (m_cleanedFolders.insert(folder).second) {
        RemoveStaleTemporaries(folder);
    }
    static unsigned attempts = 0;
    for (int tries = 0; tries < 100; ++tries) {
        const std::string candidate = TemporaryPath(folder, getpid(), ++attempts);
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

void OutputFile::keepOriginalAs(const std::string& backupPath, unsigned permissions) {
    m_backupPath = backupPath;
    m_permissions = permissions;
}

Status OutputFile::runHook(OutputStep step) {
    m_failedStep = step;
    return m_stepHook ? m_stepHook(step) : Status::success();
}

Status OutputFile::commit() {
    if (Status status = closeComplete(); !status) {
        removeTemporary();
        return status;
    }
    if (m_inPlace) {
        return Status::success();
    }
    if (Status status = keepOriginal(); !status) {
        removeTemporary();
        return status;
    }
    if (Status status = replaceFinal(); !status) {
        removeTemporary();
        giveOriginalItsNameBack();
        return status;
    }
    m_temporaryPath.clear();
    m_backup = Backup::None;
    return Status::success();
}

Status OutputFile::closeComplete() {
    Status status = runHook(OutputStep::Close);
    if (status && !m_inPlace && !m_backupPath.empty()) {
        status = m_file.setPermissions(m_permissions);
    }
    const Status closed = m_file.closeChecked();
    return status ? closed : status;
}

// The original gets its second name before the output takes the first, so that it has a
// name at every moment. Without hard links it is renamed, only now that the output is
// complete: the gap in which the final path is empty is two renames long.
Status OutputFile::keepOriginal() {
    if (m_backupPath.empty()) {
        return Status::success();
    }
    Status status = runHook(OutputStep::KeepOriginal);
    if (status) {
        status = Link(m_finalPath, m_backupPath);
    }
    if (status) {
        m_backup = Backup::Linked;
        return status;
    }
    if (!HasNoHardLinks(status.code())) {
        return status;
    }
    status = RenameNoReplace(m_finalPath, m_backupPath);
    if (status) {
        m_backup = Backup::Renamed;
    }
    return status;
}

Status OutputFile::replaceFinal() {
    Status status = runHook(OutputStep::Replace);
    if (!status) {
        return status;
    }
    // With a backup made, the output replaces the original's first name (or fills the
    // name the rename freed).
    const bool replaces = m_mayReplace || m_backup == Backup::Linked;
    return replaces ? RenameReplacing(m_temporaryPath, m_finalPath)
                    : RenameNoReplace(m_temporaryPath, m_finalPath);
}

void OutputFile::giveOriginalItsNameBack() {
    switch (m_backup) {
        case Backup::None:
            break;
        case Backup::Linked:
            // The original still has its first name; the second one goes.
            unlink(m_backupPath.c_str());
            break;
        case Backup::Renamed:
            (void)RenameNoReplace(m_backupPath, m_finalPath);
            break;
    }
    m_backup = Backup::None;
}

void OutputFile::removeTemporary() {
    if (!m_temporaryPath.empty()) {
        unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

void OutputFile::discard() {
    m_file.close();
    removeTemporary();
}

}  // namespace ostravex
