// How responsive the window stays while it works on its one thread: the longest gap
// between two handled timer events during a run of 1,000 entries and during a scan of
// 20,000 files, and the time to add 20,000 entries to both lists.
// Run: QT_QPA_PLATFORM=offscreen build/bin/window_responsiveness
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>

#include "trtrim.h"
#include "user_dialogs.h"

namespace {

class ScriptedDialogs : public ostravex::app::UserDialogs {
  public:
    QString folder;
    std::optional<QString> pickFolder(QWidget*, const QString&, const QString&) override {
        return folder;
    }
    void message(QWidget*, const QString&) override {}
    void error(QWidget*, const QString&) override {}
};

// Runs `work` while a 5 ms timer measures the gaps between its handled events.
double LongestGapMs(const std::function<void()>& work) {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start();
    work();
    const qint64 end = clock.nsecsElapsed();
    longest = std::max(longest, end - last);
    ticker.stop();
    return static_cast<double>(longest) / 1e6;
}

void WriteRom(const QString& path, std::uint32_t used, std::size_t size) {
    std::string image(size, '\xff');
    for (std::size_t i = 0x200; i < used; ++i) {
        image[i] = static_cast<char>(1 + i % 251);
    }
    std::fill(image.begin(), image.begin() + 0x200, '\0');
    for (int i = 0; i < 4; ++i) {
        image[0x80 + i] = static_cast<char>(used >> (8 * i));
    }
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(image.data(), static_cast<std::streamsize>(image.size()));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toUtf8());
    auto dialogs = std::make_shared<ScriptedDialogs>();

    // 1,000 roms of 2 MiB, written with backups so that each is copied.
    const QString roms = scratch.filePath("roms");
    QDir().mkpath(roms);
    for (int i = 0; i < 1000; ++i) {
        WriteRom(roms + QString("/r%1.nds").arg(i, 4, 10, QChar('0')), 1500000, 2u << 20);
    }
    // 20,000 files in 2,000 folders, 200 of them roms.
    const QString tree = scratch.filePath("tree");
    for (int folder = 0; folder < 2000; ++folder) {
        const QString path = tree + QString("/set%1/part%2").arg(folder / 20).arg(folder % 20);
        QDir().mkpath(path);
        for (int file = 0; file < 10; ++file) {
            const bool rom = (folder * 10 + file) % 100 == 0;
            std::ofstream(
                (path + QString("/f%1.%2").arg(file).arg(rom ? "nds" : "txt")).toStdString());
        }
    }

    ostravex::app::TRTrim window({}, dialogs);
    window.show();
    dialogs->folder = roms;
    window.ScanButtonClick();
    QElapsedTimer runClock;
    runClock.start();
    const double inPlaceGap = LongestGapMs([&] { window.TrimButtonClick(); });
    std::printf(
        "run of %d entries (in place, 2 MiB each): %.2f s, longest gap between events %.1f ms\n",
        window.RomsList->count(), runClock.elapsed() / 1000.0, inPlaceGap);

    for (int i = 0; i < 1000; ++i) {
        WriteRom(roms + QString("/r%1.nds").arg(i, 4, 10, QChar('0')), 1500000, 2u << 20);
    }
    window.ModeBackup->setChecked(true);
    runClock.restart();
    const double runGap = LongestGapMs([&] { window.TrimButtonClick(); });
    std::printf(
        "run of %d entries (backup mode, 2 MiB each): %.2f s, longest gap between events %.1f ms\n",
        window.RomsList->count(), runClock.elapsed() / 1000.0, runGap);

    dialogs->folder = tree;
    QElapsedTimer scanClock;
    scanClock.start();
    const double scanGap = LongestGapMs([&] { window.ScanButtonClick(); });
    std::printf(
        "scan of 20,000 files in 2,000 folders: %.2f s, %d roms, longest gap between events %.1f "
        "ms\n",
        scanClock.elapsed() / 1000.0, window.RomsList->count(), scanGap);

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
    std::printf("adding 20,000 entries to both lists: %.3f s\n", addClock.elapsed() / 1000.0);
    window.close();
    return 0;
}
