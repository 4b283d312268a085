#include "app/App.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "data/Database.h"
#include "platform/Folders.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // Folders and files of ours that others may read (an earlier version's
    // 0755 and 0644, a copy) are made private; what is not the data's
    // (a link's target elsewhere, a file outside DBM and Back) is left alone.
    void looseModesOfOursAreMadePrivate_data() {
        QTest::addColumn<QString>("relative"); // ending in "/": a folder
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        QTest::newRow("the folder, 0755") << "" << 0755 << 0700;
        QTest::newRow("the folder, 0750") << "" << 0750 << 0700;
        QTest::newRow("the folder, 0711") << "" << 0711 << 0700;
        QTest::newRow("DBM, 0755") << "DBM/" << 0755 << 0700;
        QTest::newRow("Back, 0705") << "Back/" << 0705 << 0700;
        QTest::newRow("the subjects, 0644") << "DBM/DB2.mdb" << 0644 << 0600;
        QTest::newRow("a journal, 0666") << "DBM/DB2.mdb-journal" << 0666 << 0600;
        QTest::newRow("a backup, 0640") << "Back/old.mdbB" << 0640 << 0600;
        QTest::newRow("the configuration, 0644") << "velmora.conf" << 0644 << 0600;
        QTest::newRow("a private file stays") << "DBM/DB.mdb" << 0400 << 0400;
        QTest::newRow("another file of the folder") << "notes.txt" << 0644 << 0644;
    }
    void looseModesOfOursAreMadePrivate() {
        QFETCH(QString, relative);
        QFETCH(int, mode);
        QFETCH(int, expected);
        QTemporaryDir root;
        const QString folder = root.filePath("data");
        QVERIFY(QDir().mkpath(folder + "/DBM"));
        QVERIFY(QDir().mkpath(folder + "/Back"));
        const QString path = QDir(folder).filePath(relative);
        if (!relative.isEmpty() && !relative.endsWith('/'))
            writeFile(path, "data");
        // A link in Back to a file elsewhere: what it leads to is not ours to change.
        writeFile(root.filePath("elsewhere.mdbB"), "kept elsewhere");
        QVERIFY(::chmod(QFile::encodeName(root.filePath("elsewhere.mdbB")).constData(), 0644) == 0);
        QVERIFY(QFile::link(root.filePath("elsewhere.mdbB"), folder + "/Back/link.mdbB"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        QString error, notice;
        QVERIFY2(prepareDataFolder(folder, &error, &notice), qPrintable(error));
        QCOMPARE(notice, QString());
        QCOMPARE(fileMode(path), expected);
        QCOMPARE(fileMode(root.filePath("elsewhere.mdbB")), 0644);
    }

    // A folder of the data that others could change (write to, or own) is
    // refused, as ssh refuses a key file others could read: another user could
    // swap DBM or plant a velmora.conf that names a server of theirs.
    void foldersOthersCouldChangeAreRefused_data() {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherOwner");
        QTest::addColumn<QString>("named"); // besides the folder
        QTest::newRow("group may write") << "" << 0770 << false << "0770";
        QTest::newRow("anybody may write") << "" << 0777 << false << "0777";
        QTest::newRow("anybody may write, sticky") << "" << 01777 << false << "1777";
        QTest::newRow("DBM, group may write") << "DBM" << 0730 << false << "0730";
        QTest::newRow("Back, anybody may write") << "Back" << 0703 << false << "0703";
        QTest::newRow("another user's folder") << "" << 0700 << true << "nobody";
        QTest::newRow("another user's DBM") << "DBM" << 0700 << true << "nobody";
    }
    void foldersOthersCouldChangeAreRefused() {
        QFETCH(QString, relative);
        QFETCH(int, mode);
        QFETCH(bool, otherOwner);
        QFETCH(QString, named);
        if (otherOwner && ::geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        QTemporaryDir root;
        const QString folder = root.filePath("data");
        QVERIFY(QDir().mkpath(folder + "/DBM"));
        QVERIFY(QDir().mkpath(folder + "/Back"));
        writeFile(folder + "/DBM/DB2.mdb", "the subjects");
        const QString path = relative.isEmpty() ? folder : QDir(folder).filePath(relative);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        if (otherOwner)
            QVERIFY(::chown(QFile::encodeName(path).constData(), UnprivilegedUid,
                            UnprivilegedGid) == 0);
        const int subjectsMode = fileMode(folder + "/DBM/DB2.mdb");
        const int folderMode = fileMode(folder);
        QString error;
        QVERIFY(!prepareDataFolder(folder, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("پوشه اطلاعات")));
        // Refused as it is: nothing changed, nothing added.
        QCOMPARE(fileMode(path), mode);
        QCOMPARE(filesIn(folder), QStringList());
        QCOMPARE(fileMode(folder + "/DBM/DB2.mdb"), subjectsMode);
        QCOMPARE(fileMode(folder), folderMode);
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
        QTest::newRow("--help, where a password goes") << "--help" << 0 << "~/.pgpass";
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
        QTest::addColumn<bool>("runtimeFolder"); // XDG_RUNTIME_DIR set
        QTest::newRow("SIGTERM, --data") << int(SIGTERM) << false << true;
        QTest::newRow("SIGINT, VELMORA_DATA") << int(SIGINT) << true << true;
        QTest::newRow("SIGHUP, --data, no runtime folder") << int(SIGHUP) << false << false;
    }
    void aRunEndsCleanlyOnEndSignals() {
        QFETCH(int, signal);
        QFETCH(bool, byVariable);
        QFETCH(bool, runtimeFolder);
        QTemporaryDir home;
        const QString data = home.filePath("clinic/data");
        QProcessEnvironment extra;
        if (byVariable)
            extra.insert("VELMORA_DATA", data);
        Program program(home.path(), extra);
        if (!runtimeFolder) {
            QProcessEnvironment env = program.process.processEnvironment();
            env.remove("XDG_RUNTIME_DIR");
            program.process.setProcessEnvironment(env);
        }
        program.process.start(QStringLiteral(VELMORA_BINARY),
                              byVariable ? QStringList{} : QStringList{"--data", data});
        QVERIFY(program.process.waitForStarted());
        QVERIFY(waitFor(data + "/DBM/DB2.mdb"));
        QTest::qWait(300); // the main window is up
        QCOMPARE(modeOf(data), QString("700"));
        QCOMPARE(modeOf(data + "/DBM/DB.mdb"), QString("600"));
        QCOMPARE(modeOf(data + "/DBM/DB2.mdb"), QString("600"));
        // The lock is in the data folder, whatever the session provides.
        QCOMPARE(modeOf(data + "/.velmora.lock"), QString("600"));
        QVERIFY(QDir(home.filePath("run")).isEmpty());
        ::kill(static_cast<pid_t>(program.process.processId()), signal);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(data + "/.velmora.lock"));
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

    // One data folder, one lock, whatever path leads to it: a running
    // program holds its folder against a second start through a link to it
    // or another spelling of its path; another folder is free.
    void oneDataFolderOneLock_data() {
        QTest::addColumn<QString>("second"); // relative to the temporary folder
        QTest::addColumn<bool>("free");
        QTest::newRow("the same path") << "data" << false;
        QTest::newRow("a link to the folder") << "link" << false;
        QTest::newRow("another spelling") << "other/../data/." << false;
        QTest::newRow("another folder") << "other" << true;
    }
    void oneDataFolderOneLock() {
        QFETCH(QString, second);
        QFETCH(bool, free);
        QTemporaryDir home;
        const QString data = home.filePath("data");
        QVERIFY(QDir().mkpath(home.filePath("other")));
        QVERIFY(QFile::link(data, home.filePath("link")));
        Program program(home.path());
        program.process.start(QStringLiteral(VELMORA_BINARY), {"--data", data});
        QVERIFY(waitFor(data + "/.velmora.lock"));
        const QString before = QDir::currentPath();
        QDir::setCurrent(home.filePath(second));
        const bool acquired = acquireSingleInstance();
        releaseSingleInstance();
        QDir::setCurrent(before);
        ::kill(static_cast<pid_t>(program.process.processId()), SIGTERM);
        QVERIFY(program.process.waitForFinished(10000));
        QCOMPARE(acquired, free);
        QVERIFY(!QFileInfo::exists(home.filePath("other/.velmora.lock")));
    }

    // Nobody else can write in the data folder, but whatever stands under the
    // lock's name that this user did not make as a lock is not trusted: it
    // neither stops the start nor is written through.
    void aLockFileWeDidNotMakeIsNotTrusted_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a link to another file") << "link";
        QTest::newRow("a link to nothing") << "dangling link";
        QTest::newRow("a pipe") << "pipe";
        QTest::newRow("another user's file") << "other owner";
        QTest::newRow("a second name of another file") << "hard link";
    }
    void aLockFileWeDidNotMakeIsNotTrusted() {
        QFETCH(QString, planted);
        if (planted == "other owner" && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir data;
        const QString lock = data.filePath(".velmora.lock");
        const QString other = data.filePath("other.txt");
        writeFile(other, "somebody's file");
        if (planted == "link")
            QVERIFY(QFile::link(other, lock));
        else if (planted == "dangling link")
            QVERIFY(QFile::link(data.filePath("gone"), lock));
        else if (planted == "pipe")
            QVERIFY(::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0);
        else if (planted == "hard link")
            QVERIFY(::link(QFile::encodeName(other).constData(),
                           QFile::encodeName(lock).constData()) == 0);
        else {
            writeFile(lock, "");
            QVERIFY(::chown(QFile::encodeName(lock).constData(), UnprivilegedUid,
                            UnprivilegedGid) == 0);
        }
        const QString before = QDir::currentPath();
        QDir::setCurrent(data.path());
        QCOMPARE(instanceLockPath(), lock);
        const bool acquired = acquireSingleInstance();
        struct stat st;
        const bool made = ::lstat(QFile::encodeName(lock).constData(), &st) == 0 &&
                          S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
        // Held: a second description of the file cannot take it.
        const int fd = ::open(QFile::encodeName(lock).constData(), O_RDONLY | O_NONBLOCK);
        const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (fd >= 0)
            ::close(fd);
        releaseSingleInstance();
        QDir::setCurrent(before);
        QVERIFY(acquired);
        QVERIFY(made);
        QVERIFY(held);
        QCOMPARE(bytesOf(other), QByteArray("somebody's file"));
        QVERIFY(!QFileInfo::exists(lock));
    }

    // What cannot be made private (a backup another user left in Back) is
    // told once, and the work goes on; run as an ordinary user, since root
    // could change any file.
    void whatCannotBeMadePrivateIsTold() {
        if (::geteuid() != 0)
            QSKIP("needs root to leave another user's file in the folder");
        QTemporaryDir home;
        QVERIFY(::chmod(QFile::encodeName(home.path()).constData(), 0755) == 0);
        const QString data = home.filePath("data");
        QVERIFY(QDir().mkpath(data + "/Back"));
        writeFile(data + "/Back/root.mdbB", "a backup root made");
        QVERIFY(::chmod(QFile::encodeName(data + "/Back/root.mdbB").constData(), 0644) == 0);
        for (const QString& folder : {data, QString(data + "/Back")}) {
            QVERIFY(::chown(QFile::encodeName(folder).constData(), UnprivilegedUid,
                            UnprivilegedGid) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0700) == 0);
        }
        Program program(home.path());
        QProcessEnvironment env = program.process.processEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        program.process.setProcessEnvironment(env);
        startUnprivileged(program.process, QStringLiteral(VELMORA_BINARY),
                          {"--data", data, "--export-csv", data + "/all.csv"});
        QVERIFY(program.process.waitForFinished(20000));
        const QString err = QString::fromUtf8(program.process.readAllStandardError());
        QCOMPARE(program.process.exitCode(), 0);
        QCOMPARE(err.count(QDir::toNativeSeparators(data + "/Back/root.mdbB")), 1);
        QVERIFY2(err.contains("0644"), qPrintable(err));
        QCOMPARE(modeOf(data + "/Back/root.mdbB"), QString("644"));
        QVERIFY(QFileInfo::exists(data + "/all.csv"));
    }

    // A configuration file that exists but cannot be read ends the command
    // with a message naming it, before any subject file is made; run as an
    // ordinary user, since root reads a file of mode 000 all the same.
    void anUnreadableConfigurationEndsTheCommand() {
        QTemporaryDir home;
        QVERIFY(::chmod(QFile::encodeName(home.path()).constData(), 0755) == 0);
        const QString data = home.filePath("data");
        QVERIFY(QDir().mkpath(data));
        writeFile(data + "/velmora.conf", "database=postgresql://clinic@db.clinic.lan/velmora\n");
        QVERIFY(::chmod(QFile::encodeName(data + "/velmora.conf").constData(), 0) == 0);
        QVERIFY(::chown(QFile::encodeName(data).constData(), unprivilegedUid(), UnprivilegedGid) ==
                    0 ||
                ::geteuid() != 0);
        QVERIFY(::chown(QFile::encodeName(data + "/velmora.conf").constData(), unprivilegedUid(),
                        UnprivilegedGid) == 0 ||
                ::geteuid() != 0);
        Program program(home.path());
        startUnprivileged(program.process, QStringLiteral(VELMORA_BINARY),
                          {"--data", data, "--export-csv", data + "/all.csv"});
        QVERIFY(program.process.waitForFinished(20000));
        const QString err = QString::fromUtf8(program.process.readAllStandardError());
        QCOMPARE(program.process.exitCode(), 1);
        QVERIFY2(err.contains(QDir::toNativeSeparators(data + "/velmora.conf")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("اجازه خواندن")), qPrintable(err));
        QVERIFY(!QFileInfo::exists(data + "/DBM/DB2.mdb"));
        QVERIFY(!QFileInfo::exists(data + "/all.csv"));
    }
};

VELMORA_TEST_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
