// The window's DATs and checks: the dialog that sets them, Trim! identifying every rom,
// "Restore to Full Size" and "Identify Against DATs" from the list's menu, the DAT match
// in "Rom Info" and the list's mark of a bad dump.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <map>

#include <sys/stat.h>
#include <utime.h>

#include "dats_dialog.h"
#include "rom_info_window.h"
#include "settings/dat_settings.h"
#include "support/archive_builders.h"
#include "support/logiqx_dats.h"
#include "window_test_case.h"

using namespace ostravex;
using ostravex::app::DatsDialog;
using ostravex::app::TRTrim;
using ostravex::testing::Bytes;
using ostravex::testing::DatDump;
using ostravex::testing::Finishes;
using ostravex::testing::kUsed;
using ostravex::testing::Lines;
using ostravex::testing::NdsDump;
using ostravex::testing::NdsImageBuilder;
using ostravex::testing::ReadFile;
using ostravex::testing::operator""_MiB;

namespace {

Bytes Prefix(const Bytes& bytes, std::uint64_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// A file as a run could leave it: its bytes and its modification time.
struct FileState {
    Bytes bytes;
    std::int64_t modified = 0;
    bool operator==(const FileState&) const = default;
};

std::map<QString, FileState> FolderState(const QString& folder) {
    std::map<QString, FileState> state;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        const std::string path = (folder + "/" + name).toStdString();
        struct stat status {};
        ::stat(path.c_str(), &status);
        state[name] = {ReadFile(path), static_cast<std::int64_t>(status.st_mtime)};
    }
    return state;
}

// Sets every file of `folder` a day back, so that a file written again would show it.
void AgeFiles(const QString& folder) {
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        struct utimbuf times {};
        times.actime = times.modtime = ::time(nullptr) - 86400;
        ::utime((folder + "/" + name).toStdString().c_str(), &times);
    }
}

}  // namespace

class WindowDatsTest : public QObject, public testing::WindowTestCase {
    Q_OBJECT

  private:
    const Bytes fullFf = NdsDump(0xFF, 'F');
    const Bytes zero = NdsDump(0x00, 'Z');
    Bytes dataAfter = [this] {
        Bytes dump = NdsDump(0xFF, 'D');
        dump[7000000] = 0x42;  // a byte past the used size that the dump holds
        return dump;
    }();

    void writeBytes(const QString& name, const Bytes& bytes) {
        QDir().mkpath(QFileInfo(path(name)).path());
        testing::WriteFile(path(name).toStdString(), bytes);
    }
    // "ds.dat": the DS dumps the tests use.
    QString writeDsDat() {
        const std::string text =
            testing::LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", fullFf},
                                                          {"Zero (Japan)", zero},
                                                          {"Data After (USA)", dataAfter}});
        writeBytes("ds.dat", Bytes(text.begin(), text.end()));
        return path("ds.dat");
    }
    // A window listing `names` (under roms/), with `sources` as its DATs.
    std::unique_ptr<TRTrim> windowWith(const QStringList& sources, const QStringList& names) {
        auto w = window();
        DatSettings settings;
        for (const QString& source : sources) {
            settings.sources.push_back(source.toStdString());
        }
        w->setDatSettings(settings);
        for (const QString& name : names) {
            w->host().addRomEntry(RomListEntry::file(path("roms/" + name).toStdString()));
        }
        w->EnableStuff();
        return w;
    }

  private slots:
    void init() { startInAFreshFolder(); }

    // Padded back to the DAT's dump with the filler the DAT's checksums call for: 0xFF for
    // one, 0x00 for the other, byte for byte.
    void restoreGivesTrimmedDumpsBackByteExact() {
        const QString dat = writeDsDat();
        writeBytes("roms/blue.nds", Prefix(fullFf, kUsed));
        writeBytes("roms/zero.nds", Prefix(zero, kUsed));
        auto w = windowWith({dat}, {"blue.nds", "zero.nds"});
        w->restoreClick();
        QVERIFY(w->isBusy() && w->StopButton->isEnabled());
        QVERIFY(Finishes(*w));

        QVERIFY(ReadFile(path("roms/blue.nds").toStdString()) == fullFf);
        QVERIFY(ReadFile(path("roms/zero.nds").toStdString()) == zero);
        const QStringList log = w->logLines();
        QVERIFY(log.contains(
            "INFO: Trimmed dump of a DAT entry (0x00 padding): zero.nds -> Zero (Japan) "
            "(Nintendo - Nintendo DS)"));
        QCOMPARE(log.mid(log.size() - 4), (QStringList{"Full dumps: 0", "Trimmed dumps: 2",
                                                       "Bad dumps: 0", "In no DAT: 0"}));
        QCOMPARE(w->LabelSavings->text(), QString("Total Added: 4.72 MB"));
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 2/2"));
        QCOMPARE(w->errorsLabel->text(), QString("Errors:"));
        // The run after it cuts again: the restore was for that run only.
        QCOMPARE(w->runOptions().current().restore, false);
    }

    // Only the selected entries are restored; with none selected, every one is.
    void restoreTakesTheSelectedEntriesOrAll() {
        for (const char* name : {"a.nds", "b.nds", "c.nds"}) {
            writeBytes(QString("roms/") + name, Prefix(fullFf, kUsed));
        }
        auto w = windowWith({}, {"a.nds", "b.nds", "c.nds"});
        w->RomsList->item(1)->setSelected(true);
        w->RomsList->setCurrentRow(1);
        w->restoreClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(w->romlist.size(), std::size_t{1});
        QCOMPARE(QFileInfo(path("roms/b.nds")).size(), qint64(8_MiB));
        QCOMPARE(QFileInfo(path("roms/a.nds")).size(), qint64(kUsed));

        w->RomsList->clearSelection();
        w->restoreClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(w->romlist.size(), std::size_t{3});
        for (const char* name : {"a.nds", "c.nds"}) {
            QCOMPARE(QFileInfo(path(QString("roms/") + name)).size(), qint64(8_MiB));
        }
    }

    // Every rom is read and identified and nothing changes: no byte, name or time, though
    // the options would back up, rename and cut. The list marks the bad dump and says why;
    // "Rom Info" shows what was found.
    void identifyChangesNothingAndShowsTheMatches() {
        const QString dat = writeDsDat();
        Bytes bad = fullFf;
        bad[4_MiB] ^= 0x01;
        writeBytes("roms/0001 - Full.nds", fullFf);
        writeBytes("roms/Zero trimmed.nds", Prefix(zero, kUsed));
        writeBytes("roms/0042 - Blank & Blue (Europe).nds", bad);
        writeBytes("roms/Unknown.nds", NdsDump(0xFF, 'U'));
        AgeFiles(path("roms"));
        const auto before = FolderState(path("roms"));
        auto w = windowWith({dat}, {"0001 - Full.nds", "Zero trimmed.nds",
                                    "0042 - Blank & Blue (Europe).nds", "Unknown.nds"});
        w->ModeBackup->setChecked(true);
        w->RemoveNames->setChecked(true);
        w->identifyClick();
        QVERIFY(Finishes(*w));

        QVERIFY(FolderState(path("roms")) == before);
        const QStringList log = w->logLines();
        for (const QString& line : {
                 QString("INFO: Full dump of a DAT entry: 0001 - Full.nds -> Blank & Blue "
                         "(Europe) (Nintendo - Nintendo DS)"),
                 QString("INFO: Trimmed dump of a DAT entry (0x00 padding): Zero trimmed.nds -> "
                         "Zero (Japan) (Nintendo - Nintendo DS)"),
                 QString("WARNING: Bad dump (size of a DAT entry, checksum of none): 0042 - Blank "
                         "& Blue (Europe).nds"),
                 QString("INFO: In no DAT: Unknown.nds"),
             }) {
            QVERIFY2(log.contains(line), qPrintable(line));
        }
        QCOMPARE(log.mid(log.size() - 4), (QStringList{"Full dumps: 1", "Trimmed dumps: 1",
                                                       "Bad dumps: 1", "In no DAT: 1"}));
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 4/4"));

        // Only the bad dump is marked, in both views, with why.
        for (int row = 0; row < 4; ++row) {
            const QString tip = w->RomsList->item(row)->toolTip();
            QCOMPARE(w->romList().listViewItems()[static_cast<std::size_t>(row)]->toolTip(0), tip);
            QCOMPARE(tip.startsWith("Bad dump: "), row == 2);
        }

        // "Rom Info" of the full dump: its header, then the match.
        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        auto* info = w->findChild<app::TRomInfo*>();
        QVERIFY(info);
        const QStringList shown = info->Memo1->toPlainText().split('\n');
        const int match =
            static_cast<int>(shown.indexOf("DAT match, as the last run read the rom"));
        QVERIFY(match > 0);
        QCOMPARE(shown.mid(match),
                 (QStringList{"DAT match, as the last run read the rom", "Found: full dump",
                              "Game: Blank & Blue (Europe)", "DAT: Nintendo - Nintendo DS",
                              "Size read: 8388608 bytes",
                              "CRC-32: " + QString::fromStdString(testing::Crc32Hex(fullFf)),
                              "SHA-1: " + QString::fromStdString(testing::Sha1Hex(fullFf))}));
        info->close();

        // A later run that finds the dump good takes the mark away.
        writeBytes("roms/0042 - Blank & Blue (Europe).nds", fullFf);
        w->RomsList->clearSelection();
        w->identifyClick();
        QVERIFY(Finishes(*w));
        QVERIFY(w->RomsList->item(2)->toolTip().isEmpty());
    }

    // With DATs set, Trim! identifies each rom and makes only a cut that pads back to the
    // dump; the padding check skips a rom in no DAT whose cut would lose data.
    void trimWithDatsKeepsOnlyReversibleCuts_data() {
        QTest::addColumn<bool>("checkPadding");
        QTest::addColumn<QString>("afterLine");
        QTest::addColumn<qint64>("noiseAfter");
        QTest::addColumn<QString>("noiseLine");
        QTest::newRow("padding check off")
            << false << "SKIP: Trim would not be reversible (data after the used size): after.nds"
            << qint64(kUsed) << "noise.nds: 2475008";
        QTest::newRow("padding check on")
            << true << "SKIP: Data after the used size, not trimmed: after.nds" << qint64(8_MiB)
            << "SKIP: Data after the used size, not trimmed: noise.nds";
    }
    void trimWithDatsKeepsOnlyReversibleCuts() {
        QFETCH(bool, checkPadding);
        QFETCH(QString, afterLine);
        QFETCH(qint64, noiseAfter);
        QFETCH(QString, noiseLine);
        const QString dat = writeDsDat();
        writeBytes("roms/full.nds", fullFf);
        writeBytes("roms/after.nds", dataAfter);
        Bytes noise = NdsDump(0xFF, 'N');
        noise[7000000] = 0x42;
        writeBytes("roms/noise.nds", noise);
        auto w = windowWith({dat}, {"full.nds", "after.nds", "noise.nds"});
        DatSettings settings = w->datSettings();
        settings.checkPadding = checkPadding;
        w->setDatSettings(settings);
        w->TrimButtonClick();
        QVERIFY(Finishes(*w));

        const QStringList log = w->logLines();
        QCOMPARE(log.mid(3, 2),
                 (QStringList{"INFO: Full dump of a DAT entry: full.nds -> Blank & Blue (Europe) "
                              "(Nintendo - Nintendo DS)",
                              "full.nds: 2475008"}));
        QVERIFY2(log.contains(afterLine), qPrintable(log.join('\n')));
        QVERIFY2(log.contains(noiseLine), qPrintable(log.join('\n')));
        QCOMPARE(log.mid(log.size() - 4), (QStringList{"Full dumps: 2", "Trimmed dumps: 0",
                                                       "Bad dumps: 0", "In no DAT: 1"}));
        QCOMPARE(QFileInfo(path("roms/full.nds")).size(), qint64(kUsed));
        QCOMPARE(QFileInfo(path("roms/after.nds")).size(), qint64(8_MiB));
        QCOMPARE(QFileInfo(path("roms/noise.nds")).size(), noiseAfter);
    }

    // A DAT that cannot be loaded is one notice that names it and says why; nothing is
    // read or changed, whichever command it was.
    void aBrokenDatIsOneNoticeAndNoRun_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("broken");  // under the test's folder
        QTest::addColumn<QString>("reason");  // part of the notice
        QTest::newRow("Trim!, a file that is no DAT") << "trim"
                                                      << "notes.dat"
                                                      << "notes.dat: ";
        QTest::newRow("Restore, a DAT that is gone") << "restore"
                                                     << "gone.dat"
                                                     << "gone.dat: ";
        QTest::newRow("Identify, a zip without DATs") << "identify"
                                                      << "empty.zip"
                                                      << "empty.zip: ";
    }
    void aBrokenDatIsOneNoticeAndNoRun() {
        QFETCH(QString, command);
        QFETCH(QString, broken);
        QFETCH(QString, reason);
        const QString dat = writeDsDat();
        writeBytes("notes.dat", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'D', 'A', 'T', '\n'});
        writeBytes("empty.zip", testing::ZipBuilder().add("readme.txt", Bytes(10, 'x')).build());
        writeBytes("roms/full.nds", fullFf);
        writeBytes("roms/short.nds", Prefix(fullFf, kUsed));
        AgeFiles(path("roms"));
        const auto before = FolderState(path("roms"));
        auto w = windowWith({dat, path(broken)}, {"full.nds", "short.nds"});
        w->host().addLog("before the run");
        if (command == "trim") {
            w->TrimButtonClick();
        } else if (command == "restore") {
            w->restoreClick();
        } else {
            w->identifyClick();
        }
        QVERIFY(Finishes(*w));

        QCOMPARE(m_dialogs->messages.size(), 1);
        const QString notice = m_dialogs->messages.front();
        QVERIFY2(notice.startsWith("ERROR: Cannot load DAT: " + path(broken)), qPrintable(notice));
        QVERIFY2(notice.contains(reason) && !notice.endsWith(": "), qPrintable(notice));
        QVERIFY(!notice.contains("ds.dat"));
        QVERIFY(FolderState(path("roms")) == before);
        const QStringList log = w->logLines();
        QCOMPARE(log.mid(3), (QStringList{"before the run", notice}));
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed:"));
        QVERIFY(w->ScanButton->isEnabled() && w->TrimButton->isEnabled());
    }

    void identifyWithoutDatsSaysWhereToSetThem() {
        writeBytes("roms/full.nds", fullFf);
        auto w = windowWith({}, {"full.nds"});
        w->identifyClick();
        QVERIFY(!w->isBusy());
        QCOMPARE(m_dialogs->messages, QStringList{app::kNoDatsSetText});
    }

    // The dialog's list and check box are saved as they change, in a group of their own, and
    // are there again at the next start; the main group's values are as they were.
    void theDialogsSettingsSurviveARestart() {
        const QString dat = writeDsDat();
        const std::string kiosk =
            testing::LogiqxDat("Nintendo - Nintendo DS (Kiosk)", {{"Kiosk Demo (USA)", zero}});
        writeBytes("more dats/kiosk.dat", Bytes(kiosk.begin(), kiosk.end()));
        QString datsLine;
        {
            auto w = window();
            w->close();
        }
        const RegFile untouched = storedSettings();
        {
            auto w = window();
            w->show();
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
            QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier);
            DatsDialog* dialog = w->datsDialog();
            QVERIFY(dialog && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QString("DATs and Checks"));
            QCOMPARE(dialog->checkPaddingBox->text(), QString("Check padding before cutting"));
            m_dialogs->openAnswer = dat;
            dialog->addFileButton->click();
            m_dialogs->folderAnswers.push_back(path("more dats"));
            dialog->addFolderButton->click();
            m_dialogs->openAnswer = path("third.dat");
            dialog->addFileButton->click();
            dialog->datList->item(2)->setSelected(true);
            dialog->removeButton->click();
            dialog->checkPaddingBox->click();
            // Saved without a close: a kill now loses nothing.
            QTRY_VERIFY(storedSettings().find(kDatSettingsKey, "Dat2") != nullptr);
            QTRY_COMPARE(storedSettings().find(kDatSettingsKey, "CheckPadding")->text,
                         std::string("TRUE"));
            QVERIFY(storedSettings().find(kDatSettingsKey, "Dat3") == nullptr);
            // The line of what was loaded comes from the engine's thread.
            QVERIFY(Finishes(*w));
            QTRY_VERIFY(!dialog->loadedLabel->text().startsWith("Loading"));
            datsLine = dialog->loadedLabel->text();
            QCOMPARE(datsLine, QString("3 games loaded from Nintendo - Nintendo DS, version "
                                       "20261201-000000\n1 game loaded from Nintendo - Nintendo "
                                       "DS (Kiosk), version 20261201-000000"));
            dialog->closeButton->click();
            QTRY_VERIFY(!w->datsDialog());
        }
        const RegFile stored = storedSettings();
        QCOMPARE(stored.find(kMainSettingsKey, "SramP_Checked")->text,
                 untouched.find(kMainSettingsKey, "SramP_Checked")->text);
        QVERIFY(stored.find(kMainSettingsKey, "DatCount") == nullptr);

        auto again = window();
        QCOMPARE(again->datSettings(),
                 (DatSettings{{dat.toStdString(), path("more dats").toStdString()}, true}));
        QCOMPARE(again->runOptions().current().checkPadding, true);
        again->datsButton->click();
        DatsDialog* dialog = again->datsDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->datList->count(), 2);
        QCOMPARE(dialog->datList->item(1)->text(), path("more dats"));
        QVERIFY(dialog->checkPaddingBox->isChecked());
        QVERIFY(Finishes(*again));
        QTRY_COMPARE(dialog->loadedLabel->text(), datsLine);
    }

    // Either view of the list has the menu, with the commands beside "Rom Info"; it opens
    // the dialog.
    void theListMenuHoldsTheCommands_data() {
        QTest::addColumn<bool>("listView");
        QTest::newRow("list box") << false;
        QTest::newRow("list view") << true;
    }
    void theListMenuHoldsTheCommands() {
        QFETCH(bool, listView);
        writeBytes("roms/full.nds", fullFf);
        auto w = windowWith({}, {"full.nds"});
        w->UseListView->setChecked(listView);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QStringList texts;
        QTimer::singleShot(0, w.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    texts << action->text();
                }
            }
            menu->findChild<QAction*>("datsAction")->trigger();
            menu->close();
        });
        if (listView) {
            emit w->romsListView->customContextMenuRequested(QPoint(5, 5));
        } else {
            emit w->RomsList->customContextMenuRequested(QPoint(5, 5));
        }
        QCOMPARE(texts, (QStringList{"Rom Info", "Restore to Full Size", "Identify Against DATs",
                                     "DATs and Checks"}));
        QTRY_VERIFY(w->datsDialog() && w->datsDialog()->isVisible());
    }

    // A DAT of No-Intro's size is loaded on the engine's thread, the window busy: its events
    // (here a timer's) go on being handled while it loads, before the run begins.
    void theWorkerLoadsALargeDatWhileTheWindowAnswers() {
        const std::string text = testing::LargeLogiqxDat(7500);
        QVERIFY(text.size() > 2'500'000 && text.size() < 3'000'000);
        writeBytes("large.dat", Bytes(text.begin(), text.end()));
        writeBytes("roms/short.nds", Prefix(fullFf, kUsed));
        auto w = windowWith({path("large.dat")}, {"short.nds"});
        w->host().addLog("before the run");
        std::atomic<int> ticksWhileLoading{0};
        bool busyAtEveryTick = true;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            // The run's first step clears the log: till then the DAT is being loaded.
            if (w->logLines().contains("before the run")) {
                ++ticksWhileLoading;
                busyAtEveryTick = busyAtEveryTick && w->isBusy() && w->StopButton->isEnabled();
            }
        });
        ticker.start(1);
        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        ticker.stop();
        QVERIFY2(ticksWhileLoading > 0, "no event was handled while the DAT was loaded");
        QVERIFY(busyAtEveryTick);
        QVERIFY(w->logLines().contains("INFO: In no DAT: short.nds"));
        QCOMPARE(w->datsLoadedText(), QString("7500 games loaded from Nintendo - Nintendo DS, "
                                              "version 20261201-000000"));
    }
};

QTEST_MAIN(WindowDatsTest)
#include "window_dats_test.moc"
