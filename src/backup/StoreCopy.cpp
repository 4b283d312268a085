#include "backup/StoreCopy.h"

#include "backup/Backup.h"

#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/SqlDialect.h"
#include "data/SubjectStore.h"
#include "files/OutputFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace velmora {

namespace {

// Rows per INSERT on the server: one round trip carries many rows.
constexpr int RowsPerStatement = 200;

class FileConnection {
public:
    FileConnection(const QString& path, bool readOnly)
        : m_name(QStringLiteral("velmora-store-copy-") +
                 QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
    }
    ~FileConnection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

QString columnList(const QStringList& fields) {
    QStringList quotedFields;
    for (const QString& f : fields)
        quotedFields.append(Database::quoted(f));
    return quotedFields.join(QStringLiteral(", "));
}

bool run(QSqlDatabase db, const QString& sql, QString* error, qint64* number = nullptr) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        *error = SqlDialect::describe(q.lastError(), db);
        return false;
    }
    if (number && q.next())
        *number = q.value(0).toLongLong();
    return true;
}

qint64 rowTotal(QSqlDatabase db, const QStringList& tables, QString* error, bool* ok) {
    qint64 total = 0;
    *ok = true;
    for (const QString& table : tables) {
        qint64 count = 0;
        if (!run(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(Database::quoted(table)), error,
                 &count)) {
            *ok = false;
            return 0;
        }
        total += count;
    }
    return total;
}

// Copies the rows of table from one connection to the other, keys included,
// batch rows to a statement.
bool copyRows(QSqlDatabase from, QSqlDatabase to, const QString& table, const QStringList& fields,
              int batch, qint64* done, qint64 total, const StoreCopyProgress& progress,
              QString* error) {
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY \"ID\"")
                       .arg(columnList(fields), Database::quoted(table)))) {
        *error = SqlDialect::describe(read.lastError(), from);
        return false;
    }
    QStringList marks;
    for (int i = 0; i < fields.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString row = QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    QList<QVariantList> pending;
    const auto flush = [&]() {
        if (pending.isEmpty())
            return true;
        QStringList rows;
        for (int i = 0; i < pending.size(); ++i)
            rows.append(row);
        QSqlQuery write(to);
        write.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(Database::quoted(table), columnList(fields), rows.join(QStringLiteral(", "))));
        for (const QVariantList& values : std::as_const(pending))
            for (const QVariant& v : values)
                write.addBindValue(v);
        if (!write.exec()) {
            *error = SqlDialect::describe(write.lastError(), to);
            return false;
        }
        *done += pending.size();
        pending.clear();
        if (progress)
            progress(*done, total);
        return true;
    };
    while (read.next()) {
        QVariantList values;
        values.append(read.value(0).toLongLong());
        for (int i = 1; i < fields.size(); ++i)
            values.append(read.value(i).isNull() ? QVariant() : QVariant(read.value(i).toString()));
        pending.append(values);
        if (pending.size() >= batch && !flush())
            return false;
    }
    if (read.lastError().isValid()) {
        *error = SqlDialect::describe(read.lastError(), from);
        return false;
    }
    return flush();
}

} // namespace

bool exportStoreToFile(const QString& path, const StoreCopyProgress& progress, QString* error) {
    // Read back and checked before it counts: a regular file only, written as
    // a part file of ours that goes on every way out but the last.
    OutputFile target(path, OutputFile::Streams::Refuse);
    if (!target.open(error))
        return false;
    const QString part = target.partPath();
    const QStringList tables = Database::tables(DbFile::Subjects);
    QSqlDatabase server = Database::connection(DbFile::Subjects);
    if (!server.isOpen()) {
        *error = SqlDialect::describe(server.lastError(), server);
        return false;
    }
    bool ok = true;
    {
        FileConnection file(part, false);
        QSqlDatabase copy = file.db();
        if (!copy.isOpen()) {
            *error = copy.lastError().text();
            ok = false;
        }
        // One snapshot of all tables: rows other workstations store meanwhile
        // are either wholly in the backup or not at all.
        ok = ok &&
             run(server, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), error);
        if (ok)
            Database::setTransactionOpen(DbFile::Subjects, true);
        ok = ok && copy.transaction();
        for (const QString& table : tables)
            ok = ok && run(copy, Database::createTableSql(table), error);
        for (const QString& sql : Database::subjectIndexes())
            ok = ok && run(copy, sql, error);
        const qint64 total = ok ? rowTotal(server, tables, error, &ok) : 0;
        qint64 done = 0;
        for (const QString& table : tables)
            ok = ok && copyRows(server, copy, table, Database::fields(table), RowsPerStatement,
                                &done, total, progress, error);
        if (ok && !copy.commit()) {
            *error = copy.lastError().text();
            ok = false;
        }
        if (!ok)
            copy.rollback();
        QSqlQuery(server).exec(QStringLiteral("COMMIT"));
        Database::setTransactionOpen(DbFile::Subjects, false);
    }
    QString why;
    if (ok && !Database::isSoundSubjectDatabase(part, &why)) {
        *error = why;
        ok = false;
    }
    return ok && target.commit(error);
}

bool importFileToStore(const QString& path, const StoreCopyProgress& progress, QString* error) {
    QString why;
    if (!Database::isSoundSubjectDatabase(path, &why)) {
        *error = why;
        return false;
    }
    FileConnection file(path, true);
    QSqlDatabase source = file.db();
    if (!source.isOpen()) {
        *error = source.lastError().text();
        return false;
    }
    QSqlDatabase server = Database::connection(DbFile::Subjects);
    if (!server.transaction()) {
        *error = SqlDialect::describe(server.lastError(), server);
        return false;
    }
    Database::setTransactionOpen(DbFile::Subjects, true);
    const QStringList present = source.tables();
    QStringList tables;
    for (const QString& table : Database::tables(DbFile::Subjects))
        if (present.contains(table, Qt::CaseInsensitive))
            tables.append(table);
    bool ok = true;
    // The keys of the codes go with the rows they were made from; they are
    // made anew from the restored codes.
    const QStringList replaced = Database::tables(DbFile::Subjects) + QStringList{"CodeKey"};
    // Other workstations wait for the restore rather than write into it.
    for (const QString& table : replaced)
        ok = ok &&
             run(server,
                 QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(Database::quoted(table)),
                 error);
    for (const QString& table : replaced)
        ok =
            ok && run(server, QStringLiteral("DELETE FROM %1").arg(Database::quoted(table)), error);
    const qint64 total = ok ? rowTotal(source, tables, error, &ok) : 0;
    qint64 done = 0;
    for (const QString& table : tables)
        ok = ok && copyRows(source, server, table, Database::fields(table), RowsPerStatement, &done,
                            total, progress, error);
    // New keys continue above the restored ones.
    for (const QString& table : Database::tables(DbFile::Subjects))
        ok = ok && run(server,
                       QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'ID'), "
                                      "COALESCE(MAX(\"ID\"), 0) + 1, false) FROM %1")
                           .arg(Database::quoted(table)),
                       error);
    ok = ok && CodeKeys::update(error);
    // The planner's picture of the tables changed with every row: without it
    // the searches would read whole tables until the server's own analysis
    // comes round.
    for (const QString& table : replaced)
        ok = ok && run(server, QStringLiteral("ANALYZE %1").arg(Database::quoted(table)), error);
    if (ok && !server.commit()) {
        *error = SqlDialect::describe(server.lastError(), server);
        ok = false;
    }
    if (!ok)
        server.rollback();
    Database::setTransactionOpen(DbFile::Subjects, false);
    return ok;
}

int CopyServerStore(const QString& source, const QString& destination, QWidget* owner,
                    const BackupFiles::CopySteps& steps) {
    // The backup copies from the subject file's name, the restore to it.
    const bool restore = QFileInfo(source).absoluteFilePath() !=
                         QFileInfo(BackupFiles::subjectDatabase()).absoluteFilePath();
    QString why;
    bool ok = true;
    if (restore) {
        // The operator's file is first copied into Back and checked there, as
        // a restore into the file does (a device or a pipe refused, a
        // write-ahead log settled, only Velmora's tables accepted); the
        // server's tables are replaced from that copy, and the copy goes.
        const QString folder = BackupFiles::backupFolder();
        QDir().mkpath(folder);
        const QString staged =
            QDir(folder).filePath(QStringLiteral(".restore.%1.part")
                                      .arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
        BackupFiles::CopySteps staging;
        staging.betweenChunks = steps.betweenChunks;
        staging.acceptCopy = BackupFiles::checkRestoreCopy;
        ok = BackupFiles::copyFile(source, staged, staging, &why);
        // It bears a part file's name: held, so that no clean-up takes it.
        const PartHold held(staged);
        // A restore the operator chose not to do without a safety copy stops
        // here with nothing to report.
        if (ok && steps.beforeReplace && !steps.beforeReplace(&why)) {
            QFile::remove(staged);
            if (why.isEmpty())
                return 0;
            ok = false;
        }
        ok = ok && importFileToStore(staged, steps.betweenChunks, &why);
        QFile::remove(staged);
    } else {
        ok = exportStoreToFile(destination, steps.betweenChunks, &why);
    }
    if (ok)
        return 1;
    platform().messageBox(owner, applicationTitle(), copyFailureText(why), QMessageBox::Critical,
                          QMessageBox::Ok);
    return 0;
}

} // namespace velmora
