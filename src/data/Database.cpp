#include "data/Database.h"

#include "data/CodeKeys.h"
#include "data/DirectionalText.h"
#include "data/FileStore.h"
#include "data/NameSearch.h"
#include "data/SqliteFile.h"
#include "data/SubjectStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace velmora {

namespace Database {

namespace {

const QString SettingsConnection = QStringLiteral("velmora-DB");

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

// The indexes of the subject file. One registration and one answer sheet per
// code, enforced by the file itself so that two windows or two workstations
// cannot both add one; the code lookup searches by group, last and first name.
struct SubjectIndex {
    const char* name;
    const char* sql;
};
const SubjectIndex SubjectIndexes[] = {
    {"IDE_Code", "CREATE UNIQUE INDEX IF NOT EXISTS \"IDE_Code\" ON \"IDE\" (\"Code\")"},
    {"Answer_Code", "CREATE UNIQUE INDEX IF NOT EXISTS \"Answer_Code\" ON \"Answer\" (\"Code\")"},
    {"IDE_Group", "CREATE INDEX IF NOT EXISTS \"IDE_Group\" ON \"IDE\" (\"Group\")"},
    {"IDE_LName", "CREATE INDEX IF NOT EXISTS \"IDE_LName\" ON \"IDE\" (\"LName\")"},
    {"IDE_FName", "CREATE INDEX IF NOT EXISTS \"IDE_FName\" ON \"IDE\" (\"FName\")"},
    // A subject's administrations are read by code, in the order they were kept.
    {"History_Code", "CREATE INDEX IF NOT EXISTS \"History_Code\" ON \"History\" (\"Code\")"},
};

} // namespace

QStringList subjectIndexes() {
    QStringList sql;
    for (const SubjectIndex& index : SubjectIndexes)
        sql.append(QString::fromLatin1(index.sql));
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

// A new file: its tables, its indexes and, for the settings, its one record.
bool createSchema(DbFile file, QSqlDatabase& db, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool ok = true;
    for (const QString& table : tables(file))
        ok = ok && exec(db, createTableSql(table), error);
    if (file == DbFile::Subjects) {
        for (const SubjectIndex& index : SubjectIndexes)
            ok = ok && exec(db, QString::fromLatin1(index.sql), error);
        for (const QString& sql : NameSearch::fileIndexSql())
            ok = ok && exec(db, sql, error);
    } else {
        ok = ok && exec(db,
                        QStringLiteral("INSERT INTO \"Theme\" (\"TH\", \"Name\", \"Adress\") "
                                       "VALUES ('1', '', '')"),
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

} // namespace

bool openFile(DbFile file, const QString& connectionName, QString* error) {
    const QString path = absoluteFileName(file);
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (existed && (!info.isFile() || !info.isReadable())) {
        *error = failureMessage(file, QStringLiteral("پرونده خوانده نمي شود"));
        return false;
    }
    if (existed && !SqliteFile::hasHeader(path)) {
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
    QSqlDatabase db = SqliteFile::open(connectionName, path);
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
        if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM \"Theme\"")) || !count.next()) {
            *error = failureMessage(file, count.lastError().text());
            count.finish();
            db.close();
            return false;
        }
        const bool empty = count.value(0).toInt() == 0;
        count.finish();
        if (empty && !exec(db,
                           QStringLiteral("INSERT INTO \"Theme\" (\"TH\", \"Name\", \"Adress\") "
                                          "VALUES ('1', '', '')"),
                           &detail)) {
            *error = failureMessage(file, detail);
            db.close();
            return false;
        }
    }
    return true;
}

QStringList laterSubjectStructure(const QSqlDatabase& db) {
    QStringList present;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT \"name\" FROM sqlite_master")))
            return {};
        while (q.next())
            present.append(q.value(0).toString());
    }
    QStringList missing;
    for (const QString& table : tables(DbFile::Subjects))
        if (isLaterTable(table) && !present.contains(table, Qt::CaseInsensitive))
            missing.append(createTableSql(table).replace(
                QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE IF NOT EXISTS ")));
    for (const SubjectIndex& index : SubjectIndexes)
        if (!present.contains(QString::fromLatin1(index.name), Qt::CaseInsensitive))
            missing.append(QString::fromLatin1(index.sql));
    // The name search's indexes, which a file of an earlier version lacks.
    const QStringList nameIndexes = NameSearch::fileIndexSql();
    for (int i = 0; i < nameIndexes.size(); ++i)
        if (!present.contains(NameSearch::indexNames().at(i), Qt::CaseInsensitive))
            missing.append(nameIndexes.at(i));
    return missing;
}

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

QString fileKeyColumnSql() {
    return QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT");
}

QString createTableSql(const QString& table, const QString& keyColumn) {
    QStringList columns;
    for (const QString& field : fields(table)) {
        if (field == QLatin1String("ID"))
            // The settings record is one row the program keeps itself.
            columns.append(table == QLatin1String("Theme")
                               ? QStringLiteral("\"ID\" INTEGER PRIMARY KEY")
                           : keyColumn.isEmpty() ? fileKeyColumnSql()
                                                 : keyColumn);
        else
            columns.append(quoted(field) + QStringLiteral(" TEXT"));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), columns.join(", "));
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
    const bool ok = SubjectStore::current().open(&message) &&
                    openFile(DbFile::Settings, SettingsConnection, &message);
    if (!ok && error)
        *error = message;
    return ok;
}

QSqlDatabase connection(DbFile file) {
    if (file == DbFile::Subjects)
        return SubjectStore::current().connection();
    QSqlDatabase db = QSqlDatabase::contains(SettingsConnection)
                          ? QSqlDatabase::database(SettingsConnection, false)
                          : QSqlDatabase();
    if (db.isOpen())
        return db;
    // Opening would create an empty file in its place; leave it closed so the
    // operation fails and is reported instead.
    const QString path = absoluteFileName(file);
    if (!QFileInfo::exists(path)) {
        db = QSqlDatabase::contains(SettingsConnection)
                 ? QSqlDatabase::database(SettingsConnection, false)
                 : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), SettingsConnection);
        db.close();
        return db;
    }
    return SqliteFile::open(SettingsConnection, path);
}

void close(DbFile file) {
    if (file == DbFile::Subjects)
        SubjectStore::current().close();
    else if (QSqlDatabase::contains(SettingsConnection))
        QSqlDatabase::database(SettingsConnection, false).close();
}

void closeAll() {
    close(DbFile::Settings);
    close(DbFile::Subjects);
}

namespace {

// A statement as a list of tokens, so that two spellings of one statement
// compare equal: blanks and comments dropped, quoted names unquoted, names and
// words in lower case. A quoted text keeps its quotes and its case.
QStringList sqlTokens(const QString& sql) {
    QStringList tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto isWordChar = [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') ||
               c.unicode() >= 0x80;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        const QChar next = i + 1 < n ? sql.at(i + 1) : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            const qsizetype close = sql.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? n : close + 2;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[') ||
                   c == QLatin1Char('\'')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            QString text;
            ++i;
            while (i < n) {
                if (sql.at(i) == close) {
                    // A doubled quote stands for itself.
                    if (close != QLatin1Char(']') && i + 1 < n && sql.at(i + 1) == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql.at(i++);
            }
            tokens.append(c == QLatin1Char('\'') ? QLatin1Char('\'') + text + QLatin1Char('\'')
                                                 : text.toLower());
        } else if (isWordChar(c)) {
            const qsizetype from = i;
            while (i < n && isWordChar(sql.at(i)))
                ++i;
            tokens.append(sql.mid(from, i - from).toLower());
        } else {
            tokens.append(QString(c));
            ++i;
        }
    }
    return tokens;
}

QString typeName(const QString& type) {
    if (type == QLatin1String("table"))
        return QStringLiteral("جدول");
    if (type == QLatin1String("index"))
        return QStringLiteral("ايندکس");
    if (type == QLatin1String("view"))
        return QStringLiteral("نما (view)");
    if (type == QLatin1String("trigger"))
        return QStringLiteral("تريگر (trigger)");
    return type;
}

} // namespace

QList<SchemaObject> schemaObjects(DbFile file) {
    QList<SchemaObject> objects;
    // Every table the program has made from its first version on. One added
    // later goes in with required false: the files of older versions lack it.
    for (const QString& table : tables(file))
        objects.append(
            {QStringLiteral("table"), table, createTableSql(table), !isLaterTable(table)});
    if (file == DbFile::Subjects) {
        for (const SubjectIndex& index : SubjectIndexes) {
            // The file keeps the statement without its "IF NOT EXISTS".
            QString statement = QString::fromLatin1(index.sql);
            statement.remove(QStringLiteral(" IF NOT EXISTS"));
            const QStringList tokens = sqlTokens(statement);
            const qsizetype name = tokens.indexOf(QStringLiteral("index")) + 1;
            objects.append({QStringLiteral("index"), tokens.value(name), statement, false});
        }
    }
    if (file == DbFile::Subjects) {
        // The keys by which registration finds a code that reads the same as
        // a stored one, and what keeps them up to date. An earlier version's
        // table (its keys never missing) is made again when the file is opened.
        // Then the keys the code lookup finds first and last names by.
        for (const QString& sql : CodeKeys::fileSchemaObjects() +
                                      QStringList{CodeKeys::earlierFileTableSql()} +
                                      NameSearch::fileIndexSql()) {
            const QStringList tokens = sqlTokens(sql);
            const QString type =
                tokens.value(1) == QLatin1String("unique") ? tokens.value(2) : tokens.value(1);
            const qsizetype name = tokens.indexOf(type) + 1;
            objects.append({type, tokens.value(name), sql, false});
        }
    }
    // The engine's own tables: the last numbers handed out by AUTOINCREMENT,
    // and statistics a maintenance tool may have gathered.
    objects.append({QStringLiteral("table"), QStringLiteral("sqlite_sequence"),
                    QStringLiteral("CREATE TABLE sqlite_sequence(name,seq)"), false});
    objects.append({QStringLiteral("table"), QStringLiteral("sqlite_stat1"),
                    QStringLiteral("CREATE TABLE sqlite_stat1(tbl,idx,stat)"), false});
    objects.append({QStringLiteral("table"), QStringLiteral("sqlite_stat4"),
                    QStringLiteral("CREATE TABLE sqlite_stat4(tbl,idx,neq,nlt,ndlt,sample)"),
                    false});
    return objects;
}

QString foreignSchema(const QSqlDatabase& db, DbFile file) {
    const QList<SchemaObject> allowed = schemaObjects(file);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "SELECT \"type\", \"name\", \"tbl_name\", \"sql\" FROM \"sqlite_master\"")))
        return QStringLiteral("فهرست بخش هاي فايل خوانده نشد: ") + q.lastError().text();
    QSet<QString> present;
    while (q.next()) {
        const QString type = q.value(0).toString();
        const QString name = q.value(1).toString();
        const QString table = q.value(2).toString();
        const QVariant sql = q.value(3);
        // The engine makes an index of its own for a UNIQUE or PRIMARY KEY
        // constraint; it has no statement and holds only what its table allows.
        if (type == QLatin1String("index") && sql.isNull() &&
            name.startsWith(QLatin1String("sqlite_autoindex_"), Qt::CaseInsensitive)) {
            const bool ofOurTable =
                std::any_of(allowed.begin(), allowed.end(), [&](const SchemaObject& object) {
                    return object.type == QLatin1String("table") &&
                           object.name.compare(table, Qt::CaseInsensitive) == 0;
                });
            if (ofOurTable)
                continue;
        }
        const auto named = [&](const SchemaObject& object) {
            return object.type == type && object.name.compare(name, Qt::CaseInsensitive) == 0;
        };
        const auto match = std::find_if(allowed.begin(), allowed.end(), named);
        if (match == allowed.end())
            return QStringLiteral("%1 «%2» را Velmora نمي سازد.")
                .arg(typeName(type), isolatedText(name));
        // An object may have had more than one form over the versions.
        const QStringList tokens = sqlTokens(sql.toString());
        const bool sameAsOurs =
            std::any_of(allowed.begin(), allowed.end(), [&](const SchemaObject& object) {
                return named(object) && sqlTokens(object.sql) == tokens;
            });
        if (!sameAsOurs)
            return QStringLiteral("%1 «%2» آن گونه که Velmora مي سازد نيست.")
                .arg(typeName(type), isolatedText(name));
        present.insert(match->name);
    }
    for (const SchemaObject& object : allowed)
        if (object.required && !present.contains(object.name))
            return QStringLiteral("%1 «%2» در فايل نيست.")
                .arg(typeName(object.type), isolatedText(object.name));
    return QString();
}

namespace {

// A file whose unique index on a code is missing (a file made by hand, or
// changed) may hold one code twice: the lookup and the export would list the
// subject twice, and a server refuses such a file whole. Empty when every code
// is held once; else a Persian sentence naming the first code held twice.
QString codeHeldTwice(const QSqlDatabase& db) {
    for (const QString& table : {QStringLiteral("IDE"), QStringLiteral("Answer")}) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT 1 FROM \"sqlite_master\" WHERE \"type\" = 'index' AND "
                                 "\"name\" = ? COLLATE NOCASE"));
        q.addBindValue(QString(table + QStringLiteral("_Code")));
        if (q.exec() && q.next())
            continue; // the index allows each code once
        q.finish();
        if (q.exec(QStringLiteral("SELECT \"Code\" FROM %1 WHERE \"Code\" IS NOT NULL GROUP BY "
                                  "\"Code\" HAVING COUNT(*) > 1 LIMIT 1")
                       .arg(quoted(table))) &&
            q.next())
            return QStringLiteral("کد «%1» در جدول «%2» بيش از يک بار آمده است؛ Velmora هر کد را "
                                  "يک بار نگه مي دارد.")
                .arg(isolatedText(q.value(0).toString()), isolatedText(table));
    }
    return QString();
}

} // namespace

bool isSoundSubjectDatabase(const QString& path, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("فايل وجود ندارد."));
    if (!SqliteFile::hasHeader(path))
        return fail(QStringLiteral("اين فايل پايگاه داده آزمودني ها نيست."));
    QString why;
    {
        // A file another connection is writing is waited for, not taken for damaged.
        SqliteFile::Connection connection(path, SqliteFile::Access::ReadOnly);
        QSqlDatabase db = connection.db();
        if (!db.isOpen()) {
            why = QStringLiteral("فايل باز نشد: ") + db.lastError().text();
        } else {
            QSqlQuery q(db);
            // Nothing the file itself defines may run while it is looked at.
            q.exec(QStringLiteral("PRAGMA trusted_schema = OFF"));
            q.finish();
            const QString foreign = foreignSchema(db, DbFile::Subjects);
            if (!foreign.isEmpty())
                why = QStringLiteral("اين فايل پايگاه داده آزمودني ها نيست: ") + foreign;
            else if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next())
                why = q.lastError().text().isEmpty()
                          ? QStringLiteral("فايل آسيب ديده است.")
                          : QStringLiteral("فايل آسيب ديده است: ") + q.lastError().text();
            else if (q.value(0).toString() != QLatin1String("ok"))
                why = QStringLiteral("فايل آسيب ديده است: ") + q.value(0).toString();
            q.finish();
            if (why.isEmpty()) {
                const QString twice = codeHeldTwice(db);
                if (!twice.isEmpty())
                    why = QStringLiteral("اين فايل پايگاه داده آزمودني ها نيست: ") + twice;
            }
        }
    }
    return why.isEmpty() ? true : fail(why);
}

bool leaveWriteAheadLog(const QString& path, QString* error) {
    if (!SqliteFile::isWriteAheadLog(path))
        return true;
    SqliteFile::Connection connection(path);
    QSqlDatabase db = connection.db();
    if (!db.isOpen()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    if (q.value(0).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
        *error = q.value(0).toString();
        return false;
    }
    return true;
}

QString failureMessage(DbFile file, const QString& detail) {
    if (file == DbFile::Subjects)
        return SubjectStore::current().failureMessage(detail);
    return QStringLiteral("کار با پرونده پايگاه داده انجام نشد:\n%1\n\n%2")
        .arg(isolatedPath(fileName(file)), detail);
}

} // namespace Database

} // namespace velmora
