#include "app/App.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "data/Database.h"
#include "platform/Folders.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

using namespace velmora;

namespace {

QString modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("<missing>");
    return QString::number(st.st_mode & 07777, 8);
}

// The real program, offscreen, with a home of its own so nothing of the
// machine's user is touched.
struct Program {
    QProcess process;
    explicit Program(const QString& home, const QProcessEnvironment& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        for (const QString& key : {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("VELMORA_DATA")})
            env.remove(key);
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        QDir(home).mkpath(QStringLiteral("run"));
        QFile::setPermissions(home + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        process.setProcessEnvironment(env);
    }
    int runToEnd(const QStringList& arguments) {
        process.start(QStringLiteral(VELMORA_BINARY), arguments);
        if (!process.waitForFinished(20000))
            return -1;
        return process.exitCode();
    }
};

bool waitFor(const QString& path, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(path) && clock.elapsed() < timeoutMs)
        QTest::qWait(50);
    return QFileInfo::exists(path);
}

} // namespace

class TestDataFolder : public QObject {
    Q_OBJECT

private slots:
    void theDataFolderIsChosenInOrder_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("legacyFolder"); // made beside the executable
        QTest::addColumn<QString>("expected");     // "option", "variable", "exe", "user"
        QTest::newRow("nothing given") << ""
                                       << ""
                                       << ""
                                       << "user";
        QTest::newRow("option") << "opt"
                                << "var"
                                << "DBM"
                                << "option";
        QTest::newRow("variable") << ""
                                  << "var"
                                  << "DBM"
                                  << "variable";
        QTest::newRow("an earlier build's DBM") << ""
                                                << ""
                                                << "DBM"
                                                << "exe";
        QTest::newRow("its name in another case") << ""
                                                  << ""
                                                  << "dbm"
                                                  << "exe";
        QTest::newRow("a file named DBM is no data") << ""
                                                     << ""
                                                     << "file:DBM"
                                                     << "user";
        QTest::newRow("a DBM beside an installed executable") << ""
                                                              << ""
                                                              << "installed:DBM"
                                                              << "user";
    }
    void theDataFolderIsChosenInOrder() {
        QFETCH(QString, option);
        QFETCH(QString, variable);
        QFETCH(QString, legacyFolder);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QString exe = root.filePath("bin");
        QDir(root.path()).mkpath("bin");
        // A build tree holds the skins beside the executable; an installation
        // does not.
        if (!legacyFolder.startsWith("installed:"))
            QFile(QDir(exe).filePath("office2007.skn")).open(QIODevice::WriteOnly);
        else
            legacyFolder = legacyFolder.mid(10);
        if (legacyFolder.startsWith("file:")) {
            QFile f(QDir(exe).filePath(legacyFolder.mid(5)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (!legacyFolder.isEmpty()) {
            QDir(exe).mkpath(legacyFolder);
        }
        const QString opt = option.isEmpty() ? QString() : root.filePath(option);
        const QString var = variable.isEmpty() ? QString() : root.filePath(variable);
        const QString user = root.filePath("home/.local/share/velmora");
        const QString chosen = chooseDataFolder(opt, var, exe, user);
        const QString want = expected == "option"     ? opt
                             : expected == "variable" ? var
                             : expected == "exe"      ? exe
                                                      : user;
        QCOMPARE(chosen, QDir::cleanPath(want));
    }

    void aNewDataFolderIsPrivateWhateverTheUmask() {
        QTemporaryDir root;
        const mode_t old = ::umask(0);
        QString error;
        const QString folder = root.filePath("a/b/velmora");
        const bool ok = prepareDataFolder(folder, &error);
        ::umask(old);
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(modeOf(folder), QString("700"));
        QCOMPARE(modeOf(folder + "/Back"), QString("700"));
    }

    void anExistingFolderKeepsItsMode() {
        QTemporaryDir root;
        QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::ExeGroup);
        QString error;
        QVERIFY(prepareDataFolder(root.path(), &error));
        QCOMPARE(modeOf(root.path()), QString("750"));
    }

    void aFolderThatCannotBeMadeIsNamedInPersian_data() {
        QTest::addColumn<QString>("relative");
        // Under a plain file nothing can be created, not even by root.
        QTest::newRow("a file stands where a folder must go") << "file/velmora";
        QTest::newRow("the folder is a file") << "file";
    }
    void aFolderThatCannotBeMadeIsNamedInPersian() {
        QFETCH(QString, relative);
        QTemporaryDir root;
        QFile f(root.filePath("file"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString error;
        const QString folder = root.filePath(relative);
        QVERIFY(!prepareDataFolder(folder, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(folder)), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("پوشه اطلاعات")));
    }

    void resourcesAreFoundInTheBuildTreeAndWhenInstalled() {
        QTemporaryDir root;
        // The build tree: skins beside the executable.
        QDir(root.path()).mkpath("build");
        QFile(root.filePath("build/office2007.skn")).open(QIODevice::WriteOnly);
        QCOMPARE(findResourceFolder(root.filePath("build")), root.filePath("build"));
        // An installation: bin/velmora with share/velmora beside bin.
        QDir(root.path()).mkpath("usr/bin");
        QDir(root.path()).mkpath("usr/share/velmora");
        QFile(root.filePath("usr/share/velmora/office2007.skn")).open(QIODevice::WriteOnly);
        QCOMPARE(findResourceFolder(root.filePath("usr/bin")), root.filePath("usr/share/velmora"));
        QCOMPARE(findResourceFolder(root.filePath("nowhere")), QString());
    }

    void theCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("dataFolder");
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << int(A::Run) << "";
        QTest::newRow("--data") << QStringList{"--data", "/x"} << int(A::Run) << "/x";
        QTest::newRow("--data=") << QStringList{"--data=/y"} << int(A::Run) << "/y";
        QTest::newRow("help") << QStringList{"--help"} << int(A::Help) << "";
        QTest::newRow("version") << QStringList{"--version"} << int(A::Version) << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << int(A::Error) << "";
        QTest::newRow("stray") << QStringList{"stray"} << int(A::Error) << "";
        QTest::newRow("no value") << QStringList{"--data"} << int(A::Error) << "";
        QTest::newRow("export") << QStringList{"--export-csv", "/out.csv"} << int(A::Run) << "";
        QTest::newRow("research export")
            << QStringList{"--export-research", "/r.sav",           "--all-administrations",
                           "--age-bands",       "--research-dates", "year"}
            << int(A::Run) << "";
        QTest::newRow("research, identified")
            << QStringList{"--export-research", "/r.dta", "--identified"} << int(A::Run) << "";
        QTest::newRow("research option alone")
            << QStringList{"--identified"} << int(A::Error) << "";
        QTest::newRow("dates neither shift nor year")
            << QStringList{"--export-research", "/r.sav", "--research-dates", "month"}
            << int(A::Error) << "";
        QTest::newRow("identified dates are real")
            << QStringList{"--export-research", "/r.sav", "--identified", "--research-dates",
                           "shift"}
            << int(A::Error) << "";
        QTest::newRow("two exports")
            << QStringList{"--export-research", "/r.sav", "--export-csv", "/o.csv"} << int(A::Error)
            << "";
        QTest::newRow("the window system's own")
            << QStringList{"-platform", "offscreen", "-reverse", "--data", "/z"} << int(A::Run)
            << "/z";
    }
    void theCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, dataFolder);
        const CommandLine c = parseCommandLine(QStringList{"velmora"} + arguments);
        QCOMPARE(int(c.action), action);
        QCOMPARE(c.dataFolder, dataFolder);
    }

    void helpAndVersionTouchNothing_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed"); // on standard output, or on errors when failing
        QTest::newRow("--version") << "--version" << 0 << "velmora 1.";
        QTest::newRow("--help") << "--help" << 0 << "--data <DIR>";
        QTest::newRow("unknown") << "--frobnicate" << 2 << "Unknown option 'frobnicate'";
    }
    void helpAndVersionTouchNothing() {
        QFETCH(QString, option);
        QFETCH(int, status);
        QFETCH(QString, printed);
        QTemporaryDir home;
        Program program(home.path());
        // No window system at all: these must not need one.
        QProcessEnvironment env = program.process.processEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", ":7777");
        program.process.setProcessEnvironment(env);
        QCOMPARE(program.runToEnd({option}), status);
        const QString out =
            QString::fromLocal8Bit(status == 0 ? program.process.readAllStandardOutput()
                                               : program.process.readAllStandardError());
        QVERIFY2(out.contains(printed), qPrintable(out));
        QVERIFY(!QFileInfo::exists(home.filePath(".local/share/velmora")));
    }

    void aRunEndsCleanlyOnEndSignals_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("byVariable");
        QTest::newRow("SIGTERM, --data") << int(SIGTERM) << false;
        QTest::newRow("SIGINT, VELMORA_DATA") << int(SIGINT) << true;
        QTest::newRow("SIGHUP, --data") << int(SIGHUP) << false;
    }
    void aRunEndsCleanlyOnEndSignals() {
        QFETCH(int, signal);
        QFETCH(bool, byVariable);
        QTemporaryDir home;
        const QString data = home.filePath("clinic/data");
        QProcessEnvironment extra;
        if (byVariable)
            extra.insert("VELMORA_DATA", data);
        Program program(home.path(), extra);
        program.process.start(QStringLiteral(VELMORA_BINARY),
                              byVariable ? QStringList{} : QStringList{"--data", data});
        QVERIFY(program.process.waitForStarted());
        QVERIFY(waitFor(data + "/DBM/DB2.mdb"));
        QTest::qWait(300); // the main window is up
        QCOMPARE(modeOf(data), QString("700"));
        QCOMPARE(modeOf(data + "/DBM/DB.mdb"), QString("600"));
        QCOMPARE(modeOf(data + "/DBM/DB2.mdb"), QString("600"));
        const QStringList locks = QDir(home.filePath("run")).entryList({"velmora-*.lock"});
        QCOMPARE(locks.size(), 1);
        ::kill(static_cast<pid_t>(program.process.processId()), signal);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process.exitCode(), 0);
        QVERIFY(QDir(home.filePath("run")).entryList({"velmora-*.lock"}).isEmpty());
        QVERIFY(!QFileInfo::exists(home.filePath(".local/share/velmora")));
    }

    void theExportWithoutAWindow() {
        QTemporaryDir home;
        const QString data = home.filePath("data");
        {
            Program program(home.path());
            QCOMPARE(program.runToEnd({"--data", data, "--export-csv", home.filePath("all.csv")}),
                     0);
            QVERIFY(program.process.readAllStandardOutput().isEmpty());
            QVERIFY(QFileInfo(home.filePath("all.csv")).size() > 0);
            QCOMPARE(modeOf(home.filePath("all.csv")), QString("600"));
        }
        {
            Program program(home.path());
            const QString nowhere = home.filePath("missing/all.csv");
            QCOMPARE(program.runToEnd({"--data", data, "--export-csv", nowhere}), 1);
            QVERIFY(program.process.readAllStandardOutput().isEmpty());
            QVERIFY(QString::fromUtf8(program.process.readAllStandardError()).contains(nowhere));
            QVERIFY(!QFileInfo::exists(nowhere));
        }
    }

    // The research export as a clinic runs it: the file and the clinic's
    // research key made private, the summary on standard output; a file name
    // without a format's ending refused with a message.
    void theResearchExportWithoutAWindow() {
        QTemporaryDir home;
        const QString data = home.filePath("data");
        {
            Program program(home.path());
            QCOMPARE(program.runToEnd({"--data", data, "--export-research", home.filePath("r.sav"),
                                       "--all-administrations"}),
                     0);
            QVERIFY(QString::fromUtf8(program.process.readAllStandardOutput())
                        .contains(QStringLiteral("0 سطر از 0 آزمودني")));
            QCOMPARE(modeOf(home.filePath("r.sav")), QString("600"));
            QCOMPARE(modeOf(data + "/research.key"), QString("600"));
        }
        {
            Program program(home.path());
            QCOMPARE(program.runToEnd({"--data", data, "--export-research", home.filePath("r.txt"),
                                       "--identified"}),
                     1);
            QVERIFY(QString::fromUtf8(program.process.readAllStandardError()).contains(".dta"));
            QVERIFY(!QFileInfo::exists(home.filePath("r.txt")));
        }
    }

    void theLockIsPerDataFolderAndOutsideIt() {
        QTemporaryDir a, b;
        const QString before = QDir::currentPath();
        QDir::setCurrent(a.path());
        const QString lockA = instanceLockPath();
        QDir::setCurrent(b.path());
        const QString lockB = instanceLockPath();
        QDir::setCurrent(before);
        QVERIFY(lockA != lockB);
        QVERIFY(!lockA.startsWith(a.path()));
    }
};

VELMORA_TEST_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
