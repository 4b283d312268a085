#include "data/SubjectFileCheck.h"

#include "data/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QPromise>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadPool>
#include <QVariant>
#include <QWaitCondition>

#include <atomic>
#include <dlfcn.h>
#include <memory>
#include <sqlite3.h>

namespace velmora {

namespace SubjectFileCheck {

namespace {

// The quick check names at most this many faults; one is enough to act on.
constexpr int FaultsShown = 5;
// How long the check waits for another connection that holds the file.
constexpr int BusyWaitMs = 3000;
constexpr int BusyStepMs = 10;

QString warning(const QString& path, const QString& detail) {
    return QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است:") + QLatin1Char('\n') +
           QDir::toNativeSeparators(path) + QStringLiteral("\n\n") + detail +
           QStringLiteral("\n\n") +
           QStringLiteral("برنامه کار مي کند، ولي آنچه ذخيره مي شود ممکن است از دست برود؛ "
                          "پايگاه داده را از آخرين نسخه پشتيبان سالم بازيابي کنيد.");
}

// A check on a thread of the pool, which stopRunningChecks ends early.
struct Running {
    std::atomic<bool> stopped{false};
    // The connection while the check's statement runs, so that it can be
    // interrupted; only read or changed under s_mutex.
    sqlite3* statementOn = nullptr;
};

QMutex s_mutex;
QWaitCondition s_statementEnded;
QList<Running*> s_running; // under s_mutex

// The SQLite handle of db, or nullptr unless Qt's driver runs the very SQLite
// library linked here: a Qt built with a copy of its own would be handed a
// handle it does not know. The driver's plugin is asked which sqlite3_interrupt
// it sees.
sqlite3* sharedHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    Dl_info driver;
    if (dladdr(db.driver()->metaObject(), &driver) == 0 || !driver.dli_fname)
        return nullptr;
    void* plugin = dlopen(driver.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!plugin)
        return nullptr;
    void* const theirs = dlsym(plugin, "sqlite3_interrupt");
    dlclose(plugin);
    if (theirs != reinterpret_cast<void*>(&sqlite3_interrupt))
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// The busy wait of the check's connection: as a busy timeout, but a stopped
// check gives up at once.
int waitWhileBusy(void* running, int tries) {
    if (static_cast<Running*>(running)->stopped || tries * BusyStepMs >= BusyWaitMs)
        return 0;
    QThread::msleep(BusyStepMs);
    return 1;
}

QString check(const QString& path, Running* running) {
    if (!QFileInfo(path).isFile())
        return QString();
    // Every call has a connection of its own: connections belong to the thread
    // that opens them, and a check may run beside another.
    static std::atomic<quint32> calls{0};
    const QString name = QStringLiteral("velmora-quick-check-%1").arg(calls.fetch_add(1));
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyWaitMs));
        if (!db.open()) {
            result = warning(path, db.lastError().text());
        } else {
            sqlite3* const handle = running ? sharedHandle(db) : nullptr;
            if (handle)
                sqlite3_busy_handler(handle, waitWhileBusy, running);
            bool stopped = false;
            if (running) {
                QMutexLocker lock(&s_mutex);
                stopped = running->stopped;
                running->statementOn = handle;
            }
            QSqlQuery q(db);
            QStringList faults;
            if (stopped) {
                // Leaving came first: nothing to look at.
            } else if (!q.exec(QStringLiteral("PRAGMA quick_check(%1)").arg(FaultsShown))) {
                const int code = q.lastError().nativeErrorCode().toInt() & 0xff;
                // Busy or locked is another connection at work, not damage.
                if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
                    faults.append(q.lastError().text());
            } else {
                while (q.next())
                    faults.append(q.value(0).toString());
                if (faults == QStringList{QStringLiteral("ok")})
                    faults.clear();
            }
            q.finish();
            if (running) {
                QMutexLocker lock(&s_mutex);
                running->statementOn = nullptr;
                stopped = running->stopped;
                s_statementEnded.wakeAll();
            }
            if (stopped) {
                // An interrupted look proves nothing either way.
            } else if (!faults.isEmpty()) {
                result = warning(path, faults.join(QLatin1Char('\n')));
            } else {
                const QString foreign = Database::foreignSchema(db, DbFile::Subjects);
                if (!foreign.isEmpty())
                    result = warning(path, foreign);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace

QString quickCheck(const QString& path) {
    return check(path, nullptr);
}

QFuture<QString> quickCheckInBackground(const QString& path) {
    // Leaving the program stops the checks still running, so that the
    // application, which waits for its pool's threads, ends at once.
    static QPointer<QCoreApplication> stopsAtQuit;
    if (QCoreApplication* app = QCoreApplication::instance(); app && stopsAtQuit != app) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, &stopRunningChecks);
        stopsAtQuit = app;
    }
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> future = promise->future();
    promise->start();
    // Counted as running from now on, so that a stop before the thread starts
    // is seen.
    auto running = std::make_shared<Running>();
    {
        QMutexLocker lock(&s_mutex);
        s_running.append(running.get());
    }
    QThreadPool::globalInstance()->start([promise, path, running] {
        promise->addResult(check(path, running.get()));
        {
            QMutexLocker lock(&s_mutex);
            s_running.removeOne(running.get());
        }
        promise->finish();
    });
    return future;
}

void stopRunningChecks() {
    QMutexLocker lock(&s_mutex);
    for (Running* running : std::as_const(s_running))
        running->stopped = true;
    // An interrupt reaches only a statement that has begun; one that begins
    // just after is caught by the next round.
    for (;;) {
        bool interrupted = false;
        for (Running* running : std::as_const(s_running)) {
            if (running->statementOn) {
                sqlite3_interrupt(running->statementOn);
                interrupted = true;
            }
        }
        if (!interrupted)
            return;
        s_statementEnded.wait(&s_mutex, 5);
    }
}

} // namespace SubjectFileCheck

} // namespace velmora
