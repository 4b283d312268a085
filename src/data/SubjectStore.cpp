#include "data/SubjectStore.h"

#include "data/CodeKeys.h"
#include "data/DirectionalText.h"
#include "data/NameSearch.h"
#include "data/SqlDialect.h"

#include <QSqlError>
#include <QSqlQuery>

namespace velmora {

namespace Database {

namespace {

const char* const ServerConnectionName = "velmora-DB2";

bool s_onServer = false;
StoreUrl s_server;
bool s_transactionOpen[2] = {false, false};

int slotOf(DbFile file) {
    return file == DbFile::Settings ? 0 : 1;
}

// A server that does not answer must not hold the window for the system's TCP
// timeout (minutes), nor one that vanished without a word for two hours of
// TCP idle time. What the clinic's URL says itself is kept.
StoreUrl withDefaults(StoreUrl url) {
    const auto add = [&url](const char* keyword, const char* value) {
        url.options.append({QString::fromLatin1(keyword), QString::fromLatin1(value)});
    };
    if (url.option(QStringLiteral("connect_timeout")).isNull())
        add("connect_timeout", "10");
    if (url.option(QStringLiteral("keepalives")).isNull() &&
        url.option(QStringLiteral("keepalives_idle")).isNull() &&
        url.option(QStringLiteral("keepalives_interval")).isNull() &&
        url.option(QStringLiteral("keepalives_count")).isNull()) {
        add("keepalives_idle", "30");
        add("keepalives_interval", "10");
        add("keepalives_count", "3");
    }
    if (url.option(QStringLiteral("application_name")).isNull())
        add("application_name", "velmora");
    return url;
}

// Several workstations starting at once must not all create the tables: the
// first one does it while the others wait on this lock.
constexpr qint64 SchemaLockKey = 0x76656c6d6f7261; // "velmora"

// How long a statement waits for another workstation's row lock before it
// fails, as the file waits for another program's lock.
const char* const LockTimeoutSql = "SET lock_timeout = '3s'";

// The server's notices ("already exists, skipping") are for its log, not for
// the terminal of every workstation.
const char* const QuietSql = "SET client_min_messages = warning";

bool run(QSqlDatabase& db, const QString& sql, QString* error, const QVariantList& values = {},
         QStringList* firstColumn = nullptr) {
    // QPSQL prepares on the server, which takes no CREATE: statements
    // without values run as they are.
    QSqlQuery q(db);
    bool ok;
    if (values.isEmpty()) {
        ok = q.exec(sql);
    } else {
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        ok = q.exec();
    }
    if (!ok) {
        *error = SqlDialect::describe(q.lastError(), db);
        return false;
    }
    while (firstColumn && q.next())
        firstColumn->append(q.value(0).toString());
    return true;
}

// Creates the tables the database lacks and checks the ones it has, in one
// transaction. Empty when ready; otherwise why not.
QString prepareTables(QSqlDatabase& db) {
    QString error;
    if (!db.transaction())
        return SqlDialect::describe(db.lastError(), db);
    const auto fail = [&db](const QString& why) {
        db.rollback();
        return why;
    };
    if (!run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey), &error))
        return fail(error);
    // The subject tables, and the keys by which registration finds a code
    // that reads as a stored one.
    const QStringList codeKeyFields{QStringLiteral("ID"), QStringLiteral("Key")};
    QList<QPair<QString, QStringList>> wanted;
    for (const QString& table : tables(DbFile::Subjects))
        wanted.append({table, fields(table)});
    wanted.append({QStringLiteral("CodeKey"), codeKeyFields});
    QStringList missing;
    for (const auto& [table, tableFields] : std::as_const(wanted)) {
        // Names are exact on the server: a table made by hand without quotes
        // has a lower-case name and fields and is not ours, nor is it left
        // for ours to stand beside.
        QStringList present;
        if (!run(db,
                 QStringLiteral("SELECT table_name || '.' || column_name FROM "
                                "information_schema.columns WHERE table_schema = "
                                "current_schema() AND lower(table_name) = lower(?)"),
                 &error, {table}, &present))
            return fail(error);
        if (present.isEmpty()) {
            missing.append(table);
            continue;
        }
        for (const QString& field : tableFields)
            if (!present.contains(table + u'.' + field))
                return fail(QStringLiteral("اين پايگاه داده از آن ولمورا نيست: جدول %1 فيلد %2 "
                                           "ندارد")
                                .arg(isolatedText(table), isolatedText(field)));
    }
    // Only what is missing is made: tables that are there are kept as they are.
    for (const QString& table : std::as_const(missing)) {
        const QStringList statements = table == QLatin1String("CodeKey")
                                           ? CodeKeys::schemaSql(db)
                                           : QStringList{createTableSql(table, true)};
        for (const QString& sql : statements)
            if (!run(db, sql, &error))
                return fail(error);
    }
    if (!missing.isEmpty())
        for (const QString& sql : subjectIndexes())
            if (!run(db, sql, &error))
                return fail(error);
    // The indexes the code lookup finds names by, on a server prepared before
    // them too.
    if (!NameSearch::makeIndexes(db, &error))
        return fail(error);
    if (!db.commit())
        return fail(SqlDialect::describe(db.lastError(), db));
    return QString();
}

} // namespace

void useSubjectServer(const StoreUrl& url) {
    close(DbFile::Subjects);
    QSqlDatabase::removeDatabase(QString::fromLatin1(ServerConnectionName));
    s_onServer = true;
    s_server = url;
}

void useSubjectFile() {
    close(DbFile::Subjects);
    QSqlDatabase::removeDatabase(QString::fromLatin1(ServerConnectionName));
    s_onServer = false;
    s_server = StoreUrl();
}

bool subjectsOnServer() {
    return s_onServer;
}

StoreUrl subjectServer() {
    return s_server;
}

QString subjectServerName() {
    return describeStoreUrl(s_server);
}

QSqlDatabase serverConnection() {
    const QString name = QString::fromLatin1(ServerConnectionName);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase("QPSQL", name);
    if (db.isOpen() || isTransactionOpen(DbFile::Subjects))
        return db;
    applyStoreUrl(withDefaults(s_server), db);
    if (db.open()) {
        QSqlQuery q(db);
        q.exec(QString::fromLatin1(LockTimeoutSql));
        q.exec(QString::fromLatin1(QuietSql));
    }
    return db;
}

QSqlDatabase serverConnectionAsItIs() {
    const QString name = QString::fromLatin1(ServerConnectionName);
    return QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false) : QSqlDatabase();
}

bool openServerSubjects(QString* error) {
    QSqlDatabase db = serverConnection();
    if (!db.isOpen()) {
        *error = QStringLiteral("به سرور پايگاه داده وصل نشد:\n%1\n\n%2")
                     .arg(isolatedText(subjectServerName()), db.lastError().text().trimmed());
        return false;
    }
    const QString why = prepareTables(db);
    if (!why.isEmpty()) {
        db.close();
        *error = serverFailureMessage(why);
        return false;
    }
    return true;
}

void setTransactionOpen(DbFile file, bool open) {
    s_transactionOpen[slotOf(file)] = open;
}

bool isTransactionOpen(DbFile file) {
    return s_transactionOpen[slotOf(file)];
}

QString serverFailureMessage(const QString& detail) {
    return QStringLiteral("کار با پايگاه داده سرور انجام نشد:\n%1\n\n%2")
        .arg(isolatedText(subjectServerName()), detail);
}

} // namespace Database

} // namespace velmora
