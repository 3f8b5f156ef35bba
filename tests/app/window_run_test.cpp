// The main window's scans and runs: what starts them, what they show, and the worker that
// carries them out beside the window.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "termination_signals.h"
#include "window_test_case.h"

using namespace ostravex;
using ostravex::app::TRTrim;
using ostravex::testing::Bytes;
using ostravex::testing::FakeDialogs;
using ostravex::testing::Finishes;
using ostravex::testing::Lines;
using ostravex::testing::NdsImageBuilder;

namespace {

// Holds the run's first output at its close, as a slow disk holds a write, until released
// (or, should nothing release it, for a few seconds), and counts the window's timer ticks
// that come meanwhile.
class HeldWrite {
  public:
    explicit HeldWrite(const std::atomic<int>& ticks) : m_ticks(ticks) {}

    OutputStepHook hook() {
        return [this](OutputStep step) {
            if (step == OutputStep::Close && !m_reached.exchange(true)) {
                hold();
            }
            return Status::success();
        };
    }
    bool waitUntilReached() const {
        return QTest::qWaitFor([this] { return m_reached.load(); }, 10000);
    }
    // Lets the window's events run until it has had `ticks` timer ticks during the hold.
    // A hold that ends before that many ticks is the caller's to judge, by ticksWhileHeld().
    void waitForTicks(int ticks) const {
        (void)QTest::qWaitFor([&] { return m_ticks - m_ticksAtHold >= ticks || m_released; }, 2000);
    }
    void release() { m_release = true; }
    int ticksWhileHeld() const { return m_ticksWhileHeld; }

  private:
    void hold() {
        m_ticksAtHold = m_ticks.load();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!m_release && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_ticksWhileHeld = m_ticks - m_ticksAtHold;
        m_released = true;
    }

    const std::atomic<int>& m_ticks;
    std::atomic<bool> m_reached{false};
    std::atomic<bool> m_release{false};
    std::atomic<bool> m_released{false};
    std::atomic<int> m_ticksAtHold{0};
    std::atomic<int> m_ticksWhileHeld{0};
};

}  // namespace

class WindowRunTest : public QObject, public testing::WindowTestCase {
    Q_OBJECT

  private:
    // A window with `names` listed, in backup mode, whose first write will be held, and a
    // 5 ms timer counting the ticks it handles.
    std::unique_ptr<TRTrim> heldRunWindow(const QStringList& names, HeldWrite& held, QTimer& ticker,
                                          std::atomic<int>& ticks) {
        auto w = window();
        for (const QString& name : names) {
            w->host().addRomEntry(RomListEntry::file(path(name).toStdString()));
        }
        w->EnableStuff();
        w->ModeBackup->setChecked(true);
        w->setOutputStepHook(held.hook());
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(5);
        return w;
    }

  private slots:
    void init() { startInAFreshFolder(); }

    void scanThenRun() {
        writeRom("roms/b.nds");
        writeRom("roms/sub/c.nds");
        testing::WriteFile(path("roms/a.gba").toStdString(),
                           testing::GbaImageBuilder().size(65536).dataEnd(1000).build());
        auto w = window();
        m_dialogs->folderAnswers.push_back(path("roms"));
        w->ScanButtonClick();
        QVERIFY(Finishes(*w));

        QCOMPARE(m_dialogs->pickerTitles, QStringList{"Pick a folder"});
        QCOMPARE(w->RomsList->count(), 3);
        QCOMPARE(w->RomsList->item(0)->text(), path("roms/b.nds"));
        QCOMPARE(w->RomsList->item(2)->text(), path("roms/a.gba"));
        QCOMPARE(w->romsListView->topLevelItem(0)->childCount(), 2);  // NDS Roms
        QCOMPARE(w->romsListView->topLevelItem(1)->childCount(), 1);  // GBA Roms
        QCOMPARE(Lines(w->logLines(), 3),
                 (QStringList{"File Scan Started.", "File Scan Finished.", "3 roms found"}));
        QCOMPARE(w->LabelComplete->text(), QString("Files Trimmed: 0/3"));
        QVERIFY(w->TrimButton->isEnabled() && w->ClearButton->isEnabled());
        QCOMPARE(w->inputfold->text(), path("roms") + "/");

        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        const QStringList log = w->logLines();
        QCOMPARE(log.mid(0, 6),
                 (QStringList{"Log", "", "", "b.nds: 448576", "c.nds: 448576", "a.gba: 64536"}));
        QCOMPARE(log[6], QString("Processing Finished."));
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 3/3"));
        QCOMPARE(w->LabelSavings->text(), QString("Total Savings: 0.92 MB"));
        QCOMPARE(w->errorsLabel->text(), QString("Errors:"));
        QCOMPARE(w->runProgress->value(), 3);
        QVERIFY(w->ScanButton->isEnabled() && !w->StopButton->isEnabled());
        QCOMPARE(QFileInfo(path("roms/b.nds")).size(), 600000);
    }

    void processOnlySelected_data() {
        QTest::addColumn<bool>("listView");
        QTest::newRow("list box") << false;
        QTest::newRow("list view") << true;
    }
    void processOnlySelected() {
        QFETCH(bool, listView);
        auto w = window();
        for (const char* name : {"r1.nds", "r2.gba", "r3.nds", "r4.nds", "r5.gba"}) {
            w->host().addRomEntry(RomListEntry::file(path(name).toStdString()));
        }
        w->UseListView->setChecked(listView);
        w->ProcessSelect->setChecked(true);
        if (listView) {
            w->romList().listViewItems()[1]->setSelected(
                true);  // r2.gba, shown in the second group
            w->romList().listViewItems()[3]->setSelected(true);
        } else {
            w->RomsList->item(1)->setSelected(true);
            w->RomsList->item(3)->setSelected(true);
        }
        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(w->romlist, testing::FileEntries(
                                 {path("r2.gba").toStdString(), path("r4.nds").toStdString()}));
        QCOMPARE(w->runProgress->maximum(), 2);
        QCOMPARE(w->logLines().mid(3, 2), (QStringList{"ERROR: File doesn't exist: r2.gba",
                                                       "ERROR: File doesn't exist: r4.nds"}));
    }

    void clearSearchesEmptiesBothLists() {
        auto w = window();
        w->host().addRomEntry(RomListEntry::file("/x/a.nds"));
        w->EnableStuff();
        w->ClearButtonClick();
        QCOMPARE(w->RomsList->count(), 0);
        QVERIFY(w->romList().listViewItems().empty());
        QVERIFY(!w->TrimButton->isEnabled() && !w->ClearButton->isEnabled());
        QVERIFY(w->ScanButton->isEnabled());
    }

    void dropsAddToTheList() {
        writeRom("drop/one.nds");
        writeRom("drop/folder/two.nds");
        testing::WriteFile(path("drop/three.gba").toStdString(), Bytes(600, 1));
        auto w = window();
        w->host().addRomEntry(RomListEntry::file("/earlier.nds"));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path("drop/one.nds")),
                      QUrl::fromLocalFile(path("drop/three.gba")),
                      QUrl::fromLocalFile(path("drop/folder"))});
        QDragEnterEvent enter(QPoint(100, 200), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(w.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(100, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.get(), &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(w->RomsList->count(), 4);
        QVERIFY(Finishes(*w));

        QCOMPARE(w->RomsList->item(3)->text(), path("drop/folder/two.nds"));
        QCOMPARE(w->romsListView->topLevelItem(0)->childCount(), 3);
        QCOMPARE(Lines(w->logLines(), 3),
                 (QStringList{"Dragged files Scan Started.", "Files dragged Scan Finished.",
                              "4 roms found"}));
        QCOMPARE(w->LabelComplete->text(), QString("Files Trimmed: 0/4"));

        w->DisableStuff();  // busy: a drop is ignored
        w->handleDrop({path("drop/one.nds")});
        QCOMPARE(w->RomsList->count(), 4);
    }

    // Names may hold control characters and "| ": the lists and the log show them as
    // visible characters on one line, and the run reaches the files they name.
    void namesWithControlCharactersStayOneVisibleLine() {
        const QString name = QString("a\nb\x1b[2J| c") + QChar(0x2029) + "d.nds";
        writeRom("roms/" + name);
        testing::WriteFile(
            path("roms/z.zip").toStdString(),
            testing::ZipBuilder()
                .add("m\n| x.nds", NdsImageBuilder().usedSize(600000).size(1048576).build())
                .build());
        auto w = window();
        m_dialogs->folderAnswers.push_back(path("roms"));
        w->ScanButtonClick();
        QVERIFY(Finishes(*w));

        const QString shown = QString("a") + QChar(0x240A) + "b" + QChar(0x241B) + "[2J| c" +
                              QChar(QChar::ReplacementCharacter) + "d.nds";
        const QString member = QString("m") + QChar(0x240A) + "| x.nds";
        QCOMPARE(w->RomsList->count(), 2);
        QCOMPARE(w->RomsList->item(0)->text(), path("roms/") + shown);
        QCOMPARE(w->RomsList->item(1)->text(), "ZIP: " + path("roms/z.zip") + "| " + member);
        QCOMPARE(w->romList().listViewItems()[1]->text(0), w->RomsList->item(1)->text());

        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(w->logLines().mid(3, 2), (QStringList{shown + ": 448576", member + ": 448576"}));
        QCOMPARE(QFileInfo(path("roms/" + name)).size(), 600000);
        QCOMPARE(QFileInfo(path("roms/m\n| x.nds")).size(), 600000);
    }

    void enterOnAFocusedButtonPressesIt() {
        writeRom("k/a.nds");
        auto w = window();
        w->host().addRomEntry(RomListEntry::file(path("k/a.nds").toStdString()));
        w->EnableStuff();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->TrimButton->setFocus();
        QTest::keyClick(w->TrimButton, Qt::Key_Return);
        QVERIFY(Finishes(*w));
        QVERIFY(w->logLines().contains("Processing Finished."));
    }

    // The run's writes go on beside the window: while one is held up (a slow disk), the
    // window keeps handling its events and shows itself busy. "Stop" lets the entry being
    // written complete and halts before the next; its line comes among the run's own.
    void aHeldWriteLeavesTheWindowResponsiveAndStopWaitsForTheEntry() {
        for (const char* name : {"held/a.nds", "held/b.nds", "held/c.nds"}) {
            writeRom(name);
        }
        std::atomic<int> ticks{0};
        HeldWrite held(ticks);
        QTimer ticker;
        auto w = heldRunWindow({"held/a.nds", "held/b.nds", "held/c.nds"}, held, ticker, ticks);
        w->TrimButton->click();
        QVERIFY(held.waitUntilReached());
        held.waitForTicks(4);
        QVERIFY(w->StopButton->isEnabled() && !w->ScanButton->isEnabled());
        QTest::mouseClick(w->StopButton, Qt::LeftButton);
        held.release();
        QVERIFY(Finishes(*w));
        QVERIFY2(held.ticksWhileHeld() >= 4, qPrintable(QString::number(held.ticksWhileHeld())));

        QCOMPARE(Lines(w->logLines(), 3),
                 (QStringList{"a.nds: 448576", "Halt Requested. Stopping Operations...",
                              "Operations Halted"}));
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 1/3"));
        QCOMPARE(QFileInfo(path("held/a.nds")).size(), 600000);
        QCOMPARE(QFileInfo(path("held/a.nds.bak")).size(), 1048576);
        QCOMPARE(QFileInfo(path("held/b.nds")).size(), 1048576);
        QVERIFY(!QFileInfo::exists(path("held/b.nds.bak")));
        QVERIFY(w->ScanButton->isEnabled() && !w->StopButton->isEnabled());
    }

    // Closing during a run stops it first: the entry being written completes, then the
    // window closes and keeps its options.
    void closingDuringARunLetsTheEntryCompleteThenCloses() {
        for (const char* name : {"held/a.nds", "held/b.nds"}) {
            writeRom(name);
        }
        std::atomic<int> ticks{0};
        HeldWrite held(ticks);
        QTimer ticker;
        auto w = heldRunWindow({"held/a.nds", "held/b.nds"}, held, ticker, ticks);
        w->show();
        w->TrimButton->click();
        QVERIFY(held.waitUntilReached());
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        held.release();
        QTRY_VERIFY(!w->isVisible());

        const QStringList log = w->logLines();
        QCOMPARE(Lines(log, 3),
                 (QStringList{"a.nds: 448576", "Halt Requested. Stopping Operations...",
                              "Operations Halted"}));
        QCOMPARE(QFileInfo(path("held/a.nds")).size(), 600000);
        QCOMPARE(QFileInfo(path("held/b.nds")).size(), 1048576);
        QVERIFY(storedSettings().hasKey(kMainSettingsKey));
    }

    // A check box changed while an entry is being written applies from the next entry.
    void aCheckBoxChangedDuringARunAppliesFromTheNextEntry() {
        QDir().mkpath(path("dsi"));
        for (const char* name : {"dsi/a.nds", "dsi/b.nds", "dsi/c.nds"}) {
            testing::WriteFile(path(name).toStdString(), NdsImageBuilder()
                                                             .usedSize(600000)
                                                             .byte(0x12, 2)
                                                             .word(0x210, 700000)
                                                             .size(1048576)
                                                             .build());
        }
        std::atomic<int> ticks{0};
        HeldWrite held(ticks);
        QTimer ticker;
        auto w = heldRunWindow({"dsi/a.nds", "dsi/b.nds", "dsi/c.nds"}, held, ticker, ticks);
        QVERIFY(!w->SkipDSi->isChecked());
        w->TrimButton->click();
        QVERIFY(held.waitUntilReached());
        QTest::mouseClick(w->SkipDSi, Qt::LeftButton);
        QVERIFY(w->SkipDSi->isChecked());
        held.release();
        QVERIFY(Finishes(*w));
        QCOMPARE(Lines(w->logLines(), 3).mid(0, 4),
                 (QStringList{"WARNING: DSi rom: a.nds", "a.nds: 348576",
                              "SKIP: DSi rom, skipping trimming: b.nds",
                              "SKIP: DSi rom, skipping trimming: c.nds"}));
        QCOMPARE(QFileInfo(path("dsi/a.nds")).size(), 700000);
        QCOMPARE(QFileInfo(path("dsi/b.nds")).size(), 1048576);
    }

    // A notice of the run is shown on the window's thread and the run waits for its OK: the
    // next entry's lines come after it.
    void theRunWaitsForItsNoticeToBeAnswered() {
        QDir().mkpath(path("n"));
        testing::WriteFile(path("n/a.nds").toStdString(),
                           NdsImageBuilder().usedSize(100000).size(151361).build());
        writeRom("n/b.nds");
        auto w = window();
        w->host().addRomEntry(RomListEntry::file(path("n/a.nds").toStdString()));
        w->host().addRomEntry(RomListEntry::file(path("n/b.nds").toStdString()));
        QStringList logWhenShown;
        bool onWindowThread = false;
        m_dialogs->onMessage = [&] {
            onWindowThread = QThread::currentThread() == w->thread();
            logWhenShown = w->logLines();
        };
        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(m_dialogs->messages,
                 QStringList{"WARNING: POSSIBLE BRICKER DETECTED!!! CHECK LOG!"});
        QVERIFY(onWindowThread);
        QCOMPARE(logWhenShown.back(), QString("WARNING: POSSIBLE BRICKER: a.nds"));
        QVERIFY(w->logLines().contains("b.nds: 448576"));
    }

    void commandLinePath() {
        writeRom("cl/x.NDS");
        auto single = window({path("cl/x.NDS")});
        QVERIFY(Finishes(*single));
        QCOMPARE(single->RomsList->count(), 1);
        QCOMPARE(single->romsListView->topLevelItem(0)->childCount(), 1);
        QVERIFY(single->TrimButton->isEnabled());
        auto folder = window({path("cl")});
        QVERIFY(Finishes(*folder));
        QCOMPARE(folder->RomsList->count(), 1);
        QCOMPARE(folder->logLines()[3], QString("File Scan Started."));
    }

    // Several paths are listed as a drop of them would be: files, folders, archives.
    void severalCommandLinePathsAreListedAsADrop() {
        writeRom("cl/x.NDS");
        writeRom("cl/sub/y.nds");
        writeRom("z.nds");
        testing::WriteFile(path("a.zip").toStdString(),
                           testing::ZipBuilder().add("m.nds", Bytes(4096, 0)).build());
        auto w = window({path("cl"), path("z.nds"), path("a.zip"), path("none.nds")});
        QVERIFY(Finishes(*w));
        QStringList listed;
        for (int i = 0; i < w->RomsList->count(); ++i) {
            listed << w->RomsList->item(i)->text();
        }
        QCOMPARE(listed.size(), 5);
        QVERIFY(listed.contains(path("cl/x.NDS")) && listed.contains(path("cl/sub/y.nds")));
        QVERIFY(listed.contains(path("z.nds")));
        QVERIFY(listed.contains("ZIP: " + path("a.zip") + "| m.nds"));
        QCOMPARE(w->logLines()[3], QString("Dragged files Scan Started."));
        QCOMPARE(w->LabelComplete->text(), QString("Files Trimmed: 0/5"));
        QVERIFY(w->TrimButton->isEnabled());
    }

    // A new scan lists other roms than the run counted: the counters start again, as after
    // "Clear Searches".
    void aNewScanOrClearResetsTheCounters() {
        writeRom("first/a.nds");
        testing::WriteFile(path("first/bad.nds").toStdString(), Bytes(100, 0));
        writeRom("second/b.nds");
        auto w = window();
        const auto counters = [&] {
            return QStringList{w->wifiLabel->text(), w->errorsLabel->text(),
                               w->skippedLabel->text(), w->LabelComplete->text(),
                               w->LabelSavings->text()};
        };
        for (const bool byScan : {true, false}) {
            w->ClearButtonClick();
            w->host().addRomEntry(RomListEntry::file(path("first/a.nds").toStdString()));
            w->host().addRomEntry(RomListEntry::file(path("first/bad.nds").toStdString()));
            w->EnableStuff();
            w->TrimButtonClick();
            QVERIFY(Finishes(*w));
            QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 2/2"));
            QVERIFY(w->errorsLabel->text() != "Errors:" ||
                    w->skippedLabel->text() != "Files skipped:");
            QVERIFY(w->runProgress->value() > 0);
            if (byScan) {
                m_dialogs->folderAnswers.push_back(path("second"));
                w->ScanButtonClick();
                QVERIFY(Finishes(*w));
                QCOMPARE(counters(), (QStringList{"Wifi games:", "Errors:", "Files skipped:",
                                                  "Files Trimmed: 0/1", "Total Savings:"}));
            } else {
                w->ClearButtonClick();
                QCOMPARE(counters(), (QStringList{"Wifi games:", "Errors:", "Files skipped:",
                                                  "Files Processed:", "Total Savings:"}));
            }
            QCOMPARE(w->runProgress->value(), w->runProgress->minimum());
            QCOMPARE(w->SingleProgress->value(), w->SingleProgress->minimum());
        }
    }

    // SIGTERM, SIGHUP or SIGINT during a run end the program as closing the window does:
    // the entry being written completes, the rest is left, the options are kept. A question
    // open at that moment is cancelled.
    void aTerminationSignalClosesTheWindowAfterTheCurrentEntry_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void aTerminationSignalClosesTheWindowAfterTheCurrentEntry() {
        QFETCH(int, signal);
        for (const char* name : {"sig/a.nds", "sig/b.nds"}) {
            writeRom(name);
        }
        std::atomic<int> ticks{0};
        HeldWrite held(ticks);
        QTimer ticker;
        auto w = heldRunWindow({"sig/a.nds", "sig/b.nds"}, held, ticker, ticks);
        const app::TerminationSignals termination([&w] { w->closeAtTermination(); });
        w->show();
        w->TrimButton->click();
        QVERIFY(held.waitUntilReached());
        // The signal comes while a question is open.
        bool questionReturned = false;
        QTimer::singleShot(0, w.get(), [&] {
            QTimer::singleShot(50, [signal] { std::raise(signal); });
            QMessageBox box(QMessageBox::Question, "t", "open", QMessageBox::Ok, w.get());
            box.exec();
            questionReturned = true;
        });
        QTRY_VERIFY(questionReturned);
        QVERIFY(w->isVisible());  // the entry being written completes first
        held.release();
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(QFileInfo(path("sig/a.nds")).size(), 600000);
        QCOMPARE(QFileInfo(path("sig/b.nds")).size(), 1048576);
        QCOMPARE(QDir(path("sig")).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"a.nds", "a.nds.bak", "b.nds"}));
        QVERIFY(storedSettings().hasKey(kMainSettingsKey));
    }
};

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
