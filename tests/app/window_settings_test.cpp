// The main window's options: how they are restored from the store, bound to their controls,
// given to a run, and saved.

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

#include "bg_wizard.h"
#include "log_window.h"
#include "window_test_case.h"

using namespace ostravex;
using ostravex::app::TRTrim;
using ostravex::testing::Bytes;
using ostravex::testing::FakeDialogs;
using ostravex::testing::Finishes;
using ostravex::testing::Lines;
using ostravex::testing::NdsImageBuilder;

class WindowSettingsTest : public QObject, public testing::WindowTestCase {
    Q_OBJECT

  private slots:
    void init() { startInAFreshFolder(); }

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

    // A change is saved soon after it is made, not only when the window closes: a window
    // that is killed keeps what was changed before. Quick changes are saved together, and
    // starting the window writes nothing.
    void aChangeIsSavedWithoutWaitingForTheClose() {
        auto w = window();
        QTest::qWait(600);
        QVERIFY(!QFileInfo::exists(QString::fromStdString(SettingsFilePath())));
        w->SramP->click();
        w->SkipDSi->click();
        w->BlendTrackBar->setValue(180);
        QTRY_VERIFY(storedSettings().find(kMainSettingsKey, "SramP_Checked"));
        const RegFile stored = storedSettings();
        QCOMPARE(stored.find(kMainSettingsKey, "SramP_Checked")->text, std::string("TRUE"));
        QCOMPARE(stored.find(kMainSettingsKey, "SkipDSi_Checked")->text, std::string("TRUE"));
        QCOMPARE(stored.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 180u);
        // What is no control of its own: the stacking, and the folder of the last scan.
        w->TopWind->click();
        QTRY_COMPARE(storedSettings().find(kMainSettingsKey, "TopMostWindow1_AlwaysOnTop")->text,
                     std::string("TRUE"));
        QDir().mkpath(path("roms"));
        m_dialogs->folderAnswers.push_back(path("roms"));
        w->ScanButtonClick();
        QVERIFY(Finishes(*w));
        QTRY_COMPARE(QString::fromStdString(
                         storedSettings().find(kMainSettingsKey, "inputfold_Caption")->text),
                     path("roms") + "/");
        QVERIFY(m_dialogs->errors.isEmpty());
    }

    // A store that cannot be read is reported once, when the first change would be saved,
    // not at every change nor again at the close.
    void anUnreadableStoreIsReportedOnce() {
        const std::string store = SettingsFilePath();
        QDir().mkpath(QFileInfo(QString::fromStdString(store)).path());
        QCOMPARE(mkfifo(store.c_str(), 0600), 0);
        auto w = window();
        w->SramP->click();
        QTRY_COMPARE(m_dialogs->errors.size(), 1);
        w->SkipDSi->click();
        QTest::qWait(600);
        w->close();
        QCOMPARE(m_dialogs->errors.size(), 1);
        QVERIFY(m_dialogs->errors.front().startsWith("Cannot save the settings to"));
    }

    // A store that is a link to a file elsewhere is saved into that file; the link stays.
    void aLinkedStoreStaysALink() {
        const std::string store = SettingsFilePath();
        QDir().mkpath(QFileInfo(QString::fromStdString(store)).path());
        QDir().mkpath(path("dotfiles"));
        const std::string target = path("dotfiles/ostravex.reg").toStdString();
        storeSettings({{"SramP_Checked", RegValue::String("TRUE")}});
        QVERIFY(QFile::rename(QString::fromStdString(store), QString::fromStdString(target)));
        QCOMPARE(symlink(target.c_str(), store.c_str()), 0);
        {
            auto w = window();
            QVERIFY(w->SramP->isChecked());
            w->SkipDSi->click();
            w->close();
        }
        QCOMPARE(QFileInfo(QString::fromStdString(store)).symLinkTarget(),
                 QString::fromStdString(target));
        RegFile stored;
        QVERIFY(LoadSettingsFile(target, stored).ok());
        QCOMPARE(stored.find(kMainSettingsKey, "SkipDSi_Checked")->text, std::string("TRUE"));
        QCOMPARE(stored.find(kMainSettingsKey, "SramP_Checked")->text, std::string("TRUE"));
        QVERIFY(m_dialogs->errors.isEmpty());
    }
};

QTEST_MAIN(WindowSettingsTest)
#include "window_settings_test.moc"
