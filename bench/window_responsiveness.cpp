// How responsive the window stays while its scans and runs work. The real main window
// runs "Trim!" in each file option (in place, with backups, into an output folder) over a
// few hundred NDS images of 8 to 32 MiB while the disk is kept busy, and a 5 ms timer
// measures the gaps between the events the window gets to handle: the longest gap and the
// 99th percentile of each run, beside the same timer in the idle window (the machine's own
// noise). Then a scan of 20,000 files, a scan that lists 20,000 roms, and the time to add
// 20,000 entries to both lists. With --dat the window has a DAT of No-Intro's size set
// (7,500 games, 2.7 MB, made up): every run loads it and identifies each image first.
//
// Run from the project folder (offscreen unless a display is given):
//   build/bin/window_responsiveness [--images N] [--scratch DIR] [--quiet-disk]
//                                   [--busy-thread] [--modes inplace,backup,folder]
//                                   [--no-scan] [--list-view] [--dat]
//
// The images are sparse (only their header takes room), so the copies the backup and
// output-folder runs write are the disk traffic: about N x 10 MiB per run.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "dat_loading.h"
#include "romformat/crc16.h"
#include "romformat/nds_header.h"
#include "trtrim.h"
#include "user_dialogs.h"

namespace {

constexpr qint64 kMebibyte = 1 << 20;
constexpr qint64 kGibibyte = qint64(1) << 30;
// The scratch folder holds this file while it is the benchmark's own, so that a folder left
// by an interrupted run is removed by the next one, and no other folder ever is.
constexpr const char* kMarker = ".window-responsiveness-scratch";

class ScriptedDialogs : public ostravex::app::UserDialogs {
  public:
    QString folder;
    std::optional<QString> pickFolder(QWidget*, const QString&, const QString&) override {
        return folder;
    }
    void message(QWidget*, const QString&) override {}
    void error(QWidget*, const QString& text) override {
        std::fprintf(stderr, "error notice: %s\n", qPrintable(text));
    }
};

QString LoadAverage() {
    QFile file("/proc/loadavg");
    if (!file.open(QIODevice::ReadOnly)) {
        return "unknown";
    }
    return QString::fromLatin1(file.readAll()).section(' ', 0, 2);
}

// Dirty and under-writeback page cache, in MiB.
qint64 DirtyMebibytes() {
    QFile file("/proc/meminfo");
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    qint64 kibibytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Dirty:") || line.startsWith("Writeback:")) {
            kibibytes += line.simplified().split(' ').value(1).toLongLong();
        }
    }
    return kibibytes / 1024;
}

struct Gaps {
    double longestMs = 0;
    double p99Ms = 0;
    double medianMs = 0;
    std::size_t ticks = 0;
};

// Runs `work` while a 5 ms timer records the gaps between its handled events.
Gaps MeasureGaps(const std::function<void()>& work) {
    QElapsedTimer clock;
    std::vector<qint64> gaps;
    gaps.reserve(1 << 16);
    qint64 last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.push_back(now - last);
        last = now;
    });
    clock.start();
    ticker.start();
    work();
    gaps.push_back(clock.nsecsElapsed() - last);
    ticker.stop();
    std::sort(gaps.begin(), gaps.end());
    const auto at = [&](double share) {
        const auto index = static_cast<std::size_t>(share * static_cast<double>(gaps.size() - 1));
        return static_cast<double>(gaps[index]) / 1e6;
    };
    return {static_cast<double>(gaps.back()) / 1e6, at(0.99), at(0.5), gaps.size()};
}

// Does `start` (a click that starts a scan or run) and lets the event loop run until the
// window is idle again, everything the work reported shown.
void UntilIdle(ostravex::app::TRTrim& window, const std::function<void()>& start) {
    QEventLoop loop;
    QObject::connect(&window, &ostravex::app::TRTrim::workFinished, &loop, &QEventLoop::quit);
    start();
    if (window.isBusy()) {
        loop.exec();
    }
}

// Lets the event loop run for `ms` milliseconds: the idle window's gaps.
void IdleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Rewrites one file of `cap` bytes over and over without waiting for it, so that write-back
// never rests and dirty data piles up, until `stop` is set; counts the bytes in `written`.
void RewriteBusyFile(const char* path, qint64 cap, const std::atomic<bool>& stop,
                     std::atomic<qint64>& written) {
    std::vector<char> chunk(8 * kMebibyte);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<char>(1 + i % 253);
    }
    while (!stop) {
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return;
        }
        for (qint64 done = 0; done < cap && !stop; done += chunk.size()) {
            if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
                break;
            }
            written += static_cast<qint64>(chunk.size());
        }
        ::close(fd);
    }
}

// The option that makes this program the busy writer's own process.
constexpr const char* kBusyWriterChild = "--busy-writer-child";

// Keeps the disk busy beside the window, as another program would: by default a process
// of its own in a session of its own (so that on a desktop that shares the processor out by
// session, its copying is not counted against the window), or else a thread of the
// window's process. A thread beside notes the most dirty data seen.
class DiskBusyWriter {
  public:
    DiskBusyWriter(QString path, qint64 cap, bool inProcess)
        : m_path(std::move(path)), m_cap(cap), m_inProcess(inProcess) {}
    ~DiskBusyWriter() { stop(); }

    bool start() {
        m_stop = false;
        if (m_inProcess) {
            m_writer = std::thread([this] {
                RewriteBusyFile(m_path.toLocal8Bit().constData(), m_cap, m_stop, m_written);
            });
        } else if (!spawnChild()) {
            return false;
        }
        m_watcher = std::thread([this] { watchDirtyData(); });
        return true;
    }
    void stop() {
        m_stop = true;
        for (std::thread* thread : {&m_writer, &m_watcher}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
        if (m_child > 0) {
            ::kill(m_child, SIGTERM);
            ::waitpid(m_child, nullptr, 0);
            m_child = -1;
        }
        QFile::remove(m_path);
    }
    qint64 writtenMebibytes() const { return (writtenBytes() - m_writtenAtReset) / kMebibyte; }
    qint64 peakDirtyMebibytes() const { return m_peakDirty; }
    void resetCounts() {
        m_writtenAtReset = writtenBytes();
        m_peakDirty = 0;
    }

  private:
    bool spawnChild() {
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        const QByteArray path = m_path.toLocal8Bit();
        const QByteArray cap = QByteArray::number(m_cap);
        char program[] = "window_responsiveness";
        std::string option = kBusyWriterChild;
        char* arguments[] = {program, option.data(), const_cast<char*>(path.constData()),
                             const_cast<char*>(cap.constData()), nullptr};
        const int failure =
            posix_spawn(&m_child, "/proc/self/exe", nullptr, &attributes, arguments, environ);
        posix_spawnattr_destroy(&attributes);
        if (failure != 0) {
            std::fprintf(stderr, "cannot start the busy writer: %s\n", std::strerror(failure));
            m_child = -1;
            return false;
        }
        return true;
    }
    // The child's bytes written, from its I/O counters.
    qint64 writtenBytes() const {
        if (m_child <= 0) {
            return m_written;
        }
        QFile io(QString("/proc/%1/io").arg(m_child));
        if (!io.open(QIODevice::ReadOnly)) {
            return 0;
        }
        for (const QByteArray& line : io.readAll().split('\n')) {
            if (line.startsWith("wchar:")) {
                return line.mid(6).trimmed().toLongLong();
            }
        }
        return 0;
    }
    void watchDirtyData() {
        while (!m_stop) {
            m_peakDirty = std::max<qint64>(m_peakDirty, DirtyMebibytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    QString m_path;
    qint64 m_cap;
    bool m_inProcess;
    pid_t m_child = -1;
    std::thread m_writer;
    std::thread m_watcher;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_written{0};
    qint64 m_writtenAtReset = 0;
    std::atomic<qint64> m_peakDirty{0};
};

// Dirty data the busy writer piles up before each run starts: enough that write-back is
// working hard from the run's first entry.
constexpr qint64 kBusyDirtyMebibytes = 512;

// Lets the event loop run until the page cache holds `mebibytes` of dirty data, or 10 s
// have passed; returns the dirty data then.
qint64 WaitForDirtyData(qint64 mebibytes) {
    QElapsedTimer clock;
    clock.start();
    while (DirtyMebibytes() < mebibytes && clock.elapsed() < 10000) {
        IdleFor(100);
    }
    return DirtyMebibytes();
}

// An NDS image of `size` bytes whose header gives `used` bytes: only the header (with its
// checksum) is written, the rest is a hole that reads as zeros (no download-play block).
bool WriteSparseRom(const QString& path, qint64 used, qint64 size) {
    std::vector<std::uint8_t> header(0x200, 0);
    for (int i = 0; i < 4; ++i) {
        header[ostravex::kUsedRomSizeOffset + i] = static_cast<std::uint8_t>(used >> (8 * i));
    }
    const int checksum =
        ostravex::Crc16(std::span<const std::uint8_t>(header.data(), ostravex::kHeaderCrcCoverage));
    header[ostravex::kHeaderCrcOffset] = static_cast<std::uint8_t>(checksum);
    header[ostravex::kHeaderCrcOffset + 1] = static_cast<std::uint8_t>(checksum >> 8);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char*>(header.data()), qint64(header.size())) ==
               qint64(header.size()) &&
           file.resize(size);
}

qint64 ImageSize(int index) {
    return (8 + (index * 7) % 25) * kMebibyte;  // 8 to 32 MiB
}
qint64 UsedSize(int index) {
    return ImageSize(index) / 2 + 4096;
}

qint64 AllocatedBytes(const QString& path) {
    struct stat status {};
    if (::stat(path.toLocal8Bit().constData(), &status) != 0) {
        return -1;
    }
    return static_cast<qint64>(status.st_blocks) * 512;
}

QString RomPath(const QString& folder, int index) {
    return folder + QString("/r%1.nds").arg(index, 4, 10, QChar('0'));
}

// Makes the untrimmed images again, and checks they are what they claim: sparse, of their
// size.
bool MakeImages(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QString path = RomPath(folder, i);
        if (!WriteSparseRom(path, UsedSize(i), ImageSize(i))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        if (QFileInfo(path).size() != ImageSize(i) || AllocatedBytes(path) > kMebibyte) {
            std::fprintf(stderr, "%s is not a sparse image of %lld bytes\n", qPrintable(path),
                         ImageSize(i));
            return false;
        }
    }
    return true;
}

enum class Mode { InPlace, Backup, Folder };

struct ModeRow {
    Mode mode;
    const char* name;
    const char* caption;
};
constexpr ModeRow kModes[] = {
    {Mode::InPlace, "inplace", "in place"},
    {Mode::Backup, "backup", "backup"},
    {Mode::Folder, "folder", "output folder"},
};

// Where a mode leaves image `index`'s trimmed result.
QString ResultPath(Mode mode, const QString& roms, const QString& out, int index) {
    return mode == Mode::Folder ? RomPath(out, index) : RomPath(roms, index);
}

// The run did its work: every entry processed without an error, each result of its cut
// size, and (where a copy is written) held in real blocks. Returns the bytes written.
std::optional<qint64> CheckResults(ostravex::app::TRTrim& window, Mode mode, const QString& roms,
                                   const QString& out, int count) {
    const QString processed = QString("Files Processed: %1/%1").arg(count);
    if (window.LabelComplete->text() != processed || window.errorsLabel->text() != "Errors:") {
        std::fprintf(stderr, "the run did not process every image: \"%s\", \"%s\"\n",
                     qPrintable(window.LabelComplete->text()),
                     qPrintable(window.errorsLabel->text()));
        return std::nullopt;
    }
    qint64 written = 0;
    for (int i = 0; i < count; ++i) {
        const QString result = ResultPath(mode, roms, out, i);
        if (QFileInfo(result).size() != UsedSize(i)) {
            std::fprintf(stderr, "%s was not cut to %lld bytes\n", qPrintable(result), UsedSize(i));
            return std::nullopt;
        }
        if (mode != Mode::InPlace) {
            if (AllocatedBytes(result) < UsedSize(i) - 4096) {
                std::fprintf(stderr, "%s was not written out in full\n", qPrintable(result));
                return std::nullopt;
            }
            written += UsedSize(i);
        }
    }
    return written;
}

void RemoveResults(const QString& roms, const QString& out) {
    QDir(roms).removeRecursively();
    QDir(out).removeRecursively();
    QDir().mkpath(roms);
    QDir().mkpath(out);
}

void PrintGaps(const char* what, const Gaps& gaps) {
    std::printf("  %-26s longest gap %8.1f ms, p99 %7.1f ms, median %5.1f ms (%zu ticks)\n", what,
                gaps.longestMs, gaps.p99Ms, gaps.medianMs, gaps.ticks);
}

// The runs of each chosen file option; false when a run did not do its work.
bool RunModes(ostravex::app::TRTrim& window, ScriptedDialogs& dialogs, const QString& scratch,
              int count, const QStringList& modes, DiskBusyWriter* busy) {
    const QString roms = scratch + "/roms";
    const QString out = scratch + "/out";
    RemoveResults(roms, out);
    if (!MakeImages(roms, count)) {
        return false;
    }
    dialogs.folder = roms;
    UntilIdle(window, [&] { window.ScanButtonClick(); });
    if (window.RomsList->count() != count) {
        std::fprintf(stderr, "the scan listed %d of %d images\n", window.RomsList->count(), count);
        return false;
    }
    window.outputFolderEdit->setText(out + "/");

    for (const ModeRow& row : kModes) {
        if (!modes.contains(row.name)) {
            continue;
        }
        RemoveResults(roms, out);
        if (!MakeImages(roms, count)) {
            return false;
        }
        QRadioButton* option = row.mode == Mode::InPlace  ? window.ModeOverwrite
                               : row.mode == Mode::Backup ? window.ModeBackup
                                                          : window.ModeFolder;
        option->setChecked(true);

        const qint64 dirtyAtStart = busy ? WaitForDirtyData(kBusyDirtyMebibytes) : 0;
        if (busy) {
            busy->resetCounts();
        }
        const Gaps idle = MeasureGaps([] { IdleFor(2000); });
        QElapsedTimer clock;
        clock.start();
        const Gaps run = MeasureGaps([&] { UntilIdle(window, [&] { window.TrimButtonClick(); }); });
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        const auto written = CheckResults(window, row.mode, roms, out, count);
        if (!written) {
            return false;
        }
        std::printf("run of %d images (%s, 8-32 MiB, %.2f GiB written): %.2f s, load %s\n", count,
                    row.caption, static_cast<double>(*written) / kGibibyte, seconds,
                    qPrintable(LoadAverage()));
        PrintGaps("idle window, 2 s:", idle);
        PrintGaps("during the run:", run);
        if (busy) {
            std::printf(
                "  disk kept busy: %lld MiB dirty at the start, %lld MiB written beside, peak "
                "dirty data %lld MiB\n",
                dirtyAtStart, busy->writtenMebibytes(), busy->peakDirtyMebibytes());
        }
        std::fflush(stdout);
    }
    RemoveResults(roms, out);
    window.ClearButtonClick();
    return true;
}

void ScanAndList(ostravex::app::TRTrim& window, ScriptedDialogs& dialogs, const QString& scratch,
                 bool listView) {
    // 20,000 files in 2,000 folders, 200 of them roms.
    const QString tree = scratch + "/tree";
    for (int folder = 0; folder < 2000; ++folder) {
        const QString path = tree + QString("/set%1/part%2").arg(folder / 20).arg(folder % 20);
        QDir().mkpath(path);
        for (int file = 0; file < 10; ++file) {
            const bool rom = (folder * 10 + file) % 100 == 0;
            std::ofstream(
                (path + QString("/f%1.%2").arg(file).arg(rom ? "nds" : "txt")).toStdString());
        }
    }
    dialogs.folder = tree;
    QElapsedTimer scanClock;
    scanClock.start();
    const Gaps scan = MeasureGaps([&] { UntilIdle(window, [&] { window.ScanButtonClick(); }); });
    std::printf("scan of 20,000 files in 2,000 folders: %.2f s, %d roms\n",
                static_cast<double>(scanClock.elapsed()) / 1000.0, window.RomsList->count());
    PrintGaps("during the scan:", scan);
    QDir(tree).removeRecursively();

    // 20,000 roms in 20 folders: the lists take 20,000 entries while the window goes on.
    const QString roms = scratch + "/many-roms";
    for (int folder = 0; folder < 20; ++folder) {
        const QString path = roms + QString("/set%1").arg(folder);
        QDir().mkpath(path);
        for (int file = 0; file < 1000; ++file) {
            std::ofstream((path + QString("/game number %1.%2")
                                      .arg(folder * 1000 + file)
                                      .arg(file % 2 ? "nds" : "gba"))
                              .toStdString());
        }
    }
    dialogs.folder = roms;
    window.UseListView->setChecked(listView);
    QElapsedTimer listClock;
    listClock.start();
    const Gaps listing = MeasureGaps([&] { UntilIdle(window, [&] { window.ScanButtonClick(); }); });
    std::printf("scan of 20,000 roms in 20 folders: %.2f s, %d roms\n",
                static_cast<double>(listClock.elapsed()) / 1000.0, window.RomsList->count());
    PrintGaps("during the scan:", listing);
    QDir(roms).removeRecursively();

    window.ClearButtonClick();
    QElapsedTimer addClock;
    addClock.start();
    window.host().beginListUpdate();
    for (int i = 0; i < 20000; ++i) {
        window.host().addRomEntry(ostravex::RomListEntry::file(
            "/roms/collection/game number " + std::to_string(i) + (i % 2 ? ".nds" : ".gba")));
    }
    window.host().endListUpdate();
    QCoreApplication::processEvents();
    std::printf("adding 20,000 entries to both lists: %.3f s\n",
                static_cast<double>(addClock.elapsed()) / 1000.0);
    // "Process only selected" with half of them selected: what Trim! takes from the list.
    window.ProcessSelect->setChecked(true);
    for (int i = 0; i < window.RomsList->count(); i += 2) {
        window.RomsList->item(i)->setSelected(true);
    }
    QElapsedTimer chooseClock;
    chooseClock.start();
    const std::size_t chosen = window.romList().entriesToProcess(false, true).size();
    std::printf("taking the %zu selected entries of 20,000 from the list: %.3f s\n", chosen,
                static_cast<double>(chooseClock.elapsed()) / 1000.0);
    window.ProcessSelect->setChecked(false);
    window.ClearButtonClick();
}

constexpr int kDatGames = 7500;

// A DAT the size of No-Intro's Nintendo DS DAT: `games` games of made-up dumps of 8 to
// 512 MiB, with names as long as the real ones.
std::string GeneratedDat(int games) {
    std::mt19937_64 random(static_cast<std::uint64_t>(games));
    const auto hex = [&](std::size_t digits) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text(digits, '0');
        for (char& c : text) {
            c = kDigits[random() & 15];
        }
        return text;
    };
    std::string text =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile>\n<datafile>\n\t<header>\n\t\t<name>"
        "Nintendo - Nintendo DS</name>\n\t\t<version>20261201-000000</version>\n\t</header>\n";
    for (int i = 0; i < games; ++i) {
        const std::string game = std::to_string(i) + " - Pok\xC3\xA9mon &amp; Friends " +
                                 std::to_string(i) + " (Europe) (En,Fr,De,Es,It)";
        const std::uint64_t size = std::uint64_t{8} << (20 + random() % 7);
        text += "\t<game name=\"" + game + "\">\n\t\t<description>" + game +
                "</description>\n\t\t<rom name=\"" + game + ".nds\" size=\"" +
                std::to_string(size) + "\" crc=\"" + hex(8) + "\" md5=\"" + hex(32) + "\" sha1=\"" +
                hex(40) + "\"/>\n\t</game>\n";
    }
    return text + "</datafile>\n";
}

// Writes the DAT and checks it is what the runs are to load: 2.5 to 3 MB, every game read.
bool WriteDatFixture(const QString& path) {
    const std::string text = GeneratedDat(kDatGames);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    file.close();
    if (text.size() < 2'500'000 || text.size() > 3'000'000) {
        std::fprintf(stderr, "the DAT is %zu bytes, not about 2.7 MB\n", text.size());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    const ostravex::app::WindowDats loaded = ostravex::app::LoadWindowDats({path.toStdString()});
    const std::string expected = std::to_string(kDatGames) +
                                 " games loaded from Nintendo - "
                                 "Nintendo DS, version 20261201-000000";
    if (!loaded.usable() || loaded.loadedLines != std::vector<std::string>{expected}) {
        std::fprintf(stderr, "the DAT does not load as %s\n", expected.c_str());
        return false;
    }
    std::printf("DAT set: %d games, %.2f MB, loads in %lld ms\n", kDatGames,
                static_cast<double>(text.size()) / 1e6, clock.elapsed());
    return true;
}

// A fresh scratch folder: one left by an interrupted run goes first; a folder that is not
// the benchmark's own is never touched.
bool PrepareScratch(const QString& scratch) {
    if (QDir(scratch).exists()) {
        if (!QFile::exists(scratch + "/" + kMarker)) {
            std::fprintf(stderr, "%s exists and is not this benchmark's scratch folder\n",
                         qPrintable(scratch));
            return false;
        }
        QDir(scratch).removeRecursively();
    }
    QFile marker(scratch + "/" + kMarker);
    return QDir().mkpath(scratch) && marker.open(QIODevice::WriteOnly);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], kBusyWriterChild) == 0) {
        // The busy writer's own process: it writes until it is ended, or its parent is.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const std::atomic<bool> never{false};
        std::atomic<qint64> written{0};
        RewriteBusyFile(argv[2], std::atoll(argv[3]), never, written);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The window's responsiveness during runs and scans.");
    parser.addHelpOption();
    parser.addOption({"images", "Images per run (8 to 32 MiB each).", "N", "300"});
    // From the project folder the scratch folder lands beside the other benchmarks' data.
    const QString defaultScratch =
        QDir("bench").exists() ? "bench/window-bench-data" : "window-bench-data";
    parser.addOption({"scratch", "Scratch folder, removed afterwards.", "DIR", defaultScratch});
    parser.addOption({"modes", "File options to run, of inplace,backup,folder.", "LIST",
                      "inplace,backup,folder"});
    parser.addOption({"quiet-disk", "Do not keep the disk busy beside the runs."});
    parser.addOption({"busy-thread",
                      "Keep the disk busy from a thread of the window's process "
                      "instead of a process of its own."});
    parser.addOption({"no-scan", "Leave out the scan and the list filling."});
    parser.addOption({"list-view",
                      "Show the grouped list (\"Use normal listView\") during the "
                      "scan of 20,000 roms."});
    parser.addOption({"dat",
                      "Set a made-up DAT of 7,500 games (2.7 MB) in the window: each run "
                      "loads it on the engine's thread and identifies every image."});
    parser.process(application);
    const int count = parser.value("images").toInt();
    const QStringList modes = parser.value("modes").split(',');
    const QString scratch = QDir(parser.value("scratch")).absolutePath();
    if (count <= 0) {
        std::fprintf(stderr, "--images needs a positive number\n");
        return 2;
    }

    // The largest copy (backup or output folder), the busy file, and room to spare.
    qint64 written = 0;
    for (int i = 0; i < count; ++i) {
        written += UsedSize(i);
    }
    const qint64 busyCap = kGibibyte;
    if (!PrepareScratch(scratch)) {
        return 1;
    }
    const QStorageInfo disk(scratch);
    const qint64 needed = written + busyCap + 2 * kGibibyte;
    std::printf("scratch %s on %s: %.1f GiB free, the runs need up to %.1f GiB\n",
                qPrintable(scratch), qPrintable(disk.device()),
                static_cast<double>(disk.bytesAvailable()) / kGibibyte,
                static_cast<double>(needed) / kGibibyte);
    std::printf("platform %s, load average at start %s\n",
                qPrintable(QGuiApplication::platformName()), qPrintable(LoadAverage()));
    if (disk.bytesAvailable() < needed) {
        std::fprintf(stderr, "not enough free space\n");
        QDir(scratch).removeRecursively();
        return 1;
    }
    std::fflush(stdout);

    qputenv("XDG_CONFIG_HOME", (scratch + "/config").toUtf8());
    auto dialogs = std::make_shared<ScriptedDialogs>();
    bool ok = true;
    {
        ostravex::app::TRTrim window({}, dialogs);
        window.show();
        if (parser.isSet("dat")) {
            const QString dat = scratch + "/nds.dat";
            ok = WriteDatFixture(dat);
            window.setDatSettings({{dat.toStdString()}, false});
        }
        std::optional<DiskBusyWriter> busy;
        bool started = true;
        if (!parser.isSet("quiet-disk")) {
            busy.emplace(scratch + "/busy.bin", busyCap, parser.isSet("busy-thread"));
            started = busy->start();
        }
        ok = ok && started &&
             RunModes(window, *dialogs, scratch, count, modes, busy ? &*busy : nullptr);
        if (busy) {
            busy->stop();
        }
        if (ok && !parser.isSet("no-scan")) {
            ScanAndList(window, *dialogs, scratch, parser.isSet("list-view"));
        }
        window.close();
    }
    QDir(scratch).removeRecursively();
    std::printf("load average at end %s\n", qPrintable(LoadAverage()));
    return ok ? 0 : 1;
}
