#include "backup/SubjectFileCheck.h"

#include "data/Database.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThreadPool>

#include <memory>

namespace velmora {

namespace SubjectFileCheck {

namespace {

// The quick check names at most this many faults; one is enough to act on.
constexpr int FaultsShown = 5;

QString warning(const QString& path, const QString& detail) {
    return QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است:") + QLatin1Char('\n') +
           QDir::toNativeSeparators(path) + QStringLiteral("\n\n") + detail +
           QStringLiteral("\n\n") +
           QStringLiteral("برنامه کار مي کند، ولي آنچه ذخيره مي شود ممکن است از دست برود؛ "
                          "پايگاه داده را از آخرين نسخه پشتيبان سالم بازيابي کنيد.");
}

} // namespace

QString quickCheck(const QString& path) {
    if (!QFileInfo(path).isFile())
        return QString();
    // Every call has a connection of its own: connections belong to the thread
    // that opens them, and a check may run beside another.
    static QAtomicInteger<quint32> calls;
    const QString name = QStringLiteral("velmora-quick-check-%1").arg(calls.fetchAndAddRelaxed(1));
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open()) {
            result = warning(path, db.lastError().text());
        } else {
            QSqlQuery q(db);
            QStringList faults;
            if (!q.exec(QStringLiteral("PRAGMA quick_check(%1)").arg(FaultsShown))) {
                const int code = q.lastError().nativeErrorCode().toInt() & 0xff;
                // Busy or locked is another connection at work, not damage.
                if (code != 5 && code != 6)
                    faults.append(q.lastError().text());
            } else {
                while (q.next())
                    faults.append(q.value(0).toString());
                if (faults == QStringList{QStringLiteral("ok")})
                    faults.clear();
            }
            q.finish();
            if (!faults.isEmpty()) {
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

QFuture<QString> quickCheckInBackground(const QString& path) {
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, path] {
        promise->addResult(quickCheck(path));
        promise->finish();
    });
    return future;
}

} // namespace SubjectFileCheck

} // namespace velmora
