#include "app/App.h"

#include "app/BackupCommands.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "app/Frm1.h"
#include "app/QtTranslation.h"
#include "app/StoreChoice.h"
#include "backup/BackupFiles.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "platform/Folders.h"
#include "platform/Platform.h"
#include "registry/SubjectExport.h"
#include "ui/AccessibleNames.h"
#include "ui/MainWindow.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFutureWatcher>
#include <QIcon>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::unique_ptr<QLockFile> s_lock;

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
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QString dataFolder =
        chooseDataFolder(command.dataFolder, qEnvironmentVariable("VELMORA_DATA"),
                         QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QString error;
    if (!prepareDataFolder(dataFolder, &error)) {
        err << error << '\n';
        return 1;
    }
    QDir::setCurrent(dataFolder);
    if (!chooseSubjectStore(command.database, qEnvironmentVariable("VELMORA_DATABASE"),
                            storeConfigFiles(dataFolder), &error) ||
        !Database::openAll(&error)) {
        err << error << '\n';
        return 1;
    }
    const int status = work(err);
    Database::closeAll();
    return status;
}

QString instanceLockPath() {
    // The lock lives in the user's runtime folder, named after the data
    // folder: one instance per data folder, and a read-only data folder (or
    // one a stale lock was left in) never stops a start.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray key =
        QCryptographicHash::hash(QDir::current().canonicalPath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QDir(folder).filePath(QStringLiteral("velmora-%1.lock").arg(QString::fromLatin1(key)));
}

bool acquireSingleInstance() {
    if (s_lock)
        return true;
    auto lock = std::make_unique<QLockFile>(instanceLockPath());
    // A lock whose process is gone (a crashed run) is stale and taken over.
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return false;
        // A folder the program cannot write to must not stop the clinic's work.
        return true;
    }
    s_lock = std::move(lock);
    return true;
}

void releaseSingleInstance() {
    s_lock.reset();
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
    if (!Database::openAll(&error)) {
        platform().messageBox(nullptr, QStringLiteral("خطا"), error, QMessageBox::Critical,
                              QMessageBox::Ok);
        return false;
    }
    Frm1* main = Frm1::showMain();
    // Damage is looked for off the window's thread, so the window appears as
    // fast as ever; the operator hears of it once, and the program goes on.
    // The watcher goes with the window, so a check that ends after the window
    // has gone says nothing to nobody.
    auto* check = new QFutureWatcher<QString>(main);
    QObject::connect(check, &QFutureWatcher<QString>::finished, main, [main, check] {
        const QString warning = check->result();
        check->deleteLater();
        if (!warning.isEmpty())
            platform().messageBox(main, QStringLiteral("خطا"), warning, QMessageBox::Warning);
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

    if (!command.exportCsv.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return exportCsvCommand(command.exportCsv, err);
        });
    if (const int status = runBackupCommand(argc, argv, command); status >= 0)
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
    if (!prepareDataFolder(dataFolder, &error)) {
        platform().messageBox(nullptr, QStringLiteral("خطا"), error, QMessageBox::Critical);
        return 1;
    }
    // Every path of the data (DBM, Back, the backup dialogs' folder) is
    // relative to the data folder.
    QDir::setCurrent(dataFolder);
    if (!chooseSubjectStore(command.database, qEnvironmentVariable("VELMORA_DATABASE"),
                            storeConfigFiles(dataFolder), &error)) {
        platform().messageBox(nullptr, QStringLiteral("خطا"), error, QMessageBox::Critical);
        return 1;
    }
    if (!startVelmora())
        return 0;
    const int result = QApplication::exec();
    Database::closeAll();
    releaseSingleInstance();
    return result;
}

} // namespace velmora
