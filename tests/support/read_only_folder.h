#pragma once

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace ostravex::testing {

// Makes a folder unwritable while it lives: by its permissions, or for root (whom
// permissions do not stop) by mounting it read-only over itself.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& folder) : m_folder(folder) {
        if (geteuid() != 0) {
            m_ready = chmod(folder.c_str(), 0555) == 0;
            return;
        }
        m_mounted =
            mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        m_ready = m_mounted;
    }
    ~ReadOnlyFolder() {
        if (m_mounted) {
            umount(m_folder.c_str());
        } else {
            chmod(m_folder.c_str(), 0755);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool ready() const { return m_ready; }

  private:
    std::string m_folder;
    bool m_ready = false;
    bool m_mounted = false;
};

}  // namespace ostravex::testing
