#include "data/Database.h"

#include "data/SubjectStore.h"

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

// The name of an entry of folder that equals name regardless of case (the
// exact spelling first); name itself when there is none.
QString existingNameNoCase(const QDir& folder, const QString& name) {
    if (QFileInfo::exists(folder.filePath(name)) || !folder.exists())
        return name;
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return name;
}

// Patient data is private: what the program creates only its user can read.
constexpr QFile::Permissions PrivateFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions PrivateFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

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
};

} // namespace

QStringList subjectIndexes() {
    QStringList sql;
    for (const char* statement : SubjectIndexes)
        sql.append(QString::fromLatin1(statement));
    return sql;
}

namespace {

bool exec(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

QString createTableSql(const QString& table) {
    QStringList columns;
    for (const QString& field : fields(table)) {
        if (field == QLatin1String("ID"))
            columns.append(table == QLatin1String("Theme")
                               ? QStringLiteral("\"ID\" INTEGER PRIMARY KEY")
                               : QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT"));
        else
            columns.append(quoted(field) + QStringLiteral(" TEXT"));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), columns.join(", "));
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
        if (!present.contains(table, Qt::CaseInsensitive))
            return QStringLiteral("table %1 is missing").arg(table);
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
        *error = failureMessage(file, QStringLiteral("پرونده خوانده نمي شود"));
        return false;
    }
    if (existed && !hasSqliteHeader(path)) {
        *error = failureMessage(file, QStringLiteral("اين پرونده پايگاه داده ولمورا نيست"));
        return false;
    }
    if (!existed && !info.absoluteDir().exists()) {
        if (!QDir().mkpath(info.absolutePath())) {
            *error = failureMessage(file, QStringLiteral("پوشه ساخته نشد"));
            return false;
        }
        QFile::setPermissions(info.absolutePath(), PrivateFolder);
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
        if (!QFile::setPermissions(path, PrivateFile)) {
            *error = failureMessage(file, QStringLiteral("دسترسي پرونده محدود نشد"));
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
        // A file made before the indexes existed gets them, so searches stay
        // index searches. A file whose codes already repeat cannot take the
        // unique ones; it is used as it is (registration still checks codes).
        for (const char* sql : SubjectIndexes) {
            QString ignored;
            exec(db, QString::fromLatin1(sql), &ignored);
        }
    }
    return true;
}

} // namespace

QString fileName(DbFile file) {
    return file == DbFile::Settings ? QStringLiteral("DBM/DB.mdb") : QStringLiteral("DBM/DB2.mdb");
}

QString absoluteFileName(DbFile file) {
    // Names are compared without regard to case, as on the systems the files
    // come from: a copied "dbm/db2.mdb" is the subject file, not a reason to
    // start an empty one beside it.
    const QDir dataFolder = QDir::current();
    const QString folder = existingNameNoCase(dataFolder, QStringLiteral("DBM"));
    const QDir dbm(dataFolder.filePath(folder));
    const QString base =
        file == DbFile::Settings ? QStringLiteral("DB.mdb") : QStringLiteral("DB2.mdb");
    return dbm.absoluteFilePath(existingNameNoCase(dbm, base));
}

QStringList tables(DbFile file) {
    if (file == DbFile::Settings)
        return {QStringLiteral("Theme")};
    return {QStringLiteral("IDE"), QStringLiteral("Answer")};
}

QStringList fields(const QString& table) {
    if (table == QLatin1String("Theme"))
        return {"ID", "TH", "Name", "Adress"};
    if (table == QLatin1String("IDE"))
        return {"ID",     "Code",   "FName", "LName", "Jens", "Sen",
                "Taahol", "Tahsil", "Group", "Date",  "Time"};
    if (table == QLatin1String("Answer"))
        return answerFields();
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
    // A server that cannot be reached ends the start before any local file
    // is made or opened.
    const bool ok =
        subjectsOnServer()
            ? openServerSubjects(&message) && openOne(DbFile::Settings, &message)
            : openOne(DbFile::Settings, &message) && openOne(DbFile::Subjects, &message);
    if (!ok && error)
        *error = message;
    return ok;
}

QSqlDatabase connection(DbFile file) {
    if (file == DbFile::Subjects && subjectsOnServer())
        return serverConnection();
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
    return openConnection(name, path);
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
    if (file == DbFile::Subjects && subjectsOnServer())
        return serverFailureMessage(detail);
    return QStringLiteral("کار با پرونده پايگاه داده انجام نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(fileName(file)), detail);
}

} // namespace Database

} // namespace velmora
