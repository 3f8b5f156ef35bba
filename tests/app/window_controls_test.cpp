// How the main window looks and how its lists, its frame and the windows it opens behave.

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include "about_window.h"
#include "app_title.h"
#include "log_window.h"
#include "rom_info_window.h"
#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "window_dragger.h"
#include "window_test_case.h"

using namespace ostravex;
using ostravex::app::TRTrim;
using ostravex::testing::Bytes;
using ostravex::testing::FakeDialogs;
using ostravex::testing::Finishes;
using ostravex::testing::Lines;
using ostravex::testing::NdsImageBuilder;

class WindowControlsTest : public QObject, public testing::WindowTestCase {
    Q_OBJECT

  private slots:
    void init() { startInAFreshFolder(); }

    void startsIdleWithTheLogHeader() {
        auto w = window();
        QCOMPARE(w->windowTitle(), QString("Ostravex v2.5 beta - NDS/GBA rom trimmer"));
        QCOMPARE(w->size(), QSize(568, 432));
        QCOMPARE(w->logLines(), (QStringList{"Log", "", ""}));
        QVERIFY(w->ScanButton->isEnabled());
        QVERIFY(!w->TrimButton->isEnabled());
        QVERIFY(!w->StopButton->isEnabled());
        QVERIFY(!w->ClearButton->isEnabled());
        QVERIFY(w->brickerCheckBox->isChecked() && !w->brickerCheckBox->isEnabled());
        QVERIFY(w->ModeOverwrite->isChecked());
        QVERIFY(w->ZipSupport->isChecked() && w->RecurseScan->isChecked());
        QCOMPARE(w->BlendTrackBar->value(), 255);
        QCOMPARE(w->errorsLabel->text(), QString("Errors:"));
        w->EnableStuff();
        QVERIFY(w->CheatsButton->isHidden() && w->Arm7FixBut->isHidden() &&
                w->ThroughBrickCheckBut->isHidden());
    }

    void singleSelectionUnlessProcessSelected() {
        auto w = window();
        QCOMPARE(w->RomsList->selectionMode(), QAbstractItemView::SingleSelection);
        w->ProcessSelect->setChecked(true);
        QCOMPARE(w->RomsList->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(w->romsListView->selectionMode(), QAbstractItemView::ExtendedSelection);
        w->UseListView->setChecked(true);
        QVERIFY(!w->romsListView->isHidden());
        w->UseListView->setChecked(false);
        QVERIFY(w->romsListView->isHidden());
    }

    // Entries of one text in the list box (letter case aside) are selected together: the
    // first item of that text answers for all of them.
    void selectedEntriesOfTheListBoxByTheirFirstItemOfTheirText() {
        auto w = window();
        const char* names[] = {"/roms/A.nds", "/roms/b.nds", "/roms/a.NDS", "/roms/B.NDS"};
        for (const char* name : names) {
            w->host().addRomEntry(RomListEntry::file(name));
        }
        w->ProcessSelect->setChecked(true);
        const auto chosenPaths = [&] {
            std::vector<std::string> paths;
            for (const RomListEntry& entry : w->romList().entriesToProcess(false, true)) {
                paths.push_back(entry.path);
            }
            return paths;
        };
        w->RomsList->item(0)->setSelected(true);
        QCOMPARE(chosenPaths(), (std::vector<std::string>{"/roms/A.nds", "/roms/a.NDS"}));
        w->RomsList->clearSelection();
        w->RomsList->item(3)->setSelected(true);  // not the first of its text
        QCOMPARE(chosenPaths(), std::vector<std::string>{});
        w->RomsList->item(1)->setSelected(true);
        QCOMPARE(chosenPaths(), (std::vector<std::string>{"/roms/b.nds", "/roms/B.NDS"}));
    }

    void headerWindowFromTheSelection() {
        writeRom("Game.NDS");
        testing::WriteFile(path("g.gba").toStdString(), Bytes(600, 1));
        auto w = window();
        w->host().addRomEntry(RomListEntry::file(path("Game.NDS").toStdString()));
        w->host().addRomEntry(RomListEntry::file(path("g.gba").toStdString()));
        w->host().addRomEntry(testing::ZipMember(path("gone.zip").toStdString(), "x.gba"));

        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        auto infos = w->findChildren<app::TRomInfo*>();
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos.front()->windowTitle(), QString("Rom Header Info: Game.NDS"));
        const QStringList report = infos.front()->Memo1->toPlainText().split('\n');
        QCOMPARE(report[0], QString("Game.NDS"));
        QCOMPARE(report[34], QString("Rom Size: 600000"));

        // A GBA image, a file or a member, is no NDS image.
        for (const int row : {1, 2}) {
            w->RomsList->setCurrentRow(row);
            w->romInfoClick();
        }
        QCOMPARE(m_dialogs->messages,
                 (QStringList{"Not an NDS image: g.gba", "Not an NDS image: x.gba"}));
        w->ProcessSelect->setChecked(true);
        w->RomsList->item(0)->setSelected(true);
        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        QCOMPARE(w->findChildren<app::TRomInfo*>().size(), 1);
        QCOMPARE(m_dialogs->messages.size(), 2);
    }

    // The header of an NDS member of an archive is read from the archive: the same report
    // as for the image as a file, its banner far into the member included. An archive that
    // cannot give the member says why.
    void headerWindowOfAnArchiveMember() {
        const std::uint32_t bannerAt = 0x90000;  // past the first block the reader hands on
        Bytes title;
        for (const char c : std::string("Far Title")) {
            title.insert(title.end(), {static_cast<std::uint8_t>(c), 0});
        }
        const Bytes image = NdsImageBuilder()
                                .usedSize(700000)
                                .word(0x68, bannerAt)
                                .bytes(bannerAt + 0x340, title)
                                .size(1048576)
                                .build();
        testing::WriteFile(path("x.nds").toStdString(), image);
        testing::WriteFile(path("a.zip").toStdString(),
                           testing::ZipBuilder().add("sub/x.nds", image).build());
        testing::WriteFile(path("a.rar").toStdString(),
                           testing::RarBuilder().add("x.nds", image).build());
        testing::WriteFile(path("bad.zip").toStdString(),
                           testing::ZipBuilder().add("x.nds", image, 0).build());
        // Stored, cut off before the banner: no directory, the member's data short.
        QFile::resize(path("bad.zip"), 300000);

        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->host().addRomEntry(RomListEntry::file(path("x.nds").toStdString()));
        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        QCOMPARE(w->findChildren<app::TRomInfo*>().size(), 1);
        const QString asFile = w->findChildren<app::TRomInfo*>().front()->Memo1->toPlainText();
        QVERIFY(asFile.contains("English Title: Far Title"));

        for (const RomListEntry& member :
             {testing::ZipMember(path("a.zip").toStdString(), "sub/x.nds"),
              testing::RarMember(path("a.rar").toStdString(), "x.nds")}) {
            w->ClearButtonClick();
            w->host().addRomEntry(member);
            w->EnableStuff();
            w->RomsList->setCurrentRow(0);
            for (app::TRomInfo* shown : w->findChildren<app::TRomInfo*>()) {
                delete shown;
            }
            w->romInfoClick();
            QVERIFY(Finishes(*w));
            const auto infos = w->findChildren<app::TRomInfo*>();
            QCOMPARE(infos.size(), 1);
            QCOMPARE(infos.front()->windowTitle(), QString("Rom Header Info: x.nds"));
            QCOMPARE(infos.front()->Memo1->toPlainText(), asFile);
            QVERIFY(infos.front()->isVisible());
        }
        QVERIFY(m_dialogs->errors.isEmpty());

        for (const RomListEntry& member :
             {testing::ZipMember(path("bad.zip").toStdString(), "x.nds"),
              testing::ZipMember(path("gone.zip").toStdString(), "x.nds"),
              testing::ZipMember(path("a.zip").toStdString(), "other.nds")}) {
            w->ClearButtonClick();
            w->host().addRomEntry(member);
            w->RomsList->setCurrentRow(0);
            w->romInfoClick();
            QVERIFY(Finishes(*w));
        }
        QCOMPARE(m_dialogs->errors.size(), 3);
        QVERIFY(m_dialogs->errors[0].startsWith("Cannot read the header of x.nds in bad.zip: "));
        QVERIFY(m_dialogs->errors[1].startsWith("Cannot read the header of x.nds in gone.zip: "));
        QCOMPARE(m_dialogs->errors[2], QString("Cannot read the header of other.nds in a.zip: "
                                               "the member is not in the archive"));
        QCOMPARE(w->findChildren<app::TRomInfo*>().size(), 1);
    }

    // A new user has scanned nothing and chosen no output folder: the pickers get no folder
    // to show (and so open at the home folder), not the stored default "/".
    void aNewUsersPickersHaveNoFolderToShow() {
        auto w = window();
        QCOMPARE(w->inputfold->text(), QString("/"));
        w->ScanButtonClick();
        w->outputFolderButtonClick();
        QCOMPARE(m_dialogs->pickerTitles, (QStringList{"Pick a folder", "Pick output folder"}));
        QCOMPARE(m_dialogs->pickerStarts, (QStringList{"", ""}));
        // A folder scanned before is where the next scan's picker starts.
        QDir().mkpath(path("roms"));
        m_dialogs->folderAnswers.push_back(path("roms"));
        w->ScanButtonClick();
        QVERIFY(Finishes(*w));
        w->ScanButtonClick();
        QCOMPARE(m_dialogs->pickerStarts.back(), path("roms") + "/");
    }

    // The About box names the version the title bar and --version name.
    void aboutShowsTheProgramsVersion() {
        auto w = window();
        app::TAboutWindow about(w.get());
        const QString firstLine = about.RichEdit1->toPlainText().section('\n', 0, 0);
        QCOMPARE(firstLine, QString("Ostravex ") + app::kAppVersion);
        QVERIFY(w->windowTitle().startsWith(QString("Ostravex v") + app::kAppVersion + " "));
    }

    // A drag inside a list selects the entries it passes over ("Process only selected"); it
    // never moves the window.
    void aDragInAListSelectsWithoutMovingTheWindow_data() {
        QTest::addColumn<bool>("listView");
        QTest::newRow("list box") << false;
        QTest::newRow("report list") << true;
    }
    void aDragInAListSelectsWithoutMovingTheWindow() {
        QFETCH(bool, listView);
        auto w = window();
        for (int i = 0; i < 8; ++i) {
            w->host().addRomEntry(
                RomListEntry::file(path(QString("r%1.nds").arg(i)).toStdString()));
        }
        w->ProcessSelect->setChecked(true);
        w->UseListView->setChecked(listView);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QAbstractItemView* list = listView ? static_cast<QAbstractItemView*>(w->romsListView)
                                           : static_cast<QAbstractItemView*>(w->RomsList);
        const auto entryIndex = [&](int i) {
            if (listView) {
                return w->romsListView->indexFromItem(w->romList().listViewItems()[i]);
            }
            return w->RomsList->model()->index(i, 0);
        };
        const QPoint from = list->visualRect(entryIndex(1)).center();
        const QPoint to = list->visualRect(entryIndex(4)).center();
        const QPoint windowAt = w->pos();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, from);
        for (int step = 1; step <= 4; ++step) {
            QTest::mouseMove(list->viewport(), from + (to - from) * step / 4);
        }
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, to);
        QCOMPARE(w->pos(), windowAt);
        const auto chosen = w->romList().entriesToProcess(listView, true);
        QCOMPARE(chosen.size(), std::size_t{4});
        QCOMPARE(chosen.front().path, path("r1.nds").toStdString());
        QCOMPARE(chosen.back().path, path("r4.nds").toStdString());
    }

    void logWindowSavesWithCrLf() {
        auto w = window();
        w->host().addLog("first");
        app::TLogWindow log(w->logLines(), *m_dialogs);
        QCOMPARE(log.Memo1->toPlainText(), QString("Log\n\n\nfirst"));
        m_dialogs->saveAnswer = path("log.txt");
        log.ShowLogButton->click();
        QFile saved(path("log.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("Log\r\n\r\n\r\nfirst"));
        m_dialogs->saveAnswer.clear();
        QFile::remove(path("log.txt"));
        log.ShowLogButton->click();
        QVERIFY(!QFile::exists(path("log.txt")));
    }

    void logSaveStartsInTheLastFolderUsed() {
        auto w = window();
        QDir().mkpath(path("logs"));
        m_dialogs->saveAnswer = path("logs/first.txt");
        app::TLogWindow(w->logLines(), *m_dialogs).ShowLogButton->click();
        // A fresh log window, as the main window makes one each time.
        m_dialogs->saveAnswer.clear();
        app::TLogWindow(w->logLines(), *m_dialogs).ShowLogButton->click();
        QCOMPARE(m_dialogs->fileDialogStarts, (QStringList{QDir::homePath(), path("logs")}));
        // A folder that has gone since is not offered.
        QDir(path("logs")).removeRecursively();
        app::TLogWindow(w->logLines(), *m_dialogs).ShowLogButton->click();
        QCOMPARE(m_dialogs->fileDialogStarts.back(), QDir::homePath());
    }

    void listViewShowsOnlyGroupsWithEntries() {
        auto w = window();
        const auto shownGroups = [&] {
            QStringList shown;
            for (int i = 0; i < w->romsListView->topLevelItemCount(); ++i) {
                if (!w->romsListView->topLevelItem(i)->isHidden()) {
                    shown << w->romsListView->topLevelItem(i)->text(0);
                }
            }
            return shown;
        };
        QCOMPARE(shownGroups(), QStringList{});
        w->host().addRomEntry(RomListEntry::file(path("a.gba").toStdString()));
        QCOMPARE(shownGroups(), QStringList{"GBA Roms"});
        w->host().addRomEntry(RomListEntry::file(path("b.nds").toStdString()));
        QCOMPARE(shownGroups(), (QStringList{"NDS Roms", "GBA Roms"}));
        w->ClearButtonClick();
        QCOMPARE(shownGroups(), QStringList{});
    }

    // The window's size is fixed: its frame offers the system menu, minimise and close, and
    // no maximise button that would do nothing.
    void theFrameOffersNoMaximise() {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        for (const Qt::WindowFlags flags : {w->windowFlags(), w->windowHandle()->flags()}) {
            QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
            QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        }
    }

    // "Switch Always On" changes the stacking of the window that is shown: it is neither
    // hidden nor made anew (which blinks), and its other flags stay.
    void switchAlwaysOnKeepsTheShownWindow() {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const WId id = w->winId();
        QWindow* shown = w->windowHandle();
        QSignalSpy visibility(shown, &QWindow::visibleChanged);
        for (const bool onTop : {true, false, true}) {
            w->TopWind->click();
            QCOMPARE(w->TopWind->isChecked(), onTop);
            QCOMPARE(w->alwaysOnTop(), onTop);
            QCOMPARE(w->winId(), id);
            QCOMPARE(w->windowHandle(), shown);
            QCOMPARE(shown->flags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            QCOMPARE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            QVERIFY(!shown->flags().testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(w->isVisible());
        }
        QCOMPARE(visibility.count(), 0);
    }

    // A drag by a control moves the window while the left button is held, and only then:
    // the window manager is asked once per press (a second request, sent while it already
    // moves the window, made it follow the pointer after the release), and a window that
    // follows the mouse by hand stops at the release.
    void draggingMovesTheWindowOnlyWhileTheButtonIsHeld_data() {
        QTest::addColumn<bool>("windowManagerMoves");
        QTest::newRow("the window manager moves it") << true;
        QTest::newRow("it follows the mouse by hand") << false;
    }
    void draggingMovesTheWindowOnlyWhileTheButtonIsHeld() {
        QFETCH(bool, windowManagerMoves);
        QWidget window;
        window.setGeometry(200, 200, 300, 200);
        auto* handle = new QLabel("Errors:", &window);
        handle->setGeometry(10, 10, 100, 20);
        int requests = 0;
        app::WindowDragger dragger(window, [&](QWindow&) {
            ++requests;
            return windowManagerMoves;
        });
        dragger.dragBy(handle);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();
        const auto at = [&](QPoint global) { return handle->mapFromGlobal(global); };

        const QPoint pressed = handle->mapToGlobal(QPoint(5, 5));
        QTest::mousePress(handle, Qt::LeftButton, {}, at(pressed));
        for (const QPoint step : {QPoint(10, 3), QPoint(20, 6), QPoint(30, 11)}) {
            QTest::mouseMove(handle, at(pressed + step));
        }
        QCOMPARE(requests, 1);
        const QPoint released = pressed + QPoint(30, 11);
        QCOMPARE(window.pos(), windowManagerMoves ? start : start + QPoint(30, 11));
        const QPoint afterDrag = window.pos();
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at(released));
        QTest::mouseMove(handle, at(released + QPoint(40, 25)));
        QTest::mouseMove(handle, at(released + QPoint(80, 50)));
        QCOMPARE(window.pos(), afterDrag);
        QCOMPARE(requests, 1);

        // The next drag asks again.
        QTest::mousePress(handle, Qt::LeftButton, {}, at(released));
        QTest::mouseMove(handle, at(released + QPoint(5, 5)));
        QTest::mouseMove(handle, at(released + QPoint(9, 9)));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at(released + QPoint(9, 9)));
        QCOMPARE(requests, 2);
        // The right button drags nothing.
        const QPoint beforeRight = window.pos();
        QTest::mousePress(handle, Qt::RightButton, {}, at(released));
        QTest::mouseMove(handle, at(released + QPoint(15, 15)));
        QTest::mouseRelease(handle, Qt::RightButton, {}, at(released + QPoint(15, 15)));
        QCOMPARE(window.pos(), beforeRight);
        QCOMPARE(requests, 2);
    }
};

QTEST_MAIN(WindowControlsTest)
#include "window_controls_test.moc"
