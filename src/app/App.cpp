#include "app/App.h"

#include "access/Access.h"
#include "app/AccessRun.h"
#include "app/AuditCommands.h"
#include "app/BackupCommands.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "app/EraseCommand.h"
#include "app/Frm1.h"
#include "app/OperatorCommands.h"
#include "app/QtTranslation.h"
#include "app/ResearchCommand.h"
#include "app/SecretArguments.h"
#include "app/StoreChoice.h"
#include "backup/BackupFiles.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "files/OutputFile.h"
#include "platform/Folders.h"
#include "platform/Platform.h"
#include "registry/SubjectCorrection.h"
#include "registry/SubjectExport.h"
#include "ui/AccessibleNames.h"
#include "ui/CorrectionLink.h"
#include "ui/MainWindow.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFutureWatcher>
#include <QIcon>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// The single-instance lock: a descriptor of the lock file holding an flock,
// which the system drops when the process ends however it ends, so a lock is
// never stale.
int s_lockFd = -1;
QString s_lockPath;

// The signals that end a run (kill, Ctrl+C, the end of a session) are turned
// into an ordinary end of the event loop, so the databases are closed and the
// lock released as on leaving through the menu.
int s_signalPipe[2] = {-1, -1};

void onEndSignal(int) {
    const char byte = 1;
    // Nothing but a write is safe here; a full pipe already has a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[0], &byte, 1);
}

void endOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(s_signalPipe[1], &byte, 1);
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// A command without a window that is ended by a signal removes the part
// files it was writing (an export cut short leaves no patient rows behind)
// and ends with the status a shell gives a process ended by that signal.
void endCommandOnSignal(int signal) {
    OutputFile::removePartsNow();
    ::_exit(128 + signal);
}

void endCommandsOnSignals() {
    struct sigaction action = {};
    action.sa_handler = endCommandOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Runs then once, just after window is first painted.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> then)
        : QObject(window), m_then(std::move(then)) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // After the paint has ended, not inside it.
            QTimer::singleShot(0, watched, m_then);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

QString resourceFolderFor(const QString& executableFolder) {
    const QString found = findResourceFolder(executableFolder);
    return found.isEmpty() ? QStringLiteral("/usr/share/velmora") : found;
}

int printAndEnd(const QString& text, FILE* stream, int status) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    return status;
}

} // namespace

// A command for the clinic's IT person or a scheduled job: the same data
// folder and subject store as the program, no window, messages on the
// standard error stream; work runs with both databases open and returns the
// process's exit status. No lock is taken here: a command that must not run
// beside the program takes it itself.
int runWithoutWindow(int argc, char** argv, const CommandLine& command,
                     const std::function<int(QTextStream& err)>& work) {
    ::umask(077);
    endCommandsOnSignals();
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QString dataFolder =
        chooseDataFolder(command.dataFolder, qEnvironmentVariable("VELMORA_DATA"),
                         QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QString error;
    QString notice;
    if (!prepareDataFolder(dataFolder, &error, &notice)) {
        err << error << '\n';
        return 1;
    }
    if (!notice.isEmpty()) {
        err << notice << '\n';
        err.flush();
    }
    QDir::setCurrent(dataFolder);
    if (!chooseSubjectStore(command.database, qEnvironmentVariable("VELMORA_DATABASE"),
                            storeConfigFiles(dataFolder), &error) ||
        !Database::openAll(&error)) {
        err << error << '\n';
        return 1;
    }
    if (!AccessRun::signInForCommand(command.signInAs, err)) {
        Database::closeAll();
        return 1;
    }
    const int status = work(err);
    Database::closeAll();
    return status;
}

QString instanceLockPath() {
    // In the data folder itself. Nobody else may write there (prepareDataFolder
    // refuses a folder others can write to), so nobody can plant or swap the
    // lock; and every way to the folder (a link, a bind mount, another
    // spelling of its path) leads to this one file, so one folder is one lock
    // whatever it is called. The runtime folder and /tmp are not used: their
    // names are guessable or missing, and a session without one would meet
    // another lock than a session with one.
    return QDir::current().absoluteFilePath(QStringLiteral(".velmora.lock"));
}

bool acquireSingleInstance() {
    if (s_lockFd >= 0)
        return true;
    const QString path = instanceLockPath();
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd =
            ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            // A link under the name is none of ours: it goes, and a lock file of
            // our own is made.
            if (errno == ELOOP && ::unlink(name.constData()) == 0)
                continue;
            // A folder where no lock can be made must not stop the clinic's work.
            return true;
        }
        struct stat held;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::geteuid() ||
            held.st_nlink != 1) {
            // Not a lock file this user made (a pipe, another user's file, a
            // second name of another file): never trusted, replaced.
            ::close(fd);
            if (::unlink(name.constData()) != 0)
                return true;
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            if (code == EWOULDBLOCK)
                return false;
            return true; // a file system without locks
        }
        // An instance that was ending may have removed the file between the
        // open and the lock: the lock counts only on the file under the name.
        struct stat now;
        if (::stat(name.constData(), &now) != 0 || now.st_dev != held.st_dev ||
            now.st_ino != held.st_ino) {
            ::close(fd);
            continue;
        }
        ::fchmod(fd, 0600);
        s_lockFd = fd;
        s_lockPath = path;
        return true;
    }
    return true;
}

void releaseSingleInstance() {
    if (s_lockFd < 0)
        return;
    // Removed while still held, so that the next instance makes its own.
    ::unlink(QFile::encodeName(s_lockPath).constData());
    ::close(s_lockFd);
    s_lockFd = -1;
    s_lockPath.clear();
}

bool startVelmora() {
    if (!acquireSingleInstance()) {
        platform().messageBox(nullptr, QStringLiteral("Warnnig"),
                              QStringLiteral("برنامه در حال اجراست"), QMessageBox::Information,
                              QMessageBox::Ok);
        return false;
    }
    // A backup or restore cut short leaves its temporary copy behind.
    BackupFiles::removeLeftoversAtStart();
    QString error;
    if (!AccessRun::open(&error)) {
        // Nothing to say when the operator chose to leave the sign-in.
        if (!error.isEmpty())
            platform().messageBox(nullptr, errorTitle(), error, QMessageBox::Critical,
                                  QMessageBox::Ok);
        return false;
    }
    Frm1* main = Frm1::showMain();
    AccessRun::installLock(main);
    // Damage is looked for off the window's thread, so the window appears as
    // fast as ever; the operator hears of it once, and the program goes on.
    // The watcher goes with the window, so a check that ends after the window
    // has gone says nothing to nobody.
    auto* check = new QFutureWatcher<QString>(main);
    QObject::connect(check, &QFutureWatcher<QString>::finished, main, [main, check] {
        const QString warning = check->result();
        check->deleteLater();
        if (!warning.isEmpty())
            platform().messageBox(main, errorTitle(), warning, QMessageBox::Warning);
    });
    // The look begins once the window has been drawn: on a machine with
    // little to spare, it takes nothing from the window's first appearance.
    new AfterFirstPaint(main,
                        [check] { check->setFuture(SubjectStore::current().checkInBackground()); });
    return true;
}

void prepareApplication(QApplication& app) {
    setMainWindowLink({[]() -> QWidget* { return Frm1::showMain(); },
                       []() -> QWidget* { return Frm1::instance(); }});
    setCorrectionLink(&SubjectCorrection::correct);
    QApplication::setLayoutDirection(Qt::RightToLeft);
    app.setFont(formFont(12, false));
    installQtTranslation(app);
    presentWindowsAsWindows();
}

int runVelmora(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Read: a password given on the command line leaves the process list now.
    hidePasswordsInArguments(argc, argv);
    const CommandLine command = parseCommandLine(arguments);
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        return printAndEnd(command.message, stdout, 0);
    case CommandLine::Action::Error:
        return printAndEnd(
            QStringLiteral("velmora: %1\nTry 'velmora --help'.\n").arg(command.message), stderr, 2);
    case CommandLine::Action::Run:
        break;
    }

    if (!command.exportResearch.isEmpty())
        return runResearchExport(argc, argv, command);
    if (!command.exportCsv.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return Access::permitCommand(Action::ExportCsv, err)
                       ? exportCsvCommand(command.exportCsv, err)
                       : 1;
        });
    if (command.operatorCommand())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            QTextStream out(stdout);
            return operatorCommand(command, out, err);
        });
    if (command.verifyAudit)
        return runWithoutWindow(argc, argv, command, [](QTextStream& err) {
            QTextStream out(stdout);
            return verifyAuditCommand(out, err);
        });
    if (!command.exportAudit.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return exportAuditCommand(command.exportAudit, err);
        });
    if (const int status = runBackupCommand(argc, argv, command); status >= 0)
        return status;
    if (const int status = runEraseCommand(argc, argv, command); status >= 0)
        return status;

    // Whatever the program writes (databases, journals, backups, temporary
    // copies) is the clinic's patient data: for its user's eyes only.
    ::umask(077);
    QApplication app(argc, argv);
    endOnSignals(app);
    // The icon of the menu entry, on every window; the desktop matches the
    // windows to that entry by its name. The pictures built in are the
    // fallback for a program that is not installed; they are read only then
    // (QIcon reads a picture as it is added).
    QIcon icon = QIcon::fromTheme(QStringLiteral("velmora"));
    if (icon.isNull() || icon.availableSizes().isEmpty()) {
        icon = QIcon();
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            icon.addFile(QStringLiteral(":/icons/velmora-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    const QString executableFolder = QCoreApplication::applicationDirPath();
    setResourceFolder(resourceFolderFor(executableFolder));
    const QString dataFolder =
        chooseDataFolder(command.dataFolder, qEnvironmentVariable("VELMORA_DATA"), executableFolder,
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    prepareApplication(app);
    QString error;
    QString notice;
    if (!prepareDataFolder(dataFolder, &error, &notice)) {
        platform().messageBox(nullptr, errorTitle(), error, QMessageBox::Critical);
        return 1;
    }
    if (!notice.isEmpty())
        platform().messageBox(nullptr, QStringLiteral("هشدار"), notice, QMessageBox::Warning);
    // Every path of the data (DBM, Back, the backup dialogs' folder) is
    // relative to the data folder.
    QDir::setCurrent(dataFolder);
    if (!chooseSubjectStore(command.database, qEnvironmentVariable("VELMORA_DATABASE"),
                            storeConfigFiles(dataFolder), &error)) {
        platform().messageBox(nullptr, errorTitle(), error, QMessageBox::Critical);
        return 1;
    }
    if (!startVelmora())
        return 0;
    const int result = QApplication::exec();
    AccessRun::close();
    Database::closeAll();
    releaseSingleInstance();
    return result;
}

} // namespace velmora
