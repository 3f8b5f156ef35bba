#include "io/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "io/fill_range.h"
#include "io/paths.h"
#include "io/temporary_files.h"

namespace ostravex {
namespace {

constexpr const char* kChangedSinceRead = "the file changed since it was read";

// How long the size of a rom learnt under its lock is relied on for its cut.
constexpr std::chrono::milliseconds kSizeTrustedFor{10};

Status ChangedSinceRead() {
    return Status::failure(kChangedSinceRead, ESTALE);
}

// Errors with which link() says that the file system has no hard links (FAT and exFAT
// memory cards, some network shares), or none to spare.
bool HasNoHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK ||
           error == EXDEV;
}

// Gives the open file `file` the second name `to`. Through /proc the name goes to exactly
// the file this process holds, whatever `path` leads to by now; without /proc, `path`
// (checked to lead to that file just before) is linked.
Status LinkOpenFile(const File& file, const std::string& path, const std::string& to) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.descriptor());
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return Status::success();
    }
    if (errno != ENOENT || access("/proc/self/fd", F_OK) == 0) {
        return Status::fromErrno(errno);
    }
    if (link(path.c_str(), to.c_str()) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

// The path with its symbolic links resolved, so that a replacement lands on the file a
// link names and not on the link.
Status ResolvedPath(const std::string& path, std::string& resolved) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) {
        return Status::fromErrno(errno);
    }
    resolved = real.get();
    return Status::success();
}

bool SameBytes(const File& original, const std::string& path) {
    File other;
    std::uint64_t size = 0;
    std::uint64_t otherSize = 0;
    if (!other.openShared(path) || !original.size(size) || !other.size(otherSize) ||
        size != otherSize) {
        return false;
    }
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::uint8_t> mine(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size)));
    std::vector<std::uint8_t> theirs(mine.size());
    for (std::uint64_t offset = 0; offset < size;) {
        std::size_t got = 0;
        std::size_t otherGot = 0;
        if (!original.readAt(offset, mine, got) || !other.readAt(offset, theirs, otherGot) ||
            got != otherGot || got == 0 ||
            !std::equal(mine.begin(), mine.begin() + static_cast<std::ptrdiff_t>(got),
                        theirs.begin())) {
            return false;
        }
        offset += got;
    }
    return true;
}

// A backup name already taken by the backup of `original`: left by a run killed after it
// kept the original and before the trimmed image took the original's name. A symbolic link
// is never taken for one.
bool IsBackupOf(const std::string& backupPath, const File& original) {
    struct stat info {};
    if (lstat(backupPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (File::Identity{info.st_dev, info.st_ino} == original.identity()) {
        return true;
    }
    return SameBytes(original, backupPath);
}

// Gives `file` the owner, group and permission bits of the file it replaces.
Status TakeOwnerAndMode(File& file, uid_t owner, gid_t group, unsigned permissions) {
    file.setOwnerWherePermitted(owner, group);
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    return file.setPermissions(permissions);
}

}  // namespace

bool IsChangedSinceRead(const Status& status) {
    return !status && status.code() == ESTALE && status.reason() == kChangedSinceRead;
}

Status BackupNameUsable(const std::string& backupPath, const File& original,
                        const std::string& path) {
    if (Status free = NameIsFree(backupPath); free || free.code() != EEXIST) {
        return free;
    }
    if (!IsBackupOf(backupPath, original)) {
        return Status::fromErrno(EEXIST);
    }
    return RegularFileIdentity(path) == original.identity() ? Status::success()
                                                            : HeldByAnotherRun();
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::removeStaleTemporariesOnce(const std::string& folder) {
    if (m_cleanedFolders.insert(folder).second) {
        RemoveStaleTemporaries(folder);
    }
}

Status OutputFile::openInPlace(const std::string& path) {
    discard();
    m_inPlace = true;
    m_finalPath = path;
    if (Status status = m_file.openForUpdate(path); !status) {
        return status;
    }
    removeStaleTemporariesOnce(FolderPart(path));
    return Status::success();
}

void OutputFile::adoptInPlace(File&& file, const std::string& path) {
    discard();
    m_inPlace = true;
    m_finalPath = path;
    m_file = std::move(file);
    removeStaleTemporariesOnce(FolderPart(path));
}

Status OutputFile::cutInPlace(std::uint64_t length, bool sizeMayHaveChanged) {
    // Other runs take the same lock, so the size learnt once it was held is still the
    // size: a cut right after the examination needs no second question. A program that
    // writes without the lock could change the file meanwhile; the longer the wait, the
    // likelier, so after the host's own code ran, or a long examination, the size is asked
    // again right before the cut: ftruncate would fill a file that shrank meanwhile with
    // zeros up to `length`.
    std::uint64_t size = m_file.sizeAtOpen();
    if (sizeMayHaveChanged || m_file.sizeAge() > kSizeTrustedFor) {
        if (Status status = m_file.size(size); !status) {
            return status;
        }
    }
    if (size != m_file.sizeAtOpen() || length > size) {
        return ChangedSinceRead();
    }
    return length == size ? Status::success() : m_file.setLength(length);
}

Status OutputFile::padInPlace(std::uint64_t from, std::uint64_t to, std::uint8_t filler,
                              const CopyProgress& progress) {
    if (to <= from) {
        return Status::success();
    }
    m_paddedFrom = from;
    return FillRange(
        m_file, from, to, filler, progress ? progress : [](std::uint64_t) {});
}

Status OutputFile::cutBackPadding() {
    const std::uint64_t from = *m_paddedFrom;
    m_paddedFrom.reset();
    if (Status status = m_file.setLength(from); !status) {
        return status;
    }
    return m_file.sync();
}

Status OutputFile::createNew(const std::string& path, bool mayReplace) {
    discard();
    m_inPlace = false;
    m_mayReplace = mayReplace;
    m_finalPath = path;
    m_backupPath.clear();
    m_backup = Backup::None;
    m_original = nullptr;
    const std::string folder = FolderPart(path);
    removeStaleTemporariesOnce(folder);
    return CreateTemporary(folder, m_file, m_temporaryLock, m_temporaryPath);
}

Status OutputFile::createReplacement(const std::string& path, const File& original) {
    discard();
    std::string resolved;
    if (Status status = ResolvedPath(path, resolved); !status) {
        return status;
    }
    if (Status status = createNew(resolved, /*mayReplace=*/true); !status) {
        return status;
    }
    m_original = &original;
    return Status::success();
}

void OutputFile::keepOriginalAs(const std::string& backupPath) {
    m_backupPath = backupPath;
}

Status OutputFile::runHook(OutputStep step) {
    m_failedStep = step;
    return m_stepHook ? m_stepHook(step) : Status::success();
}

Status OutputFile::commit(const CopyProgress& progress) {
    if (Status status = closeComplete(); !status) {
        removeTemporary();
        return status;
    }
    if (m_inPlace) {
        return Status::success();
    }
    if (Status status = checkOriginal(); !status) {
        removeTemporary();
        return status;
    }
    if (Status status = keepOriginal(progress ? progress : [](std::uint64_t) {}); !status) {
        removeTemporary();
        return status;
    }
    if (Status status = replaceFinal(); !status) {
        removeTemporary();
        giveOriginalItsNameBack();
        return status;
    }
    NoteTemporaryDone(m_temporaryPath);
    m_temporaryPath.clear();
    m_temporaryLock.release();
    m_backup = Backup::None;
    m_original = nullptr;
    return Status::success();
}

Status OutputFile::closeComplete() {
    Status status = runHook(OutputStep::Close);
    if (m_inPlace && m_paddedFrom) {
        // The padding is on the disk before the entry's line says it is done; a growth
        // that cannot be made durable is taken back.
        if (status) {
            status = m_file.sync();
        }
        if (!status) {
            (void)cutBackPadding();
        }
        m_paddedFrom.reset();
    }
    if (status && !m_inPlace) {
        struct stat replaced {};
        if (m_original != nullptr) {
            status = TakeOwnerAndMode(m_file, m_original->ownerAtOpen(), m_original->groupAtOpen(),
                                      m_original->permissionsAtOpen());
        } else if (m_mayReplace && stat(m_finalPath.c_str(), &replaced) == 0 &&
                   S_ISREG(replaced.st_mode)) {
            status = TakeOwnerAndMode(m_file, replaced.st_uid, replaced.st_gid,
                                      replaced.st_mode & 07777);
        }
    }
    const Status closed = m_file.closeChecked();
    return status ? closed : status;
}

// Right before the output takes its name, the original must still be the file at the
// final path, of the size it was read at: otherwise the output was made from bytes that
// are no longer there, or would replace a file nobody read.
Status OutputFile::checkOriginal() {
    if (m_original == nullptr) {
        return Status::success();
    }
    if (Status status = runHook(OutputStep::CheckOriginal); !status) {
        return status;
    }
    std::uint64_t size = 0;
    if (Status status = m_original->size(size); !status) {
        return status;
    }
    if (size != m_original->sizeAtOpen() ||
        RegularFileIdentity(m_finalPath) != m_original->identity()) {
        return ChangedSinceRead();
    }
    return Status::success();
}

// The original gets its second name before the output takes the first, so that it has a
// name at every moment. Without hard links the backup is a complete copy, renamed into
// place before the original is replaced: the final path is never empty.
Status OutputFile::keepOriginal(const CopyProgress& progress) {
    if (m_backupPath.empty() || m_original == nullptr) {
        return Status::success();
    }
    Status status = runHook(OutputStep::KeepOriginal);
    if (status) {
        if (Status free = NameIsFree(m_backupPath); !free) {
            if (free.code() == EEXIST && IsBackupOf(m_backupPath, *m_original)) {
                m_backup = Backup::FoundInPlace;
                return Status::success();
            }
            return free;
        }
        status = LinkOpenFile(*m_original, m_finalPath, m_backupPath);
    }
    if (status) {
        m_backup = Backup::Linked;
        return status;
    }
    if (!HasNoHardLinks(status.code())) {
        return status;
    }
    return copyOriginalToBackup(progress);
}

Status OutputFile::copyOriginalToBackup(const CopyProgress& progress) {
    File copy;
    TemporaryLock copyLock;
    std::string copyPath;
    if (Status status = CreateTemporary(FolderPart(m_backupPath), copy, copyLock, copyPath);
        !status) {
        return status;
    }
    const CopyOutcome outcome =
        CopyFileStart(*m_original, copy, m_original->sizeAtOpen(), progress);
    Status status =
        outcome.ok() ? TakeOwnerAndMode(copy, m_original->ownerAtOpen(), m_original->groupAtOpen(),
                                        m_original->permissionsAtOpen())
                     : outcome.status;
    const Status closed = copy.closeChecked();
    if (status) {
        status = closed;
    }
    if (status) {
        status = RenameNoReplace(copyPath, m_backupPath);
    }
    if (!status) {
        unlink(copyPath.c_str());
    }
    NoteTemporaryDone(copyPath);
    if (!status) {
        return status;
    }
    m_backup = Backup::Copied;
    return status;
}

Status OutputFile::replaceFinal() {
    Status status = runHook(OutputStep::Replace);
    if (!status) {
        return status;
    }
    const bool replaces = m_mayReplace || m_original != nullptr;
    return replaces ? RenameReplacing(m_temporaryPath, m_finalPath)
                    : RenameNoReplace(m_temporaryPath, m_finalPath);
}

void OutputFile::giveOriginalItsNameBack() {
    switch (m_backup) {
        case Backup::None:
        case Backup::FoundInPlace:  // there before this run; it stays
            break;
        case Backup::Linked:
        case Backup::Copied:
            // The original still has its first name; the backup this commit made goes.
            unlink(m_backupPath.c_str());
            break;
    }
    m_backup = Backup::None;
}

void OutputFile::removeTemporary() {
    if (!m_temporaryPath.empty()) {
        unlink(m_temporaryPath.c_str());
        NoteTemporaryDone(m_temporaryPath);
        m_temporaryPath.clear();
    }
    m_temporaryLock.release();
}

void OutputFile::discard() {
    if (m_inPlace && m_paddedFrom && m_file.isOpen()) {
        // Nothing of a growth that is not kept stays: the file is its original again.
        (void)cutBackPadding();
    }
    m_paddedFrom.reset();
    m_file.close();
    removeTemporary();
    m_original = nullptr;
    m_backup = Backup::None;
}

}  // namespace ostravex
