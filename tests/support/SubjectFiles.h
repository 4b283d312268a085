#pragma once

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace velmora {

// Registers count subjects (S1, S2, ...), each with an empty answer sheet, in
// one transaction of the subject database at path; padding characters of
// text in every registration make the file as large as a clinic's.
inline bool addSubjects(const QString& path, int count, int padding = 0) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QStringLiteral("velmora-test-subjects"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (db.open() && db.transaction()) {
            const QString numbers =
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < %1) ")
                    .arg(count);
            QSqlQuery q(db);
            q.prepare(numbers +
                      QStringLiteral("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", "
                                     "\"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", \"Group\", "
                                     "\"Date\", \"Time\") SELECT 'S' || i, 'F' || i, 'L' || i, "
                                     "'x', '30', 'y', ?, 'A', '1393/08/11', '10:00:00' FROM n"));
            q.addBindValue(QString(padding, QLatin1Char('z')));
            ok = q.exec();
            ok = ok && q.exec(numbers + QStringLiteral("INSERT INTO \"Answer\" (\"Code\", "
                                                       "\"Group\") SELECT 'S' || i, 'A' FROM n"));
            q.finish();
            ok = ok ? db.commit() : (db.rollback(), false);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("velmora-test-subjects"));
    return ok;
}

// Overwrites the first page of table's tree in the database file at path with
// filler, as a failing disk or a stray write would: the file still opens, the
// table cannot be read. Nothing may have the file open.
inline bool overwriteTablePage(const QString& path, const QString& table) {
    qint64 pageSize = 0;
    qint64 page = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QStringLiteral("velmora-test-damage"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA page_size")) && q.next())
                pageSize = q.value(0).toLongLong();
            q.prepare(QStringLiteral("SELECT \"rootpage\" FROM \"sqlite_master\" WHERE "
                                     "\"type\" = 'table' AND \"name\" = ?"));
            q.addBindValue(table);
            if (q.exec() && q.next())
                page = q.value(0).toLongLong();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("velmora-test-damage"));
    if (pageSize <= 0 || page <= 1)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek((page - 1) * pageSize))
        return false;
    return f.write(QByteArray(pageSize, '\x5a')) == pageSize;
}

} // namespace velmora
