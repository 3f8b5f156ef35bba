#include "support/exfat_mount.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>

namespace ostravex::testing {
namespace {

// The system tools live in sbin folders, which a test's PATH may lack.
std::string FindTool(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        const std::string path = folder + name;
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// Runs a command line; true when it exits with 0. Its standard output, without the final
// line end, goes to `output`.
bool Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::string text;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr) {
        text += chunk.data();
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    if (output != nullptr) {
        *output = text;
    }
    return pclose(pipe) == 0;
}

}  // namespace

void ExfatMount::fail(std::string reason) {
    m_unavailable = std::move(reason);
}

ExfatMount::ExfatMount(std::uint64_t bytes) {
    const std::string mkfs = FindTool("mkfs.exfat");
    const std::string mountTool = FindTool("mount.exfat-fuse");
    const std::string losetup = FindTool("losetup");
    if (mkfs.empty() || mountTool.empty() || losetup.empty()) {
        fail("exFAT tools missing (exfatprogs, exfat-fuse, losetup)");
        return;
    }
    if (geteuid() != 0) {
        fail("mounting an exFAT image needs root");
        return;
    }
    const int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
        fail("/dev/fuse is not usable");
        return;
    }
    close(fuse);
    const std::string image = m_dir.file("card.img");
    const std::string mountPoint = path();
    const int fd = open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (!sized) {
        fail("cannot make the image file");
        return;
    }
    std::string device;
    if (!Run(mkfs + " '" + image + "' >/dev/null") ||
        !Run(losetup + " -f --show '" + image + "'", &device) || device.empty()) {
        fail("no loop device for the image");
        return;
    }
    Run(mountTool + " '" + device + "' '" + mountPoint + "' >/dev/null");
    // The loop device goes as soon as the file system lets go of it.
    Run(losetup + " -d '" + device + "'");
    struct stat folder {};
    struct stat parent {};
    if (stat(mountPoint.c_str(), &folder) != 0 || stat(m_dir.path().c_str(), &parent) != 0 ||
        folder.st_dev == parent.st_dev) {
        fail("exfat-fuse could not mount the image");
        return;
    }
    m_mounted = true;
}

ExfatMount::~ExfatMount() {
    if (m_mounted) {
        const std::string fusermount = FindTool("fusermount");
        if (fusermount.empty() || !Run(fusermount + " -u '" + path() + "'")) {
            umount2(path().c_str(), MNT_DETACH);
        }
    }
}

}  // namespace ostravex::testing
