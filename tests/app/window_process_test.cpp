// The window program as a process: what it says without a display, its usage errors, and
// its end on a termination signal.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "app_title.h"
#include "host/license_notice.h"
#include "window_command_line.h"

using ostravex::app::ParseWindowCommandLine;
using ostravex::app::WindowCommandLine;

namespace {

struct Finished {
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
    }
    return environment;
}

Finished Run(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(OSTRAVEX_WINDOW, arguments);
    Finished result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitCode();
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

}  // namespace

class WindowProcessTest : public QObject {
    Q_OBJECT

  private slots:
    // Over ssh, or from a console: no window system to open the window on. Also one that is
    // named but cannot be reached.
    void withoutADisplayItSaysSo_data() {
        QTest::addColumn<QString>("display");
        QTest::newRow("no display named") << QString();
        QTest::newRow("a display that is not there") << ":97";
    }
    void withoutADisplayItSaysSo() {
        QFETCH(QString, display);
        QProcessEnvironment environment = WithoutDisplay();
        if (!display.isEmpty()) {
            environment.insert("DISPLAY", display);
        }
        const Finished finished = Run({}, environment);
        QVERIFY(!finished.crashed);
        QCOMPARE(finished.exitCode, 1);
        QCOMPARE(finished.err, QString("ostravex: no display; for a terminal use ostravex-cli\n"));
        QVERIFY(finished.out.isEmpty());
    }

    // Usage errors come first, with or without a display.
    void unknownOptionsAreUsageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate"} << "ostravex: unknown option: --frobnicate\n";
        QTest::newRow("after a path")
            << QStringList{"roms", "-x"} << "ostravex: unknown option: -x\n";
        QTest::newRow("a Qt option without its value") << QStringList{"-platform"}
                                                       << "ostravex: option -platform needs a "
                                                          "value\n";
    }
    void unknownOptionsAreUsageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        for (const bool display : {false, true}) {
            QProcessEnvironment environment = WithoutDisplay();
            if (display) {
                environment.insert("QT_QPA_PLATFORM", "offscreen");
            }
            const Finished finished = Run(arguments, environment);
            QCOMPARE(finished.exitCode, 2);
            QCOMPARE(finished.err, error + "Try 'ostravex --help'.\n");
        }
    }

    void versionAndHelpNeedNoDisplay() {
        const Finished version = Run({"--version"}, WithoutDisplay());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QString("ostravex %1\n").arg(ostravex::app::kAppVersion) +
                                  ostravex::kLicenseNotice);
        const Finished help = Run({"-h"}, WithoutDisplay());
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Usage: ostravex [OPTION]... [PATH]...\n"));
    }

    // Qt's own options and the paths between them.
    void theCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("platformGiven");
        QTest::newRow("paths") << QStringList{"a.nds", "roms", "-"}
                               << QStringList{"a.nds", "roms", "-"} << false;
        QTest::newRow("Qt options with values")
            << QStringList{"-platform", "offscreen", "x", "-style=fusion", "--stylesheet", "s.qss"}
            << QStringList{"x"} << true;
        QTest::newRow("Qt flags") << QStringList{"-reverse", "y", "--widgetcount"}
                                  << QStringList{"y"} << false;
        QTest::newRow("names after --") << QStringList{"--", "--help", "-platform"}
                                        << QStringList{"--help", "-platform"} << false;
    }
    void theCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, paths);
        QFETCH(bool, platformGiven);
        std::vector<std::string> given;
        for (const QString& argument : arguments) {
            given.push_back(argument.toStdString());
        }
        const WindowCommandLine parsed = ParseWindowCommandLine(given);
        QCOMPARE(static_cast<int>(parsed.action),
                 static_cast<int>(WindowCommandLine::Action::OpenWindow));
        QStringList listed;
        for (const std::string& path : parsed.paths) {
            listed << QString::fromStdString(path);
        }
        QCOMPARE(listed, paths);
        QCOMPARE(parsed.platformGiven, platformGiven);
    }

    // SIGTERM, SIGHUP and SIGINT close the window as its close box does: exit status 0, the
    // options saved.
    void aTerminationSignalEndsTheProgramAsAClose_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void aTerminationSignalEndsTheProgramAsAClose() {
        QFETCH(int, signal);
        QTemporaryDir home;
        QDir().mkpath(home.filePath("roms"));
        QProcessEnvironment environment = WithoutDisplay();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("HOME", home.path());
        QProcess process;
        process.setProcessEnvironment(environment);
        // Started with a folder, and a name that leads nowhere.
        process.start(OSTRAVEX_WINDOW, {home.filePath("roms"), home.filePath("none.nds")});
        QVERIFY(process.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(process.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QFile settings(home.filePath("config/ostravex/settings.reg"));
        QVERIFY(settings.exists());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(
            err.contains("ostravex: " + home.filePath("none.nds") + ": no such file or folder\n"),
            qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(WindowProcessTest)
#include "window_process_test.moc"
