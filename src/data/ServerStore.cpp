#include "data/ServerStore.h"

#include "data/AuditTrail.h"
#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "data/NameSearch.h"
#include "data/ResearchKeyFile.h"
#include "data/SqliteFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <libpq-fe.h>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace velmora {

namespace {

// Several workstations starting at once must not all create the tables: the
// first one does it while the others wait on this lock.
constexpr qint64 SchemaLockKey = 0x76656c6d6f7261; // "velmora"
// Held by a restore for as long as it replaces the tables, so that another
// workstation kept waiting can say what it waits for.
constexpr int RestoreLockClass = 0x76656c6d; // "velm"
constexpr int RestoreLockObject = 2;

// Other workstations hear of a restore through this channel.
const char* const RestoreChannel = "velmora_restore";

// How long a statement waits for another workstation's row lock before it
// fails, as the file waits for another program's lock.
const char* const LockTimeoutSql = "SET lock_timeout = '3s'";

// The server's notices ("already exists, skipping") are for its log, not for
// the terminal of every workstation.
const char* const QuietSql = "SET client_min_messages = warning";

// Rows per INSERT when tables are copied: one round trip carries many rows.
constexpr int RowsPerStatement = 200;

// A server that does not answer must not hold the window for the system's TCP
// timeout (minutes), nor one that vanished without a word for two hours of
// TCP idle time. What the clinic's URL says itself is kept.
StoreUrl withDefaults(StoreUrl url) {
    const auto add = [&url](const char* keyword, const QString& value) {
        url.options.append({QString::fromLatin1(keyword), value});
    };
    if (url.option(QStringLiteral("connect_timeout")).isNull())
        add("connect_timeout", QString::number(ServerStore::ConnectSeconds));
    if (url.option(QStringLiteral("keepalives")).isNull() &&
        url.option(QStringLiteral("keepalives_idle")).isNull() &&
        url.option(QStringLiteral("keepalives_interval")).isNull() &&
        url.option(QStringLiteral("keepalives_count")).isNull()) {
        add("keepalives_idle", QStringLiteral("30"));
        add("keepalives_interval", QStringLiteral("10"));
        add("keepalives_count", QStringLiteral("3"));
    }
    // Data sent and never acknowledged (a cable cut mid-statement).
    if (url.option(QStringLiteral("tcp_user_timeout")).isNull())
        add("tcp_user_timeout", QString::number(ServerStore::CallSeconds * 1000));
    if (url.option(QStringLiteral("application_name")).isNull())
        add("application_name", ServerStore::workstationName());
    return url;
}

// The libpq connection behind db, or nullptr unless Qt's driver runs the very
// libpq linked here (a Qt built with a copy of its own would hand over a
// connection this one does not know).
PGconn* pgConnection(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // The driver names the type by its struct (PGconn is a typedef of it).
    if (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    static const bool sameLibrary = [&db] {
        Dl_info driver;
        if (dladdr(db.driver()->metaObject(), &driver) == 0 || !driver.dli_fname)
            return false;
        void* plugin = dlopen(driver.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
        if (!plugin)
            return false;
        void* const theirs = dlsym(plugin, "PQsocket");
        dlclose(plugin);
        return theirs == reinterpret_cast<void*>(&PQsocket);
    }();
    return sameLibrary ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
}

QString columnList(const QStringList& fields) {
    QStringList quotedFields;
    for (const QString& f : fields)
        quotedFields.append(Database::quoted(f));
    return quotedFields.join(QStringLiteral(", "));
}

bool run(const QSqlDatabase& db, const QString& sql, QString* error, const ServerStore& store,
         qint64* number = nullptr) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        *error = store.describe(q.lastError());
        return false;
    }
    if (number && q.next())
        *number = q.value(0).toLongLong();
    return true;
}

// The snapshot of a server: its tables written into a subject file of their
// own, which goes with the snapshot.
class ExportedSnapshot : public StoreSnapshot {
public:
    explicit ExportedSnapshot(const QString& path) : m_path(path) {}
    ~ExportedSnapshot() override {
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral("-journal"));
    }
    QString path() const override { return m_path; }

private:
    QString m_path;
};

} // namespace

// Cuts the connection of a call that has had no answer in time. One call runs
// at a time on the connection; a call inside a call (a rollback after a
// failure) shares the outer one's watch.
class ServerStore::Watchdog {
public:
    Watchdog() : m_thread([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void arm(int socket) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_depth++ > 0)
            return;
        m_socket = socket;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(CallSeconds);
        m_wake.notify_all();
    }
    void disarm() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_depth > 0 && --m_depth == 0)
            m_socket = -1;
    }
    // True once after a call was cut.
    bool takeFired() {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool fired = m_fired;
        m_fired = false;
        return fired;
    }
    bool fired() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            if (m_socket < 0) {
                m_wake.wait(lock);
                continue;
            }
            const auto deadline = m_deadline;
            if (m_wake.wait_until(lock, deadline) == std::cv_status::timeout && m_socket >= 0 &&
                std::chrono::steady_clock::now() >= m_deadline) {
                // The call waiting on this socket returns at once as a lost
                // connection; the connection is made again for the next one.
                ::shutdown(m_socket, SHUT_RDWR);
                m_socket = -1;
                m_fired = true;
            }
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_socket = -1;
    int m_depth = 0;
    bool m_fired = false;
    bool m_stop = false;
    std::chrono::steady_clock::time_point m_deadline;
    std::thread m_thread;
};

struct ServerStore::Limit : SubjectStore::CallLimit {
    explicit Limit(Watchdog* dog) : watchdog(dog) {}
    ~Limit() override {
        if (watchdog)
            watchdog->disarm();
    }
    Watchdog* watchdog;
};

ServerStore::ServerStore(const StoreUrl& url)
    : m_url(url), m_connectionName(QStringLiteral("velmora-subjects-server")),
      m_watchdog(std::make_unique<Watchdog>()) {}

ServerStore::~ServerStore() {
    close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString ServerStore::workstationName() {
    // The server keeps at most 63 bytes of it.
    return QStringLiteral("velmora (%1)").arg(QSysInfo::machineHostName()).left(60);
}

QString ServerStore::displayName() const {
    return describeStoreUrl(m_url);
}

QString ServerStore::failureMessage(const QString& detail) const {
    return QStringLiteral("کار با پايگاه داده سرور انجام نشد:\n%1\n\n%2")
        .arg(QChar(0x2066) + displayName() + QChar(0x2069), detail);
}

QSqlDatabase ServerStore::connectionAsItIs() const {
    return QSqlDatabase::contains(m_connectionName)
               ? QSqlDatabase::database(m_connectionName, false)
               : QSqlDatabase();
}

QSqlDatabase ServerStore::connection() {
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (db.isOpen() || transactionDepth() > 0)
        return db;
    forgetPrepared();
    db.close();
    applyStoreUrl(withDefaults(loginUrl()), db);
    if (db.open()) {
        QSqlQuery q(db);
        q.exec(QString::fromLatin1(LockTimeoutSql));
        q.exec(QString::fromLatin1(QuietSql));
        listenForRestores(db);
    }
    return db;
}

void ServerStore::listenForRestores(QSqlDatabase& db) {
    QSqlQuery q(db);
    q.exec(QStringLiteral("LISTEN ") + QString::fromLatin1(RestoreChannel));
}

void ServerStore::catchUp() {
    // What the server sent meanwhile is read from the connection as it is,
    // without a round trip; a word of this workstation's own restore is not
    // news to it.
    PGconn* const conn = pgConnection(connectionAsItIs());
    if (!conn || PQstatus(conn) != CONNECTION_OK || !PQconsumeInput(conn))
        return;
    const int self = PQbackendPID(conn);
    while (PGnotify* notify = PQnotifies(conn)) {
        if (qstrcmp(notify->relname, RestoreChannel) == 0 && notify->be_pid != self)
            restoredElsewhere(QString::fromUtf8(notify->extra));
        PQfreemem(notify);
    }
}

void ServerStore::close() {
    dropTransactions();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
}

std::unique_ptr<SubjectStore::CallLimit> ServerStore::limitCall() {
    PGconn* const conn = pgConnection(connectionAsItIs());
    const int socket = conn ? PQsocket(conn) : -1;
    if (socket < 0)
        return nullptr;
    m_watchdog->arm(socket);
    return std::make_unique<Limit>(m_watchdog.get());
}

QString ServerStore::beginSql(TransactionMode mode) const {
    return mode == TransactionMode::Write
               ? QStringLiteral("BEGIN")
               : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
}

StoreFailure ServerStore::classify(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("23505"))
        return StoreFailure::DuplicateKey;
    // lock_not_available: the lock timeout passed while another session held
    // the rows or tables (a restore, a long write).
    if (code == QLatin1String("55P03"))
        return StoreFailure::Busy;
    // QPSQL's isOpen() follows the server connection's status: once a
    // statement found it gone, every later one fails with no error at all.
    // Class 08 (connection exception) and 57P0x (the server shutting down)
    // say the same while it is still marked open.
    if (!connectionAsItIs().isOpen() || m_watchdog->fired() ||
        code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P0")))
        return StoreFailure::ConnectionLost;
    return error.type() == QSqlError::NoError && error.text().isEmpty() && code.isEmpty()
               ? StoreFailure::None
               : StoreFailure::Other;
}

QString ServerStore::busyText() const {
    // Asked on the connection after the failed statement's transaction has
    // ended; a question that fails only leaves out the reason.
    QSqlQuery q(connectionAsItIs());
    const bool restoring =
        q.exec(QStringLiteral("SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND classid = "
                              "%1 AND objid = %2 AND granted")
                   .arg(RestoreLockClass)
                   .arg(RestoreLockObject)) &&
        q.next();
    return restoring ? QStringLiteral("سرور مشغول بازيابي اطلاعات از نسخه پشتيبان در ايستگاه "
                                      "ديگري است؛ چند لحظه بعد دوباره امتحان کنيد.")
                     : QStringLiteral("ايستگاه ديگري همين اطلاعات را در دست دارد؛ چند لحظه بعد "
                                      "دوباره امتحان کنيد.");
}

QString ServerStore::describe(const QSqlError& error) const {
    const StoreFailure kind = classify(error);
    if (kind == StoreFailure::ConnectionLost) {
        if (m_watchdog->takeFired())
            return QStringLiteral("سرور پايگاه داده در %1 ثانيه پاسخي نداد و ارتباط با آن قطع "
                                  "شد؛ پس از رفع مشکل دوباره امتحان کنيد.")
                .arg(CallSeconds);
        const QString lost = QStringLiteral("ارتباط با سرور پايگاه داده قطع شد");
        return error.text().trimmed().isEmpty() ? lost : lost + QStringLiteral("\n") + error.text();
    }
    if (kind == StoreFailure::Busy)
        return busyText();
    return error.text();
}

QString ServerStore::keyColumnSql() const {
    // An explicit key is still accepted, so a restore keeps its rows' keys.
    return QStringLiteral("\"ID\" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
}

QString ServerStore::keyTypeSql() const {
    return QStringLiteral("BIGINT");
}

QString ServerStore::sameValueSql(const QString& quotedColumn) const {
    return quotedColumn + QStringLiteral(" IS NOT DISTINCT FROM ?");
}

QStringList ServerStore::codeKeyTriggerSql() const {
    return {QStringLiteral(
                "CREATE OR REPLACE FUNCTION \"CodeKey_Pending\"() RETURNS trigger LANGUAGE plpgsql "
                "AS $$ BEGIN INSERT INTO \"CodeKey\" (\"ID\", \"Key\") VALUES (NEW.\"ID\", NULL) "
                "ON CONFLICT (\"ID\") DO UPDATE SET \"Key\" = NULL; RETURN NEW; END $$"),
            QStringLiteral("CREATE OR REPLACE TRIGGER \"IDE_CodeKey_Insert\" AFTER INSERT ON "
                           "\"IDE\" FOR EACH ROW EXECUTE FUNCTION \"CodeKey_Pending\"()"),
            QStringLiteral("CREATE OR REPLACE TRIGGER \"IDE_CodeKey_Update\" AFTER UPDATE OF "
                           "\"Code\" ON \"IDE\" FOR EACH ROW WHEN (OLD.\"Code\" IS DISTINCT FROM "
                           "NEW.\"Code\") EXECUTE FUNCTION \"CodeKey_Pending\"()")};
}

QString ServerStore::nameKeySql(const QString& field) const {
    return NameSearch::serverKeySql(field);
}

namespace {

// Creates the tables the database lacks and checks the ones it has, in one
// transaction. Empty when ready; otherwise why not.
QString prepareTables(QSqlDatabase& db, const ServerStore& store) {
    QString error;
    if (!db.transaction())
        return store.describe(db.lastError());
    const auto fail = [&db](const QString& why) {
        db.rollback();
        return why;
    };
    if (!run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey), &error,
             store))
        return fail(error);
    QList<QPair<QString, QStringList>> wanted;
    for (const QString& table : Database::tables(DbFile::Subjects))
        wanted.append({table, Database::fields(table)});
    wanted.append({QStringLiteral("CodeKey"), {QStringLiteral("ID"), QStringLiteral("Key")}});
    QStringList missing;
    bool keysReady = true;
    for (const auto& [table, tableFields] : std::as_const(wanted)) {
        // Names are exact on the server: a table made by hand without quotes
        // has a lower-case name and fields and is not ours, nor is it left
        // for ours to stand beside.
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("SELECT table_name || '.' || column_name || '.' || is_nullable FROM "
                           "information_schema.columns WHERE table_schema = current_schema() AND "
                           "lower(table_name) = lower(?)"));
        q.addBindValue(table);
        if (!q.exec())
            return fail(store.describe(q.lastError()));
        QStringList present;
        while (q.next())
            present.append(q.value(0).toString());
        if (present.isEmpty()) {
            missing.append(table);
            continue;
        }
        for (const QString& field : tableFields)
            if (!present.contains(table + u'.' + field + QStringLiteral(".YES")) &&
                !present.contains(table + u'.' + field + QStringLiteral(".NO")))
                return fail(QStringLiteral("اين پايگاه داده از آن ولمورا نيست: جدول %1 فيلد %2 "
                                           "ندارد")
                                .arg(isolatedText(table), isolatedText(field)));
        // Keys of an earlier version could not wait to be worked out.
        if (table == QLatin1String("CodeKey") && present.contains(QStringLiteral("CodeKey.Key.NO")))
            keysReady = false;
    }
    // Only what is missing is made: tables that are there are kept as they are.
    for (const QString& table : std::as_const(missing)) {
        const QStringList statements =
            table == QLatin1String("CodeKey")
                ? CodeKeys::schemaSql(store)
                : QStringList{Database::createTableSql(table, store.keyColumnSql())};
        for (const QString& sql : statements)
            if (!run(db, sql, &error, store))
                return fail(error);
    }
    if (!missing.isEmpty())
        for (const QString& sql : Database::subjectIndexes())
            if (!run(db, sql, &error, store))
                return fail(error);
    if (!keysReady && !run(db,
                           QStringLiteral("ALTER TABLE \"CodeKey\" ALTER COLUMN \"Key\" DROP "
                                          "NOT NULL"),
                           &error, store))
        return fail(error);
    // The triggers of an earlier version's server, or of a new one; the keys
    // that are missing are worked out at the first look-alike check.
    QSqlQuery triggers(db);
    if (!triggers.exec(QStringLiteral("SELECT COUNT(*) FROM pg_trigger WHERE tgname IN "
                                      "('IDE_CodeKey_Insert', 'IDE_CodeKey_Update')")) ||
        !triggers.next())
        return fail(store.describe(triggers.lastError()));
    if (triggers.value(0).toInt() < 2) {
        for (const QString& sql : store.codeKeyTriggerSql())
            if (!run(db, sql, &error, store))
                return fail(error);
        if (!run(db,
                 QStringLiteral("INSERT INTO \"CodeKey\" (\"ID\", \"Key\") SELECT \"ID\", NULL "
                                "FROM \"IDE\" ON CONFLICT (\"ID\") DO NOTHING"),
                 &error, store))
            return fail(error);
    }
    // The indexes the code lookup finds names by, on a server prepared before
    // them too. Only a missing one is made: making one locks the table
    // against the other workstations' writes.
    QSqlQuery indexes(db);
    if (!indexes.exec(QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = "
                                     "current_schema() AND tablename = 'IDE'")))
        return fail(store.describe(indexes.lastError()));
    QStringList present;
    while (indexes.next())
        present.append(indexes.value(0).toString());
    const QStringList nameIndexes = NameSearch::serverIndexSql();
    for (int i = 0; i < nameIndexes.size(); ++i)
        if (!present.contains(NameSearch::indexNames().at(i)) &&
            !run(db, nameIndexes.at(i), &error, store))
            return fail(error);
    // The clinic's research key: one row, written once and only read after
    // that. Made only where it is missing: an operator's role may not create
    // tables, and even CREATE ... IF NOT EXISTS asks for that right.
    {
        QSqlQuery exists(db);
        if (!exists.exec(QStringLiteral("SELECT to_regclass('\"ResearchKey\"') IS NOT NULL")) ||
            !exists.next())
            return fail(store.describe(exists.lastError()));
        if (!exists.value(0).toBool() &&
            !run(db,
                 QStringLiteral("CREATE TABLE \"ResearchKey\" "
                                "(\"ID\" INTEGER PRIMARY KEY, \"Secret\" TEXT NOT NULL)"),
                 &error, store))
            return fail(error);
    }
    if (!db.commit())
        return fail(store.describe(db.lastError()));
    return QString();
}

} // namespace

bool ServerStore::open(QString* error) {
    QSqlDatabase db = connection();
    if (!db.isOpen()) {
        *error = QStringLiteral("به سرور پايگاه داده وصل نشد:\n%1\n\n%2")
                     .arg(QChar(0x2066) + displayName() + QChar(0x2069),
                          db.lastError().text().trimmed());
        return false;
    }
    const std::unique_ptr<CallLimit> limit = limitCall();
    QString why = prepareTables(db, *this);
    if (why.isEmpty() && !AuditTrail::prepareServer(db, &why) && why.isEmpty())
        why = describe(db.lastError());
    if (!why.isEmpty()) {
        db.close();
        *error = failureMessage(why);
        return false;
    }
    return true;
}

bool ServerStore::release(QString*) {
    // The server's tables never leave as a file of their own; nothing holds them.
    return true;
}

namespace {

// A value the server cannot take as text, named for the operator.
QString unstorableValue(const QString& table, const QStringList& fields,
                        const QVariantList& values) {
    for (int i = 1; i < fields.size() && i < values.size(); ++i) {
        if (!values.at(i).toString().contains(QChar(0)))
            continue;
        const int codeColumn = int(fields.indexOf(QStringLiteral("Code")));
        QString code = codeColumn > 0 ? values.at(codeColumn).toString()
                                      : QStringLiteral("#") + values.at(0).toString();
        return QStringLiteral("در جدول %1، فيلد %2 آزمودني با کد «%3» نويسه NUL (کد صفر) دارد که "
                              "سرور پايگاه داده آن را در متن نمي پذيرد. نسخه پشتيبان بازيابي "
                              "نشد و اطلاعات سرور دست نخورد.")
            .arg(isolatedText(table), isolatedText(fields.at(i)),
                 isolatedText(code.remove(QChar(0))));
    }
    return QString();
}

// The INSERT of batch rows of table, and the values of a row read from
// another store, keys included.
QString insertSql(const QString& table, const QStringList& fields, qsizetype rows) {
    QStringList marks;
    for (int i = 0; i < fields.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString row = QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    QStringList all;
    for (qsizetype i = 0; i < rows; ++i)
        all.append(row);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(Database::quoted(table), columnList(fields), all.join(QStringLiteral(", ")));
}

template <typename Query> QVariantList rowValues(const Query& read, const QStringList& fields) {
    QVariantList values;
    values.append(read.value(0).toLongLong());
    for (int i = 1; i < fields.size(); ++i)
        values.append(read.value(i).isNull() ? QVariant() : QVariant(read.value(i).toString()));
    return values;
}

QString selectAllSql(const QString& table, const QStringList& fields) {
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY \"ID\"")
        .arg(columnList(fields), Database::quoted(table));
}

// Copies the rows of table from the server into the file, keys included.
bool copyToFile(ServerStore& store, QSqlDatabase file, const QString& table, qint64* done,
                qint64 total, const CopyProgress& progress, QString* error) {
    const QStringList fields = Database::fields(table);
    StoreQuery read(store);
    if (!read.exec(selectAllSql(table, fields))) {
        *error = read.error();
        return false;
    }
    QList<QVariantList> pending;
    const auto flush = [&]() {
        if (pending.isEmpty())
            return true;
        QSqlQuery write(file);
        bool ok = write.prepare(insertSql(table, fields, pending.size()));
        for (const QVariantList& values : std::as_const(pending))
            for (const QVariant& v : values)
                write.addBindValue(v);
        if (!ok || !write.exec()) {
            *error = write.lastError().text();
            return false;
        }
        *done += pending.size();
        pending.clear();
        if (progress)
            progress(*done, total);
        return true;
    };
    while (read.next()) {
        pending.append(rowValues(read, fields));
        if (pending.size() >= RowsPerStatement && !flush())
            return false;
    }
    if (read.failure() != StoreFailure::None) {
        *error = read.error();
        return false;
    }
    return flush();
}

// Copies the rows of table from the file onto the server, keys included.
bool copyToServer(const QSqlDatabase& file, ServerStore& store, const QString& table, qint64* done,
                  qint64 total, const CopyProgress& progress, QString* error) {
    const QStringList fields = Database::fields(table);
    QSqlQuery read(file);
    read.setForwardOnly(true);
    if (!read.exec(selectAllSql(table, fields))) {
        *error = read.lastError().text();
        return false;
    }
    QList<QVariantList> pending;
    const auto flush = [&]() {
        if (pending.isEmpty())
            return true;
        QVariantList values;
        for (const QVariantList& row : std::as_const(pending))
            values += row;
        StoreQuery write(store);
        if (!write.exec(insertSql(table, fields, pending.size()), values)) {
            *error = write.error();
            return false;
        }
        *done += pending.size();
        pending.clear();
        if (progress)
            progress(*done, total);
        return true;
    };
    while (read.next()) {
        const QVariantList values = rowValues(read, fields);
        const QString refused = unstorableValue(table, fields, values);
        if (!refused.isEmpty()) {
            *error = refused;
            return false;
        }
        pending.append(values);
        if (pending.size() >= RowsPerStatement && !flush())
            return false;
    }
    if (read.lastError().isValid()) {
        *error = read.lastError().text();
        return false;
    }
    return flush();
}

qint64 fileRowTotal(const QSqlDatabase& db, const QStringList& tables, bool* ok, QString* error) {
    qint64 total = 0;
    for (const QString& table : tables) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(Database::quoted(table))) ||
            !q.next()) {
            *error = q.lastError().text();
            *ok = false;
            return 0;
        }
        total += q.value(0).toLongLong();
    }
    return total;
}

qint64 serverRowTotal(ServerStore& store, const QStringList& tables, bool* ok, QString* error) {
    qint64 total = 0;
    for (const QString& table : tables) {
        StoreQuery q(store);
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(Database::quoted(table))) ||
            !q.next()) {
            *error = q.error();
            *ok = false;
            return 0;
        }
        total += q.value(0).toLongLong();
    }
    return total;
}

} // namespace

bool ServerStore::exportTo(const QString& path, const CopyProgress& progress, QString* error) {
    const QStringList tables = Database::tables(DbFile::Subjects);
    SqliteFile::Connection file(path);
    QSqlDatabase copy = file.db();
    if (!copy.isOpen()) {
        *error = copy.lastError().text();
        return false;
    }
    // One snapshot of all tables: rows other workstations store meanwhile are
    // either wholly in the backup or not at all.
    StoreTransaction snapshot(*this, StoreTransaction::Mode::Snapshot);
    if (!snapshot.begun()) {
        *error = snapshot.error();
        return false;
    }
    bool ok = copy.transaction();
    if (!ok)
        *error = copy.lastError().text();
    for (const QString& table : tables)
        ok = ok && run(copy, Database::createTableSql(table), error, *this);
    for (const QString& sql : Database::subjectIndexes())
        ok = ok && run(copy, sql, error, *this);
    const qint64 total = ok ? serverRowTotal(*this, tables, &ok, error) : 0;
    qint64 done = 0;
    for (const QString& table : tables)
        ok = ok && copyToFile(*this, copy, table, &done, total, progress, error);
    if (ok && !copy.commit()) {
        *error = copy.lastError().text();
        ok = false;
    }
    if (!ok)
        copy.rollback();
    snapshot.rollback(); // it only read
    return ok;
}

std::unique_ptr<StoreSnapshot> ServerStore::snapshot(const QString& scratchFolder,
                                                     const CopyProgress& progress, QString* error) {
    QDir().mkpath(scratchFolder);
    const QString path =
        QDir(scratchFolder)
            .filePath(QStringLiteral(".snapshot.%1.staged")
                          .arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
    // Made here, new and private, before the engine opens it: a name some
    // other program put there first is never written through.
    QFile made(path);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFile::ReadOwner | QFile::WriteOwner)) {
        *error = QStringLiteral("فايل موقت در پوشه پشتيبان ساخته نشد: ") + made.errorString();
        return nullptr;
    }
    made.close();
    auto snap = std::make_unique<ExportedSnapshot>(path);
    if (!exportTo(path, progress, error))
        return nullptr;
    return snap;
}

bool ServerStore::replaceWith(const QString& path, const CopyProgress& progress, QString* error) {
    struct Consumed {
        QString path;
        ~Consumed() { QFile::remove(path); }
    } consumed{path};
    QString why;
    if (!Database::isSoundSubjectDatabase(path, &why)) {
        *error = why;
        return false;
    }
    SqliteFile::Connection file(path, SqliteFile::Access::ReadOnly);
    QSqlDatabase source = file.db();
    if (!source.isOpen()) {
        *error = source.lastError().text();
        return false;
    }
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        *error = transaction.error();
        return false;
    }
    const QStringList present = source.tables();
    QStringList tables;
    for (const QString& table : Database::tables(DbFile::Subjects))
        if (present.contains(table, Qt::CaseInsensitive))
            tables.append(table);
    bool ok = true;
    const auto step = [&](const QString& sql) {
        if (!ok)
            return;
        StoreQuery q(*this);
        ok = q.exec(sql);
        if (!ok)
            *error = q.error();
    };
    // Whoever waits for the tables meanwhile can tell it is a restore.
    step(QStringLiteral("SELECT pg_advisory_xact_lock(%1, %2)")
             .arg(RestoreLockClass)
             .arg(RestoreLockObject));
    // The keys of the codes go with the rows they were made from; they are
    // made anew from the restored codes.
    const QStringList replaced = Database::tables(DbFile::Subjects) + QStringList{"CodeKey"};
    // Other workstations wait for the restore rather than write into it.
    for (const QString& table : replaced)
        step(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(Database::quoted(table)));
    for (const QString& table : replaced)
        step(QStringLiteral("DELETE FROM %1").arg(Database::quoted(table)));
    const qint64 total = ok ? fileRowTotal(source, tables, &ok, error) : 0;
    qint64 done = 0;
    for (const QString& table : tables)
        ok = ok && copyToServer(source, *this, table, &done, total, progress, error);
    // New keys continue above the restored ones.
    for (const QString& table : Database::tables(DbFile::Subjects))
        step(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'ID'), "
                            "COALESCE(MAX(\"ID\"), 0) + 1, false) FROM %1")
                 .arg(Database::quoted(table)));
    ok = ok && CodeKeys::fillMissing(*this, error);
    // The planner's picture of the tables changed with every row: without it
    // the searches would read whole tables until the server's own analysis
    // comes round.
    for (const QString& table : replaced)
        step(QStringLiteral("ANALYZE %1").arg(Database::quoted(table)));
    // Heard by every other workstation when, and only if, this commits.
    step(QStringLiteral("SELECT pg_notify('%1', '%2')")
             .arg(QString::fromLatin1(RestoreChannel),
                  QStringLiteral("%1 — %2")
                      .arg(workstationName(), QDateTime::currentDateTime().toString(Qt::ISODate))
                      .replace(QLatin1Char('\''), QLatin1String("''"))));
    if (!ok) {
        transaction.rollback();
        return false;
    }
    if (!transaction.commit()) {
        *error = transaction.error();
        return false;
    }
    return true;
}

StoreUrl ServerStore::loginUrl() const {
    StoreUrl url = m_url;
    if (!m_user.isEmpty()) {
        url.user = m_user;
        url.password = m_password;
    }
    return url;
}

void ServerStore::logInAs(const QString& user, const QString& password) {
    close();
    m_user = user;
    m_password = password;
}

bool ServerStore::loginRefused() const {
    const QString said = connectionAsItIs().lastError().text();
    return said.contains(QLatin1String("password")) ||
           said.contains(QLatin1String("authentication"));
}

bool ServerStore::appendAudit(const AuditEntry& entry, QString* error) {
    return AuditTrail::appendOnServer(*this, entry, error);
}

bool ServerStore::appendAuditAlone(const AuditEntry& entry, QString* error) {
    // The server's table never leaves with a restore: the store's own
    // connection writes it.
    return AuditTrail::append(entry, error);
}

bool ServerStore::openAuditReader(const QString& connectionName, QString* error) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    // As the subject connection: the operator's own login, and a server that
    // does not answer is not waited for as long as the system would. Named
    // apart, so that a restore does not count it as another workstation.
    StoreUrl url = loginUrl();
    if (url.option(QStringLiteral("application_name")).isNull())
        url.options.append({QStringLiteral("application_name"),
                            QStringLiteral("audit reader of ") + workstationName()});
    applyStoreUrl(withDefaults(url), db);
    if (db.open())
        return true;
    *error = failureMessage(db.lastError().text().trimmed());
    return false;
}

QString ServerStore::auditStoreKey() const {
    StoreUrl url = m_url;
    url.user.clear();
    url.password.clear();
    return describeStoreUrl(url);
}

QString ServerStore::stagingFolder() const {
    return QDir::current().absoluteFilePath(QStringLiteral("Back"));
}

QList<Workstation> ServerStore::otherWorkstations(QString* error) {
    QList<Workstation> result;
    StoreQuery q(*this);
    if (!q.exec(QStringLiteral("SELECT application_name, COALESCE(host(client_addr), ''), "
                               "to_char(backend_start, 'YYYY-MM-DD\"T\"HH24:MI:SS') FROM "
                               "pg_stat_activity WHERE datname = current_database() AND pid <> "
                               "pg_backend_pid() AND application_name LIKE 'velmora%' ORDER BY "
                               "backend_start"))) {
        *error = q.error();
        return result;
    }
    while (q.next())
        result.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
    return result;
}

SubjectStore::KeyOutcome ServerStore::researchKey(const std::function<QByteArray()>& make,
                                                  QByteArray* text, QString* where,
                                                  QString* detail) {
    *where = displayName();
    const auto read = [&](bool* found) {
        StoreQuery q(*this);
        if (!q.exec(QStringLiteral("SELECT \"Secret\" FROM \"ResearchKey\" WHERE \"ID\" = 1"))) {
            *detail = q.error();
            return false;
        }
        *found = q.next();
        if (*found)
            *text = q.value(0).toString().toLatin1();
        else if (q.failure() != StoreFailure::None)
            *detail = q.error();
        return q.failure() == StoreFailure::None;
    };
    bool found = false;
    if (!read(&found))
        return KeyOutcome::NotRead;
    if (found)
        return KeyOutcome::Read;
    // Two workstations may both make one: the first row written stays.
    QByteArray made = make();
    StoreQuery insert(*this);
    const bool inserted =
        insert.exec(QStringLiteral("INSERT INTO \"ResearchKey\" (\"ID\", \"Secret\") VALUES (1, ?) "
                                   "ON CONFLICT (\"ID\") DO NOTHING"),
                    {QString::fromLatin1(made)});
    ResearchKeyFile::wipe(&made);
    if (!inserted) {
        *detail = insert.error();
        return KeyOutcome::NotKept;
    }
    if (!read(&found))
        return KeyOutcome::NotRead;
    if (!found) {
        *detail = QStringLiteral("table ResearchKey holds no key");
        return KeyOutcome::NotKept;
    }
    return KeyOutcome::Read;
}

QFuture<QString> ServerStore::checkInBackground() {
    return QtFuture::makeReadyFuture(QString());
}

} // namespace velmora
