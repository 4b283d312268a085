#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace velmora {

namespace Database {

namespace {

const char* connectionNameOf(DbFile file) {
    return file == DbFile::Settings ? "velmora-DB" : "velmora-DB2";
}

// How long a statement waits for another program's lock before it fails.
constexpr int BusyTimeoutMs = 3000;

QSqlDatabase openConnection(const QString& name, const QString& path) {
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase("QSQLITE", name);
    if (db.isOpen())
        return db;
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    db.open();
    return db;
}

QStringList answerFields() {
    QStringList f{QStringLiteral("ID"), QStringLiteral("Code"), QStringLiteral("Group")};
    for (int item = 1; item <= ItemCount; ++item)
        f.append(QString::number(item));
    return f;
}

QStringList historyFields() {
    QStringList f{QStringLiteral("ID"), QStringLiteral("Code"), QStringLiteral("Date"),
                  QStringLiteral("Time")};
    for (int item = 1; item <= ItemCount; ++item)
        f.append(QString::number(item));
    return f;
}

// Tables a subject file made by an earlier version lacks; opening it adds them.
bool isLaterTable(const QString& table) {
    return table == QLatin1String("History");
}

bool hasSqliteHeader(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

// The indexes of the subject file. One registration and one answer sheet per
// code, enforced by the file itself so that two windows or two workstations
// cannot both add one; the code lookup searches by group, last and first name.
const char* const SubjectIndexes[] = {
    "CREATE UNIQUE INDEX IF NOT EXISTS \"IDE_Code\" ON \"IDE\" (\"Code\")",
    "CREATE UNIQUE INDEX IF NOT EXISTS \"Answer_Code\" ON \"Answer\" (\"Code\")",
    "CREATE INDEX IF NOT EXISTS \"IDE_Group\" ON \"IDE\" (\"Group\")",
    "CREATE INDEX IF NOT EXISTS \"IDE_LName\" ON \"IDE\" (\"LName\")",
    "CREATE INDEX IF NOT EXISTS \"IDE_FName\" ON \"IDE\" (\"FName\")",
    // A subject's administrations are read by code, in the order they were kept.
    "CREATE INDEX IF NOT EXISTS \"History_Code\" ON \"History\" (\"Code\")",
};

bool exec(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

QString createTableSql(const QString& table, bool ifMissing = false) {
    QStringList columns;
    for (const QString& field : fields(table)) {
        if (field == QLatin1String("ID"))
            columns.append(table == QLatin1String("Theme")
                               ? QStringLiteral("\"ID\" INTEGER PRIMARY KEY")
                               : QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT"));
        else
            columns.append(quoted(field) + QStringLiteral(" TEXT"));
    }
    return QStringLiteral("CREATE TABLE %1%2 (%3)")
        .arg(ifMissing ? QStringLiteral("IF NOT EXISTS ") : QString(), quoted(table),
             columns.join(", "));
}

// Brings a subject file of an earlier version up to this one: the tables it
// lacks, then every index. Adding only creates; nothing stored is changed. A
// file that cannot take them (read-only) opens as before, and what needs them
// reports its own failure.
void addLaterStructure(QSqlDatabase& db) {
    QString ignored;
    for (const QString& table : tables(DbFile::Subjects))
        if (isLaterTable(table))
            exec(db, createTableSql(table, true), &ignored);
    // A file made before the indexes existed gets them, so searches stay
    // index searches. A file whose codes already repeat cannot take the
    // unique ones; it is used as it is (registration still checks codes).
    for (const char* sql : SubjectIndexes)
        exec(db, QString::fromLatin1(sql), &ignored);
}

bool createSchema(DbFile file, QSqlDatabase& db, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool ok = true;
    for (const QString& table : tables(file))
        ok = ok && exec(db, createTableSql(table), error);
    if (file == DbFile::Subjects) {
        for (const char* sql : SubjectIndexes)
            ok = ok && exec(db, QString::fromLatin1(sql), error);
    } else {
        ok = ok &&
             exec(db, "INSERT INTO \"Theme\" (\"TH\", \"Name\", \"Adress\") VALUES ('1', '', '')",
                  error);
    }
    if (ok && db.commit())
        return true;
    if (ok)
        *error = db.lastError().text();
    db.rollback();
    return false;
}

// Empty when the open file has every table and field of this program.
QString missingStructure(const QSqlDatabase& db, DbFile file) {
    const QStringList present = db.tables();
    for (const QString& table : tables(file)) {
        if (!present.contains(table, Qt::CaseInsensitive)) {
            if (isLaterTable(table))
                continue;
            return QStringLiteral("table %1 is missing").arg(table);
        }
        const QSqlRecord record = db.record(table);
        for (const QString& field : fields(table))
            if (record.indexOf(field) < 0)
                return QStringLiteral("field %1.%2 is missing").arg(table, field);
    }
    return QString();
}

bool openOne(DbFile file, QString* error) {
    const QString path = absoluteFileName(file);
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (existed && (!info.isFile() || !info.isReadable())) {
        *error = failureMessage(file, QStringLiteral("the file cannot be read"));
        return false;
    }
    if (existed && !hasSqliteHeader(path)) {
        *error = failureMessage(file, QStringLiteral("the file is not a Velmora database"));
        return false;
    }
    if (!existed && !QDir().mkpath(info.absolutePath())) {
        *error = failureMessage(file, QStringLiteral("the folder cannot be created"));
        return false;
    }
    QSqlDatabase db = openConnection(connectionNameOf(file), path);
    if (!db.isOpen()) {
        *error = failureMessage(file, db.lastError().text());
        return false;
    }
    QString detail;
    if (!existed) {
        if (!createSchema(file, db, &detail)) {
            db.close();
            QFile::remove(path);
            *error = failureMessage(file, detail);
            return false;
        }
        return true;
    }
    // Reading the schema also proves the file is not locked past the busy timeout.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"))) {
        *error = failureMessage(file, probe.lastError().text());
        db.close();
        return false;
    }
    probe.finish();
    detail = missingStructure(db, file);
    if (!detail.isEmpty()) {
        db.close();
        *error = failureMessage(file, detail);
        return false;
    }
    if (file == DbFile::Settings) {
        // The settings record is edited in place; a file whose record was lost
        // gets a fresh one rather than leaving every window without a theme.
        QSqlQuery count(db);
        if (!count.exec("SELECT COUNT(*) FROM \"Theme\"") || !count.next()) {
            *error = failureMessage(file, count.lastError().text());
            count.finish();
            db.close();
            return false;
        }
        const bool empty = count.value(0).toInt() == 0;
        count.finish();
        if (empty &&
            !exec(db, "INSERT INTO \"Theme\" (\"TH\", \"Name\", \"Adress\") VALUES ('1', '', '')",
                  &detail)) {
            *error = failureMessage(file, detail);
            db.close();
            return false;
        }
    } else {
        addLaterStructure(db);
    }
    return true;
}

} // namespace

QString fileName(DbFile file) {
    return file == DbFile::Settings ? QStringLiteral("DBM/DB.mdb") : QStringLiteral("DBM/DB2.mdb");
}

QString absoluteFileName(DbFile file) {
    return QDir::current().absoluteFilePath(fileName(file));
}

QStringList tables(DbFile file) {
    if (file == DbFile::Settings)
        return {QStringLiteral("Theme")};
    return {QStringLiteral("IDE"), QStringLiteral("Answer"), QStringLiteral("History")};
}

QStringList fields(const QString& table) {
    if (table == QLatin1String("Theme"))
        return {"ID", "TH", "Name", "Adress"};
    if (table == QLatin1String("IDE"))
        return {"ID",     "Code",   "FName", "LName", "Jens", "Sen",
                "Taahol", "Tahsil", "Group", "Date",  "Time"};
    if (table == QLatin1String("Answer"))
        return answerFields();
    if (table == QLatin1String("History"))
        return historyFields();
    return {};
}

DbFile fileOf(const QString& table) {
    return table == QLatin1String("Theme") ? DbFile::Settings : DbFile::Subjects;
}

QString quoted(const QString& identifier) {
    QString escaped = identifier;
    escaped.replace('"', QLatin1String("\"\""));
    return '"' + escaped + '"';
}

bool openAll(QString* error) {
    QString message;
    const bool ok = openOne(DbFile::Settings, &message) && openOne(DbFile::Subjects, &message);
    if (!ok && error)
        *error = message;
    return ok;
}

QSqlDatabase connection(DbFile file) {
    const QString path = absoluteFileName(file);
    const QString name = connectionNameOf(file);
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
    }
    if (!QFileInfo::exists(path)) {
        // Opening would create an empty file in its place; leave it closed so
        // the operation fails and is reported instead.
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                       : QSqlDatabase::addDatabase("QSQLITE", name);
        db.close();
        return db;
    }
    QSqlDatabase db = openConnection(name, path);
    // The file may have been put in place since it was last open (a restored
    // backup made by an earlier version): it gets its later tables now.
    if (file == DbFile::Subjects && db.isOpen())
        addLaterStructure(db);
    return db;
}

void close(DbFile file) {
    const QString name = connectionNameOf(file);
    if (QSqlDatabase::contains(name))
        QSqlDatabase::database(name, false).close();
}

void closeAll() {
    close(DbFile::Settings);
    close(DbFile::Subjects);
}

bool isSoundSubjectDatabase(const QString& path, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("The file does not exist."));
    if (!hasSqliteHeader(path))
        return fail(QStringLiteral("The file is not a subject database."));
    const QString name = QStringLiteral("velmora-check");
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            why = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next())
                why = q.lastError().text().isEmpty() ? QStringLiteral("The file is damaged.")
                                                     : q.lastError().text();
            else if (q.value(0).toString() != QLatin1String("ok"))
                why = QStringLiteral("The file is damaged: ") + q.value(0).toString();
            q.finish();
            if (why.isEmpty())
                why = missingStructure(db, DbFile::Subjects);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return why.isEmpty() ? true : fail(why);
}

QString failureMessage(DbFile file, const QString& detail) {
    return QStringLiteral("کار با پرونده پايگاه داده انجام نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(fileName(file)), detail);
}

} // namespace Database

} // namespace velmora
