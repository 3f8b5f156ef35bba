#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <set>

#include "bg_wizard.h"
#include "build_settings.h"
#include "crop_wizard.h"
#include "fake_dialogs.h"
#include "settings/main_settings.h"
#include "settings/settings_file.h"
#include "settings/wizard_settings.h"
#include "support/loopback_http_server.h"
#include "support/rom_images.h"
#include "trtrim.h"

using namespace ostravex;
using ostravex::app::TBgWizard;
using ostravex::app::TCropWizard;
using ostravex::app::TRTrim;
using ostravex::testing::FakeDialogs;
using ostravex::testing::LoopbackHttpServer;

namespace {

// A picture with some detail, so that its JPEG is of realistic size.
QImage Picture(int width, int height, QColor tint) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random.bounded(40));
            line[x] = qRgb(std::min(255, tint.red() + noise), std::min(255, tint.green() + noise),
                           std::min(255, (x * 255 / width + tint.blue()) / 2));
        }
    }
    return image;
}

QByteArray Jpeg(const QImage& image, int quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return data;
}

// A JPEG file of exactly `bytes` bytes (padding after the picture's end is ignored by
// decoders), of a plain colour.
void WritePaddedJpeg(const QString& path, int width, int height, QColor colour, qint64 bytes) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data = Jpeg(image, 90);
    QVERIFY(data.size() <= bytes);
    data.append(QByteArray(bytes - data.size(), '\0'));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QColor CentreColour(const QLabel* label) {
    return label->pixmap().toImage().pixelColor(288, 216);
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

}  // namespace

class BackgroundsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeDialogs> m_dialogs;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    void store(const std::vector<std::tuple<std::string_view, std::string, RegValue>>& values) {
        RegFile file;
        (void)LoadSettingsFile(SettingsFilePath(), file);
        for (const auto& [key, name, value] : values) {
            file.set(key, name, value);
        }
        QVERIFY(SaveSettingsFile(SettingsFilePath(), file).ok());
    }
    // Shows the window and waits until the first showing's work, which runs from the event
    // loop, is done.
    static void showAndWait(TRTrim& w) {
        QSignalSpy done(&w, &TRTrim::firstShowingDone);
        w.show();
        if (!done.wait(10000)) {
            QTest::qFail("the first showing never finished", __FILE__, __LINE__);
        }
    }
    // Starts a version check and waits for its answer to be shown.
    static void checkAndWait(TRTrim& w) {
        QSignalSpy answered(&w.versionCheck(), &app::VersionCheckController::checkFinished);
        w.CheckNewVerMouseUp();
        if (!answered.wait(10000)) {
            QTest::qFail("the version check never answered", __FILE__, __LINE__);
        }
    }
    std::unique_ptr<TRTrim> shownWindow() {
        auto w = std::make_unique<TRTrim>(QStringList{}, m_dialogs);
        showAndWait(*w);
        return w;
    }

  private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        m_dialogs = std::make_shared<FakeDialogs>();
    }

    void setBgAcceptsOnlyFullSizedPictures_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("shown");
        QTest::newRow("577 x 432, 15000 bytes") << 577 << qint64(15000) << true;
        QTest::newRow("577 x 432, 14999 bytes") << 577 << qint64(14999) << false;
        QTest::newRow("578 x 432") << 578 << qint64(50000) << false;
    }
    void setBgAcceptsOnlyFullSizedPictures() {
        QFETCH(int, width);
        QFETCH(qint64, bytes);
        QFETCH(bool, shown);
        WritePaddedJpeg(path("bg.jpg"), width, 432, QColor(200, 30, 30), bytes);
        TRTrim w({}, m_dialogs);
        QVERIFY(w.backgrounds().SetBg(path("bg.jpg")));
        QCOMPARE(Near(CentreColour(w.backgroundImage), QColor(200, 30, 30)), shown);
        if (!shown) {
            QCOMPARE(w.logLines().back(), QString("Picture must be 577 x 432 and at least 15 KB. "
                                                  "Use the stretch or cropping wizard"));
        }
    }

    void setBgReportsAPictureThatCannotBeRead() {
        QFile file(path("text.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        TRTrim w({}, m_dialogs);
        QVERIFY(!w.backgrounds().SetBg(path("text.jpg")));
        QCOMPARE(m_dialogs->errors.size(), 1);
    }

    void randomModeShowsEachPictureOverStarts() {
        QDir().mkpath(path("pictures/sub"));
        const QList<QColor> colours{QColor(200, 30, 30), QColor(30, 200, 30), QColor(30, 30, 200)};
        for (int i = 0; i < colours.size(); ++i) {
            WritePaddedJpeg(path(QString("pictures/p%1.jpg").arg(i)), 577, 432, colours[i], 20000);
        }
        WritePaddedJpeg(path("pictures/sub/other.jpg"), 577, 432, Qt::yellow, 20000);
        store({{kMainSettingsKey, "UseBackgrounds_Checked", RegValue::String("TRUE")},
               {kMainSettingsKey, "CheckNewVer_Checked", RegValue::String("FALSE")},
               {kWizardSettingsKey, "BgsPath_Text",
                RegValue::String(path("pictures").toStdString())}});
        std::set<int> seen;
        for (int start = 0; start < 40 && seen.size() < 3; ++start) {
            auto w = shownWindow();
            const QColor shown = CentreColour(w->backgroundImage);
            for (int i = 0; i < colours.size(); ++i) {
                if (Near(shown, colours[i])) {
                    seen.insert(i);
                }
            }
        }
        QCOMPARE(seen.size(), std::size_t{3});
    }

    void fixedModeAndItsFailures() {
        WritePaddedJpeg(path("fixed.JPG"), 577, 432, QColor(30, 200, 30), 20000);
        store({{kMainSettingsKey, "UseBackgrounds_Checked", RegValue::String("TRUE")},
               {kMainSettingsKey, "CheckNewVer_Checked", RegValue::String("FALSE")},
               {kWizardSettingsKey, "FixedBg_Checked", RegValue::String("TRUE")},
               {kWizardSettingsKey, "FixedBgPath_Text",
                RegValue::String(path("fixed.JPG").toStdString())}});
        auto w = shownWindow();
        QVERIFY(Near(CentreColour(w->backgroundImage), QColor(30, 200, 30)));

        store({{kWizardSettingsKey, "FixedBgPath_Text",
                RegValue::String(path("none.jpg").toStdString())}});
        auto missing = shownWindow();
        QCOMPARE(missing->logLines().back(), QString("Background image does't exist"));
        QVERIFY(!missing->backgroundImage->pixmap().isNull());  // the default picture stays
    }

    void emptyFolderPathInRandomMode() {
        store({{kMainSettingsKey, "UseBackgrounds_Checked", RegValue::String("TRUE")},
               {kMainSettingsKey, "CheckNewVer_Checked", RegValue::String("FALSE")}});
        auto w = shownWindow();
        QCOMPARE(w->logLines().mid(3), (QStringList{"", "Wrong backgrounds path."}));
    }

    void disabledBackgroundShowsNothingAndChecksNothing() {
        LoopbackHttpServer server([](const std::string&) {
            return LoopbackHttpServer::Reply(200, "enabled\r\n250\r\n");
        });
        store({{kMainSettingsKey, "DisableBackground_Checked", RegValue::String("TRUE")}});
        auto w = std::make_unique<TRTrim>(QStringList{}, m_dialogs);
        w->versionCheck().setService(QString::fromStdString(server.hostAndPort()),
                                     std::chrono::milliseconds(1000));
        showAndWait(*w);
        QVERIFY(!w->backgroundImage->isVisible());
        QVERIFY(server.requests().empty());
        QCOMPARE(w->logLines(), (QStringList{"Log", "", ""}));
    }

    // "Disable Background" counts from the next start: the window says so and goes on, a
    // run it is doing included; the new state is kept.
    void changingDisableBackgroundAsksForARestartAndGoesOn() {
        auto w = shownWindow();
        QDir().mkpath(path("roms"));
        for (int i = 0; i < 6; ++i) {
            const QString rom = path(QString("roms/r%1.nds").arg(i));
            testing::WriteFile(rom.toStdString(),
                               testing::NdsImageBuilder().usedSize(600000).size(1048576).build());
            w->host().addRomEntry(RomListEntry::file(rom.toStdString()));
        }
        w->EnableStuff();
        w->TrimButtonClick();
        w->DisableBackground->setChecked(true);
        QTRY_COMPARE(m_dialogs->messages, QStringList{"Restart required"});
        QVERIFY(QTest::qWaitFor([&] { return !w->isBusy(); }, 30000));
        QVERIFY(w->isVisible());
        QCOMPARE(w->LabelComplete->text(), QString("Files Processed: 6/6"));
        QVERIFY(w->backgroundImage->isVisible());  // the picture stays until the next start
        RegFile file;
        QTRY_VERIFY(LoadSettingsFile(SettingsFilePath(), file).ok() &&
                    file.find(kMainSettingsKey, "DisableBackground_Checked") &&
                    file.find(kMainSettingsKey, "DisableBackground_Checked")->text == "TRUE");
    }

    void versionCheckReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<bool>("websiteOpened");
        QTest::newRow("latest") << 200 << "enabled\r\n250\r\n"
                                << QStringList{"Checking for new version..",
                                               "You have the latest version"}
                                << QStringList{} << QStringList{} << false;
        QTest::newRow("newer") << 200 << "enabled\n251\n"
                               << QStringList{"Checking for new version.."}
                               << QStringList{"New version found! Build 251 is available"}
                               << QStringList{} << true;
        QTest::newRow("notice") << 200 << "disabled,Closed for today\r\nx\r\n"
                                << QStringList{"Checking for new version.."}
                                << QStringList{"Closed for today"} << QStringList{} << false;
        QTest::newRow("one line") << 200 << "disabled"
                                  << QStringList{"Checking for new version..",
                                                 "Couldn't check for new version"}
                                  << QStringList{} << QStringList{} << false;
        QTest::newRow("server error") << 500 << "oops" << QStringList{"Checking for new version.."}
                                      << QStringList{} << QStringList{"500 Reason"} << false;
    }
    void versionCheckReplies() {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QStringList, log);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, errors);
        QFETCH(bool, websiteOpened);
        LoopbackHttpServer server([&](const std::string&) {
            return LoopbackHttpServer::Reply(status, body.toStdString());
        });
        TRTrim w({}, m_dialogs);
        w.versionCheck().setService(QString::fromStdString(server.hostAndPort()),
                                    std::chrono::milliseconds(1000));
        checkAndWait(w);
        QCOMPARE(w.logLines().mid(3), log);
        QCOMPARE(m_dialogs->messages, messages);
        QCOMPARE(m_dialogs->errors, errors);
        QCOMPARE(m_dialogs->openedUrls, websiteOpened ? QStringList{kWebsiteUrl} : QStringList{});
    }

    void theBoxAndItsLabelDecideWhetherToAsk() {
        LoopbackHttpServer server([](const std::string&) {
            return LoopbackHttpServer::Reply(200, "enabled\r\n250\r\n");
        });
        TRTrim w({}, m_dialogs);
        w.versionCheck().setService(QString::fromStdString(server.hostAndPort()),
                                    std::chrono::milliseconds(1000));
        w.checkNewVerLabelClick();  // switches the check off: no request
        QVERIFY(!w.CheckNewVer->isChecked());
        QVERIFY(!w.versionCheck().checking());
        QVERIFY(server.requests().empty());
        QSignalSpy answered(&w.versionCheck(), &app::VersionCheckController::checkFinished);
        w.checkNewVerLabelClick();  // on again: one request at once
        QVERIFY(w.CheckNewVer->isChecked());
        QVERIFY(answered.wait(10000));
        QCOMPARE(server.requests().size(), std::size_t{1});
        QCOMPARE(w.logLines().back(), QString("You have the latest version"));
    }

    // The request waits on a thread of its own: the window's thread is free at once, however
    // long the server takes, and a second check meanwhile is refused.
    void theCheckWaitsBesideTheWindow() {
        std::atomic<bool> checkReturned = false;
        std::atomic<bool> returnedBeforeTheReply = false;
        LoopbackHttpServer slow([&](const std::string&) {
            for (int waited = 0; !checkReturned && waited < 5000; waited += 10) {
                QThread::msleep(10);
            }
            returnedBeforeTheReply = checkReturned.load();
            return LoopbackHttpServer::Reply(200, "enabled\r\n250\r\n");
        });
        TRTrim w({}, m_dialogs);
        w.versionCheck().setService(QString::fromStdString(slow.hostAndPort()),
                                    std::chrono::milliseconds(20000));
        QSignalSpy answered(&w.versionCheck(), &app::VersionCheckController::checkFinished);
        w.CheckNewVerMouseUp();
        w.CheckNewVerMouseUp();  // while the first one waits
        checkReturned = true;
        QCOMPARE(m_dialogs->errors,
                 QStringList{"The version check is busy with an earlier request"});
        QVERIFY(answered.wait(10000));
        QVERIFY(returnedBeforeTheReply);
        QCOMPARE(w.logLines().mid(3),
                 (QStringList{"Checking for new version..", "You have the latest version"}));
        QCOMPARE(slow.requests().size(), std::size_t{1});
    }

    // A window closed while its check waits gives the request up at once.
    void aWindowClosedDuringTheCheckDoesNotWaitForIt() {
        std::atomic<bool> released = false;
        LoopbackHttpServer silent([&](const std::string&) {
            for (int waited = 0; !released && waited < 10000; waited += 10) {
                QThread::msleep(10);
            }
            return LoopbackHttpServer::Reply(200, "enabled\r\n250\r\n");
        });
        QElapsedTimer clock;
        {
            TRTrim w({}, m_dialogs);
            w.versionCheck().setService(QString::fromStdString(silent.hostAndPort()),
                                        std::chrono::milliseconds(20000));
            w.CheckNewVerMouseUp();
            QTRY_COMPARE(silent.requests().size(), std::size_t{1});
            clock.start();
        }
        const qint64 closing = clock.elapsed();
        released = true;
        QVERIFY2(closing < 5000, qPrintable(QString::number(closing)));
    }

    void aBuildWithoutAServiceAsksNobodyAndSaysNothing() {
        TRTrim w({}, m_dialogs);
        w.CheckNewVerMouseUp();
        QVERIFY(!w.versionCheck().checking());
        QCOMPARE(w.logLines(), (QStringList{"Log", "", ""}));
        QVERIFY(m_dialogs->errors.isEmpty());
    }

    void wizardButtonMessages() {
        TRTrim w({}, m_dialogs);
        w.backgrounds().BgChangeButClick();
        w.DisableBackground->setChecked(true);
        w.backgrounds().BgChangeButClick();
        QCOMPARE(m_dialogs->messages,
                 (QStringList{"Backgrounds are disabled", "Background is disabled"}));
    }

    void wizardLoadsStretchesAndSaves() {
        const QImage photo = Picture(800, 600, QColor(90, 120, 60));
        QFile file(path("photo.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Jpeg(photo, 85));
        file.close();
        TBgWizard wizard(*m_dialogs, {});
        m_dialogs->openAnswer = path("photo.jpg");
        wizard.LoadPicClick();
        QCOMPARE(wizard.Label3->text(), QString("Current Size: 800x600"));
        QVERIFY(wizard.SavePic->isEnabled() && wizard.OpenCrop->isEnabled() &&
                wizard.StretchPic->isEnabled());
        m_dialogs->saveAnswer = path("out.jpg");
        wizard.SavePicClick();
        QCOMPARE(m_dialogs->messages,
                 QStringList{"Picture must be 577 x 432. Use the stretch or cropping wizard"});
        QVERIFY(!QFile::exists(path("out.jpg")));

        wizard.StretchPicClick();
        QCOMPARE(wizard.Label3->text(), QString("Current Size: 577x432"));
        QCOMPARE(wizard.Image1->size(), QSize(577, 432));
        wizard.SavePicClick();
        QImage saved(path("out.jpg"), "jpeg");
        QCOMPARE(saved.size(), QSize(577, 432));
        QVERIFY(QFileInfo(path("out.jpg")).size() >= 15000);
        TRTrim w({}, m_dialogs);
        QVERIFY(w.backgrounds().SetBg(path("out.jpg")));
        QVERIFY(w.logLines().size() == 3);  // accepted: no log line

        m_dialogs->saveAnswer = path("out.png");
        wizard.SavePicClick();
        QVERIFY(!QFile::exists(path("out.png")));
    }

    void anUnchangedPictureIsSavedAsLoaded() {
        const QByteArray original = Jpeg(Picture(577, 432, QColor(10, 80, 160)), 70);
        QFile file(path("as-is.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(original);
        file.close();
        TBgWizard wizard(*m_dialogs, {});
        m_dialogs->openAnswer = path("as-is.jpg");
        wizard.LoadPicClick();
        m_dialogs->saveAnswer = path("copy.jpg");
        wizard.SavePicClick();
        QFile copy(path("copy.jpg"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), original);
    }

    void cropTakesExactlyTheSelectedPixels() {
        const QImage photo = Picture(800, 600, QColor(120, 40, 90));
        TCropWizard crop(photo);
        QCOMPARE(crop.size(), QSize(830, 670));
        crop.Image1MouseDown(10, 20);
        QCOMPARE(crop.Label1->text(), QString("Left Click on Bottom-Right corner to crop"));
        crop.Image1MouseMove(110, 70);
        QCOMPARE(crop.Label2->text(), QString("100x50"));
        QVERIFY(!crop.FlatButton1->isEnabled());
        crop.Image1MouseDown(587, 452);
        QCOMPARE(crop.Label1->text(), QString("Ready - 577x432"));
        QVERIFY(crop.FlatButton1->isEnabled());
        crop.FlatButton1Click();
        QCOMPARE(crop.croppedImage(), photo.copy(10, 20, 577, 432));
        QCOMPARE(crop.result().image.size(), QSize(577, 432));

        TBgWizard wizard(*m_dialogs, {});
        wizard.takeCrop(crop.result());
        QCOMPARE(wizard.Label3->text(), QString("Current Size: 577x432"));
    }

    void cropCornersInAnyOrderAndEmptyOnes() {
        const QImage photo = Picture(400, 300, QColor(20, 20, 20));
        TCropWizard reversed(photo);
        reversed.Image1MouseDown(300, 200);
        reversed.Image1MouseDown(100, 50);
        QCOMPARE(reversed.Label1->text(), QString("Ready - 200x150"));
        reversed.FlatButton1Click();
        QCOMPARE(reversed.croppedImage(), photo.copy(100, 50, 200, 150));

        TCropWizard empty(photo);
        empty.Image1MouseDown(30, 30);
        empty.Image1MouseDown(30, 90);
        QVERIFY(!empty.FlatButton1->isEnabled());
        empty.FlatButton3Click();
        QCOMPARE(empty.mode(), 1);
        QCOMPARE(empty.Label1->text(), QString("Left Click on Top-Left corner to crop"));
    }

    void cropWindowSizes() {
        QCOMPARE(TCropWizard(QImage(2000, 1500, QImage::Format_RGB32)).size(), QSize(1000, 740));
        // At the narrowest the advice below the buttons takes two lines: the window grows
        // by what the panel needs beyond its usual height, the picture keeps its room.
        TCropWizard small(QImage(100, 50, QImage::Format_RGB32));
        small.layout()->activate();
        QCOMPARE(small.width(), 430);
        QCOMPARE(small.ScrollBox1->height(), 200 - 65);
        QVERIFY(small.height() > 200);
    }

    void wizardChoicesAreKept() {
        WritePaddedJpeg(path("default.jpg"), 577, 432, Qt::gray, 20000);
        QDir().mkpath(path("pics"));
        {
            TBgWizard wizard(*m_dialogs, {});
            m_dialogs->openAnswer = path("default.jpg");
            wizard.FlatButton1Click();
            QCOMPARE(wizard.FixedBgPath->text(), path("default.jpg"));
            m_dialogs->folderAnswers.push_back(path("pics"));
            wizard.FlatButton4Click();
            QCOMPARE(m_dialogs->pickerStarts, QStringList{QString()});
            QCOMPARE(wizard.BgsPath->text(), path("pics") + "/");
            wizard.FixedBg->setChecked(true);
            wizard.done(QDialog::Accepted);
        }
        TBgWizard again(*m_dialogs, {});
        QCOMPARE(again.FixedBgPath->text(), path("default.jpg"));
        QCOMPARE(again.BgsPath->text(), path("pics") + "/");
        QVERIFY(again.FixedBg->isChecked() && !again.RandomBgs->isChecked());
    }
};

QTEST_MAIN(BackgroundsTest)
#include "backgrounds_test.moc"
