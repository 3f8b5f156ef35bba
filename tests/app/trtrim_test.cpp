#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "bg_wizard.h"
#include "fake_dialogs.h"
#include "log_window.h"
#include "rom_info_window.h"
#include "settings/main_settings.h"
#include "settings/settings_file.h"
#include "settings/wizard_settings.h"
#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/rom_images.h"
#include "trtrim.h"
#include "window_dragger.h"

using namespace ostravex;
using ostravex::app::TRTrim;
using ostravex::testing::Bytes;
using ostravex::testing::FakeDialogs;
using ostravex::testing::NdsImageBuilder;

namespace {

QStringList Lines(const QStringList& log, int from) {
    return log.mid(from);
}

// Whether the window's scan or run ends, everything it reported shown, within a while.
bool Finishes(const TRTrim& w) {
    return QTest::qWaitFor([&] { return !w.isBusy(); }, 30000);
}

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
    void waitForTicks(int ticks) const {
        QTest::qWaitFor([&] { return m_ticks - m_ticksAtHold >= ticks || m_released; }, 2000);
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

class TRTrimTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeDialogs> m_dialogs;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<TRTrim> window(const QStringList& arguments = {}) {
        return std::make_unique<TRTrim>(arguments, m_dialogs);
    }
    void writeRom(const QString& name, std::uint32_t used = 600000) {
        QDir().mkpath(QFileInfo(path(name)).path());
        testing::WriteFile(path(name).toStdString(),
                           NdsImageBuilder().usedSize(used).size(1048576).build());
    }
    void storeSettings(const std::vector<std::pair<std::string, RegValue>>& values) {
        RegFile file;
        for (const auto& [name, value] : values) {
            file.set(kMainSettingsKey, name, value);
        }
        QVERIFY(SaveSettingsFile(SettingsFilePath(), file).ok());
    }
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
    RegFile storedSettings() const {
        RegFile file;
        (void)LoadSettingsFile(SettingsFilePath(), file);
        return file;
    }

  private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        m_dialogs = std::make_shared<FakeDialogs>();
    }

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

    void settingsRoundTrip() {
        const QString out = path("out");
        QDir().mkpath(out);
        {
            auto w = window();
            w->SramP->setChecked(true);
            w->SkipDSi->setChecked(true);
            w->RecurseScan->setChecked(false);
            w->UseListView->setChecked(true);
            w->BlendTrackBar->setValue(180);
            m_dialogs->folderAnswers.push_back(out);
            w->ModeFolder->setChecked(true);  // opens the picker: the field is empty
            QCOMPARE(w->outputFolderEdit->text(), out + "/");
            w->close();
        }
        const RegFile stored = storedSettings();
        QCOMPARE(QString::fromStdString(stored.find(kMainSettingsKey, "SramP_Checked")->text),
                 QString("TRUE"));
        QCOMPARE(stored.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 180u);
        QCOMPARE(stored.find(kMainSettingsKey, "FormVersion")->type, RegValue::Type::Dword);

        auto again = window();
        QVERIFY(again->SramP->isChecked() && again->SkipDSi->isChecked());
        QVERIFY(!again->RecurseScan->isChecked());
        QVERIFY(again->UseListView->isChecked());
        QCOMPARE(again->BlendTrackBar->value(), 180);
        QVERIFY(again->ModeFolder->isChecked());
        QCOMPARE(again->outputFolderEdit->text(), out + "/");
        QCOMPARE(m_dialogs->pickerTitles.size(), 1);  // no picker at the restart
    }

    void settingsReadRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("expected");  // check state, or slider position
        QTest::newRow("yes") << "SramP_Checked"
                             << "yes"
                             << "SramP" << 1;
        QTest::newRow("n") << "RecurseScan_Checked"
                           << "n"
                           << "RecurseScan" << 0;
        QTest::newRow("1") << "SramP_Checked"
                           << "1"
                           << "SramP" << 1;
        QTest::newRow("word") << "SramP_Checked"
                              << "maybe"
                              << "SramP" << 0;
        QTest::newRow("word keeps default on") << "ZipSupport_Checked"
                                               << "maybe"
                                               << "ZipSupport" << 1;
        QTest::newRow("opacity 50") << "BlendTrackBar_Position"
                                    << "50"
                                    << "BlendTrackBar" << 100;
        QTest::newRow("opacity 300") << "BlendTrackBar_Position"
                                     << "300"
                                     << "BlendTrackBar" << 255;
    }
    void settingsReadRules() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, control);
        QFETCH(int, expected);
        storeSettings({{name.toStdString(), RegValue::String(text.toStdString())}});
        auto w = window();
        if (auto* slider = w->findChild<QSlider*>(control)) {
            QCOMPARE(slider->value(), expected);
            QCOMPARE(w->windowOpacity(), expected / 255.0);
        } else {
            QCOMPARE(w->findChild<QCheckBox*>(control)->isChecked(), expected == 1);
        }
    }

    // The stored file options and the always-on-top state reach their controls.
    void storedFileOptionAndStacking_data() {
        QTest::addColumn<QString>("overwrite");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("onTop");
        QTest::addColumn<QString>("checked");
        QTest::newRow("two TRUE: the later one") << "TRUE"
                                                 << "TRUE"
                                                 << "FALSE"
                                                 << "ModeBackup";
        QTest::newRow("all FALSE: Overwrite") << "FALSE"
                                              << "FALSE"
                                              << "FALSE"
                                              << "ModeOverwrite";
        QTest::newRow("on top") << "TRUE"
                                << "FALSE"
                                << "TRUE"
                                << "ModeOverwrite";
    }
    void storedFileOptionAndStacking() {
        QFETCH(QString, overwrite);
        QFETCH(QString, backup);
        QFETCH(QString, onTop);
        QFETCH(QString, checked);
        storeSettings({{"ModeOverwrite_Checked", RegValue::String(overwrite.toStdString())},
                       {"ModeBackup_Checked", RegValue::String(backup.toStdString())},
                       {"ModeFolder_Checked", RegValue::String("FALSE")},
                       {"TopMostWindow1_AlwaysOnTop", RegValue::String(onTop.toStdString())}});
        auto w = window();
        for (const QRadioButton* mode : {w->ModeOverwrite, w->ModeBackup, w->ModeFolder}) {
            QVERIFY2(mode->isChecked() == (mode->objectName() == checked),
                     qPrintable(mode->objectName()));
        }
        const bool stacked = onTop == "TRUE";
        QCOMPARE(w->alwaysOnTop(), stacked);
        QCOMPARE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint), stacked);
        QVERIFY(!w->TopWind->isChecked());  // the button keeps its own stored state
        w->close();
        QCOMPARE(storedSettings().find(kMainSettingsKey, "TopMostWindow1_AlwaysOnTop")->text,
                 std::string(stacked ? "TRUE" : "FALSE"));
    }

    void negativeFormVersionRestoresNothing() {
        storeSettings({{"FormVersion", RegValue::Dword(0xFFFFFFFF)},
                       {"SramP_Checked", RegValue::String("TRUE")}});
        auto w = window();
        QVERIFY(!w->SramP->isChecked());
        w->close();
        QCOMPARE(storedSettings().find(kMainSettingsKey, "FormVersion")->dword, 0u);
    }

    void outputFolderFixUp_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("pickerAnswers");
        QTest::addColumn<bool>("folderModeKept");
        QTest::newRow("folder gone") << "/no/such/folder/" << false << false;
        QTest::newRow("empty, picked") << "" << true << true;
        QTest::newRow("empty, cancelled") << "" << false << false;
    }
    void outputFolderFixUp() {
        QFETCH(QString, folder);
        QFETCH(bool, pickerAnswers);
        QFETCH(bool, folderModeKept);
        QDir().mkpath(path("picked"));
        if (pickerAnswers) {
            m_dialogs->folderAnswers.push_back(path("picked"));
        }
        storeSettings({{"Edit1_Text", RegValue::String(folder.toStdString())},
                       {"ModeFolder_Checked", RegValue::String("TRUE")}});
        auto w = window();
        QCOMPARE(w->ModeFolder->isChecked(), folderModeKept);
        QCOMPARE(w->ModeOverwrite->isChecked(), !folderModeKept);
        QCOMPARE(w->outputFolderEdit->text(), folderModeKept ? path("picked") + "/" : QString());
        QCOMPARE(m_dialogs->pickerTitles.size(), folder.isEmpty() ? 1 : 0);
    }

    void aFailedSaveIsShownAndTheCloseGoesAhead() {
        testing::WriteFile(path("blocker").toStdString(), Bytes(1, 0));
        qputenv("XDG_CONFIG_HOME", path("blocker").toUtf8());
        auto w = window();
        w->show();
        QVERIFY(w->close());
        QCOMPARE(m_dialogs->errors.size(), 1);
        QVERIFY(m_dialogs->errors.front().startsWith("Cannot save the settings"));
        QVERIFY(m_dialogs->errors.front().endsWith(": Not a directory"));
    }

    // Every on/off control of the window, stored under its own name: one flipped control
    // changes its value and no other.
    void everyCheckBoxIsStoredUnderItsName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("control");
        const std::pair<const char*, const char*> rows[] = {
            {"RecurseScan_Checked", "RecurseScan"},
            {"ZipSupport_Checked", "ZipSupport"},
            {"ProcessSelect_Checked", "ProcessSelect"},
            {"TopWind_Down", "TopWind"},
            {"UseBackgrounds_Checked", "UseBackgrounds"},
            {"CheckNewVer_Checked", "CheckNewVer"},
            {"RemoveNames_Checked", "RemoveNames"},
            {"DisableBackground_Checked", "DisableBackground"},
            {"SramP_Checked", "SramP"},
            {"OnlyPatch_Checked", "OnlyPatch"},
            {"notoverwrite_Checked", "notoverwrite"},
            {"UseListView_Checked", "UseListView"},
            {"SkipDSi_Checked", "SkipDSi"},
        };
        for (const auto& [name, control] : rows) {
            QTest::newRow(name) << name << control;
        }
    }
    void everyCheckBoxIsStoredUnderItsName() {
        QFETCH(QString, name);
        QFETCH(QString, control);
        window()->close();
        const RegFile untouched = storedSettings();
        bool flipped = false;
        {
            auto w = window();
            auto* box = w->findChild<QAbstractButton*>(control);
            QVERIFY(box);
            flipped = !box->isChecked();
            box->setChecked(flipped);
            w->close();
        }
        RegFile expected = untouched;
        expected.set(kMainSettingsKey, name.toStdString(),
                     RegValue::String(flipped ? "TRUE" : "FALSE"));
        QCOMPARE(QString::fromStdString(storedSettings().Serialize()),
                 QString::fromStdString(expected.Serialize()));
        QCOMPARE(window()->findChild<QAbstractButton*>(control)->isChecked(), flipped);
    }

    // A run reads the options as the controls show them at that moment.
    void runOptionsFollowTheControls() {
        auto w = window();
        QCOMPARE(w->runOptions().current(), RunOptions());
        const std::pair<QAbstractButton*, bool RunOptions::*> rows[] = {
            {w->notoverwrite, &RunOptions::dontOverwrite},
            {w->SramP, &RunOptions::sramPatch},
            {w->OnlyPatch, &RunOptions::onlyPatch},
            {w->SkipDSi, &RunOptions::skipDsi},
            {w->RemoveNames, &RunOptions::removeSceneNumbers},
            {w->RecurseScan, &RunOptions::recursiveScan},
            {w->ZipSupport, &RunOptions::scanArchives},
        };
        for (const auto& [box, field] : rows) {
            RunOptions expected = w->runOptions().current();
            expected.*field = !box->isChecked();
            box->click();
            QVERIFY2(w->runOptions().current() == expected, qPrintable(box->objectName()));
        }
        w->ModeBackup->click();
        QCOMPARE(w->runOptions().current().fileMode, FileMode::Backup);
        QDir().mkpath(path("out"));
        m_dialogs->folderAnswers.push_back(path("out"));
        w->ModeFolder->click();
        QCOMPARE(w->runOptions().current().fileMode, FileMode::Folder);
        QCOMPARE(QString::fromStdString(w->runOptions().current().outputFolder), path("out") + "/");
    }

    // A stored output folder without its "/" once had the output's name glued to it.
    void anOutputFolderStoredWithoutItsSlashIsWrittenInto() {
        QDir().mkpath(path("out"));
        writeRom("roms/plain.nds");
        storeSettings({{"Edit1_Text", RegValue::String(path("out").toStdString())},
                       {"ModeFolder_Checked", RegValue::String("TRUE")}});
        auto w = window({path("roms/plain.nds")});
        QVERIFY(Finishes(*w));
        QVERIFY(w->ModeFolder->isChecked());
        QCOMPARE(w->outputFolderEdit->text(), path("out") + "/");
        w->TrimButtonClick();
        QVERIFY(Finishes(*w));
        QCOMPARE(QFileInfo(path("out/plain.nds")).size(), 600000);
        QVERIFY(!QFileInfo::exists(path("outplain.nds")));
    }

    // What stands at the store's path and cannot be read is left as it is, and the windows
    // start with their defaults (neither waiting on a fifo nor reading an endless device).
    void anUnreadableStoreIsLeftAsItIs_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no read permission") << "unreadable";
        QTest::newRow("larger than 1 MiB") << "large";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
    }
    void anUnreadableStoreIsLeftAsItIs() {
        QFETCH(QString, kind);
        const std::string store = SettingsFilePath();
        QDir().mkpath(QFileInfo(QString::fromStdString(store)).path());
        const std::string groups =
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ostravex]\r\n"
            "\"SramP_Checked\"=\"TRUE\"\r\n\r\n[HKEY_CURRENT_USER\\Ostravex\\Bgs]\r\n"
            "\"BgsPath_Text\"=\"/pictures/\"\r\n";
        const std::string large = groups + "; " + std::string(1 << 20, 'x') + "\r\n";
        if (kind == "unreadable") {
            if (geteuid() == 0) {
                QSKIP("root reads every file");
            }
            testing::WriteFile(store, Bytes(groups.begin(), groups.end()));
            QCOMPARE(chmod(store.c_str(), 0200), 0);
        } else if (kind == "large") {
            testing::WriteFile(store, Bytes(large.begin(), large.end()));
        } else if (kind == "fifo") {
            QCOMPARE(mkfifo(store.c_str(), 0600), 0);
        } else {
            QCOMPARE(symlink("/dev/zero", store.c_str()), 0);
        }
        {
            auto w = window();
            QVERIFY(!w->SramP->isChecked());  // the defaults
            w->SkipDSi->setChecked(true);
            w->close();
            app::TBgWizard wizard(*m_dialogs, {});
            QCOMPARE(wizard.BgsPath->text(), QString());
            wizard.done(QDialog::Accepted);
        }
        QCOMPARE(m_dialogs->errors.size(), 2);  // one for each window that could not save
        QVERIFY(m_dialogs->errors.front().startsWith("Cannot save the settings to"));
        const QFileInfo after(QString::fromStdString(store));
        if (kind == "unreadable") {
            QCOMPARE(chmod(store.c_str(), 0600), 0);
            QCOMPARE(testing::ReadFile(store), Bytes(groups.begin(), groups.end()));
        } else if (kind == "large") {
            QCOMPARE(testing::ReadFile(store), Bytes(large.begin(), large.end()));
        } else if (kind == "fifo") {
            struct stat info {};
            QCOMPARE(lstat(store.c_str(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        } else {
            QCOMPARE(after.symLinkTarget(), QString("/dev/zero"));
        }
    }

    // The log's "Save As" and the wizard's picture dialogs start where they were left, also
    // after a restart.
    void fileDialogsStartWhereTheyWereLeftAtTheLastStart() {
        QDir().mkpath(path("logs"));
        QDir().mkpath(path("pictures"));
        {
            auto w = window();
            m_dialogs->saveAnswer = path("logs/first.txt");
            app::TLogWindow(w->logLines(), *m_dialogs).ShowLogButton->click();
            app::TBgWizard wizard(*m_dialogs, {});
            m_dialogs->openAnswer = path("pictures/missing.jpg");
            wizard.LoadPicClick();
            wizard.done(QDialog::Rejected);
            w->close();
        }
        m_dialogs = std::make_shared<FakeDialogs>();
        auto w = window();
        app::TLogWindow(w->logLines(), *m_dialogs).ShowLogButton->click();
        app::TBgWizard wizard(*m_dialogs, {});
        wizard.LoadPicClick();
        QCOMPARE(m_dialogs->fileDialogStarts, (QStringList{path("logs"), path("pictures")}));
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

    void headerWindowFromTheSelection() {
        writeRom("Game.NDS");
        testing::WriteFile(path("g.gba").toStdString(), Bytes(600, 1));
        auto w = window();
        w->host().addRomEntry(RomListEntry::file(path("Game.NDS").toStdString()));
        w->host().addRomEntry(RomListEntry::file(path("g.gba").toStdString()));
        w->host().addRomEntry(testing::ZipMember(path("a.zip").toStdString(), "x.nds"));

        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        auto infos = w->findChildren<app::TRomInfo*>();
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos.front()->windowTitle(), QString("Rom Header Info: Game.NDS"));
        const QStringList report = infos.front()->Memo1->toPlainText().split('\n');
        QCOMPARE(report[0], QString("Game.NDS"));
        QCOMPARE(report[34], QString("Rom Size: 600000"));

        w->RomsList->setCurrentRow(1);
        w->romInfoClick();
        QCOMPARE(m_dialogs->messages, QStringList{"Only uncompressed roms supported"});
        w->RomsList->setCurrentRow(2);
        w->romInfoClick();
        w->ProcessSelect->setChecked(true);
        w->RomsList->item(0)->setSelected(true);
        w->RomsList->setCurrentRow(0);
        w->romInfoClick();
        QCOMPARE(w->findChildren<app::TRomInfo*>().size(), 1);
        QCOMPARE(m_dialogs->messages.size(), 1);
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
        auto two = window({path("cl"), path("cl")});
        QCOMPARE(two->RomsList->count(), 0);
    }
};

QTEST_MAIN(TRTrimTest)
#include "trtrim_test.moc"
