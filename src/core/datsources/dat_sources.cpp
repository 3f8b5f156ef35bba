#include "datsources/dat_sources.h"

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

#include "archive/member_sink.h"
#include "archive/zip_reader.h"
#include "dat/dat_list.h"
#include "io/file.h"
#include "io/paths.h"

namespace ostravex {
namespace {

bool IsDatName(const std::string& name) {
    const std::string extension = LowerExtension(name);
    return extension == ".dat" || extension == ".xml";
}

// A zip archive begins with a local header, or with its end record when it is empty.
bool LooksLikeZip(std::string_view bytes) {
    return bytes.starts_with("PK\x03\x04") || bytes.starts_with("PK\x05\x06");
}

// A file that begins as a zip archive does, whatever its name ("x.dat" as a download
// may be named). A file that cannot be read is left for the DAT reader to report.
bool FileLooksLikeZip(const std::string& path) {
    File file;
    std::array<std::uint8_t, 4> start{};
    std::size_t got = 0;
    return file.openShared(path).ok() && file.readAt(0, start, got).ok() &&
           LooksLikeZip(std::string_view(reinterpret_cast<const char*>(start.data()), got));
}

// A DAT in a zip, parsed as it is inflated.
class DatMemberSink final : public MemberSink {
  public:
    explicit DatMemberSink(std::uint64_t size) : m_parser(size) {}
    Status begin(std::uint64_t) override { return Status::success(); }
    Status write(std::span<const std::uint8_t> bytes) override {
        m_parser.feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return Status::success();
    }
    Status finish() override { return Status::success(); }
    DatTextParser& parser() { return m_parser; }

  private:
    DatTextParser m_parser;
};

struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

class DatSourceLoader {
  public:
    void load(const std::string& path) {
        if (KindOfPath(path) == PathKind::Folder) {
            loadFolder(path);
        } else {
            loadFile(path);
        }
    }

    LoadedDats finish() {
        LabelDats(m_loaded.dats);
        for (const DatFile& dat : m_loaded.dats) {
            if (std::string line = LeftOutWarning(dat); !line.empty()) {
                m_loaded.warnings.push_back(std::move(line));
            }
        }
        return std::move(m_loaded);
    }

  private:
    void loadFolder(const std::string& folder) {
        const std::unique_ptr<DIR, DirectoryCloser> dir(opendir(folder.c_str()));
        if (!dir) {
            fail(folder, Status::fromErrno(errno).reason());
            return;
        }
        std::vector<std::string> names;
        for (;;) {
            errno = 0;  // readdir tells its end from a failure only by errno
            const dirent* item = readdir(dir.get());
            if (item == nullptr) {
                if (errno != 0) {
                    fail(folder, Status::fromErrno(errno).reason());
                    return;
                }
                break;
            }
            const std::string name = item->d_name;
            if (IsDatName(name) || LowerExtension(name) == ".zip") {
                names.push_back(name);
            }
        }
        // readdir's order is the file system's; name order gives the same DATs the same
        // order (and so the same lines) on every machine.
        std::sort(names.begin(), names.end());
        std::size_t found = 0;
        for (const std::string& name : names) {
            const std::string path = WithTrailingSlash(folder) + name;
            if (KindOfPath(path) == PathKind::File) {  // not a folder named "x.dat"
                ++found;
                loadFile(path);
            }
        }
        if (found == 0) {
            fail(folder, "holds no .dat, .xml or .zip file");
        }
    }

    void loadFile(const std::string& path) {
        if (LowerExtension(path) == ".zip" || FileLooksLikeZip(path)) {
            loadZip(path);
            return;
        }
        DatFile dat;
        if (Status status = LoadDatFile(path, dat); !status) {
            fail(path, status.reason());
        } else {
            keep(std::move(dat));
        }
    }

    void loadZip(const std::string& path) {
        ZipReader zip;
        if (Status status = zip.open(path); !status) {
            fail(path, status.reason());
            return;
        }
        if (!zip.isZipFile()) {
            fail(path, "not a zip archive");
            return;
        }
        bool anyDat = false;
        for (const ZipEntry& entry : zip.entries()) {
            const std::string name = entry.name();
            if (name.ends_with('/') || !IsDatName(name)) {
                continue;
            }
            anyDat = true;
            const std::string source = path + "| " + name;
            const std::uint64_t size = entry.record.UncompressedSize;
            if (size > kLargestDatFile) {
                fail(source, "larger than any DAT (" + std::to_string(size) + " bytes)");
                continue;
            }
            DatMemberSink sink(size);
            if (Status status = zip.readMember(entry, sink); !status) {
                fail(source, status.reason());
                continue;
            }
            DatFile dat;
            if (Status status = sink.parser().finish(source, dat); !status) {
                fail(source, status.reason());
                continue;
            }
            keep(std::move(dat));
        }
        if (!anyDat) {
            fail(path, "holds no .dat or .xml file");
        }
    }

    void keep(DatFile dat) {
        const bool seen = std::any_of(m_loaded.dats.begin(), m_loaded.dats.end(),
                                      [&](const DatFile& kept) { return IsSameDat(kept, dat); });
        if (!seen) {
            m_loaded.dats.push_back(std::move(dat));
        }
    }

    // A source named twice is reported once.
    void fail(std::string source, std::string reason) {
        DatSourceFailure failure{std::move(source), std::move(reason)};
        if (std::find(m_loaded.failures.begin(), m_loaded.failures.end(), failure) ==
            m_loaded.failures.end()) {
            m_loaded.failures.push_back(std::move(failure));
        }
    }

    LoadedDats m_loaded;
};

}  // namespace

LoadedDats LoadDatSources(const std::vector<std::string>& paths) {
    DatSourceLoader loader;
    for (const std::string& path : paths) {
        loader.load(path);
    }
    return loader.finish();
}

std::string FailureLine(const DatSourceFailure& failure) {
    return "ERROR: Cannot load DAT: " + failure.source + ": " + failure.reason;
}

}  // namespace ostravex
