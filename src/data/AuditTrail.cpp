#include "data/AuditTrail.h"

#include "data/Database.h"
#include "data/SqliteFile.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace velmora {

namespace AuditTrail {

namespace {

const char* const Attached = "velmora_audit";

// Entries read per query while the whole trail is checked: large enough that
// a million entries take a few dozen queries, small enough that a writer
// waits at most a moment for the reader.
constexpr int VerifyBlock = 20000;

// The columns of an entry, in the order of AuditEntry.
const char* const Columns =
    "\"Seq\", \"Time\", \"Workstation\", \"Operator\", \"Action\", \"Code\", \"Outcome\", "
    "\"Detail\", \"Hash\"";

// The trail's file: its entries and the operators of the file store.
const char* const FileTables[] = {
    "CREATE TABLE IF NOT EXISTS %1.\"Audit\" (\"Seq\" INTEGER PRIMARY KEY, \"Time\" TEXT NOT "
    "NULL, \"Workstation\" TEXT NOT NULL, \"Operator\" TEXT NOT NULL, \"Action\" TEXT NOT NULL, "
    "\"Code\" TEXT NOT NULL, \"Outcome\" TEXT NOT NULL, \"Detail\" TEXT NOT NULL, \"Hash\" TEXT "
    "NOT NULL)",
    // The audit window narrows by code, operator and date, newest first.
    "CREATE INDEX IF NOT EXISTS %1.\"Audit_Code\" ON \"Audit\" (\"Code\")",
    "CREATE INDEX IF NOT EXISTS %1.\"Audit_Operator\" ON \"Audit\" (\"Operator\")",
    "CREATE INDEX IF NOT EXISTS %1.\"Audit_Time\" ON \"Audit\" (\"Time\")",
    "CREATE TABLE IF NOT EXISTS %1.\"Operator\" (\"Name\" TEXT NOT NULL PRIMARY KEY COLLATE "
    "NOCASE, \"Role\" TEXT NOT NULL, \"Password\" TEXT NOT NULL, \"Enabled\" INTEGER NOT NULL, "
    "\"LastSignIn\" TEXT NOT NULL)",
};

// Entries are chained one at a time across every workstation of a server.
constexpr qint64 ChainLockKey = 0x76656c6d61756469; // "velmaudi"

QString serverSchemaSql() {
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS \"Audit\" (\"Seq\" BIGINT PRIMARY KEY, \"Time\" TEXT "
               "NOT NULL, \"Workstation\" TEXT NOT NULL, \"Operator\" TEXT NOT NULL, \"Action\" "
               "TEXT NOT NULL, \"Code\" TEXT NOT NULL, \"Outcome\" TEXT NOT NULL, \"Detail\" TEXT "
               "NOT NULL, \"Hash\" TEXT NOT NULL);\n"
               "CREATE INDEX IF NOT EXISTS \"Audit_Code\" ON \"Audit\" (\"Code\", \"Seq\");\n"
               "CREATE INDEX IF NOT EXISTS \"Audit_Operator\" ON \"Audit\" (\"Operator\", "
               "\"Seq\");\n"
               "CREATE INDEX IF NOT EXISTS \"Audit_Time\" ON \"Audit\" (\"Time\");\n"
               // Numbered, timed, signed by the session and chained by the server
               // itself, with the rights of the table's owner: the operators' roles
               // may add entries but not read them.
               "CREATE OR REPLACE FUNCTION velmora_audit_chain() RETURNS trigger LANGUAGE "
               "plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $chain$\n"
               "DECLARE last_seq bigint; last_hash text; part text; canon text := '';\n"
               "BEGIN\n"
               "  PERFORM pg_advisory_xact_lock(%1);\n"
               "  EXECUTE format('SELECT \"Seq\", \"Hash\" FROM %I.%I ORDER BY \"Seq\" DESC "
               "LIMIT 1', TG_TABLE_SCHEMA, TG_TABLE_NAME) INTO last_seq, last_hash;\n"
               "  NEW.\"Seq\" := COALESCE(last_seq, 0) + 1;\n"
               "  NEW.\"Time\" := to_char(clock_timestamp() AT TIME ZONE 'UTC', "
               "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"');\n"
               "  NEW.\"Operator\" := session_user;\n"
               "  NEW.\"Workstation\" := COALESCE(NEW.\"Workstation\", '');\n"
               "  NEW.\"Action\" := COALESCE(NEW.\"Action\", '');\n"
               "  NEW.\"Code\" := COALESCE(NEW.\"Code\", '');\n"
               "  NEW.\"Outcome\" := COALESCE(NEW.\"Outcome\", '');\n"
               "  NEW.\"Detail\" := COALESCE(NEW.\"Detail\", '');\n"
               "  FOREACH part IN ARRAY ARRAY[NEW.\"Seq\"::text, NEW.\"Time\", "
               "NEW.\"Workstation\", NEW.\"Operator\", NEW.\"Action\", NEW.\"Code\", "
               "NEW.\"Outcome\", NEW.\"Detail\", COALESCE(last_hash, '')] LOOP\n"
               "    canon := canon || octet_length(convert_to(part, 'UTF8'))::text || ':' || "
               "part;\n"
               "  END LOOP;\n"
               "  NEW.\"Hash\" := encode(sha256(convert_to(canon, 'UTF8')), 'hex');\n"
               "  RETURN NEW;\n"
               "END $chain$;\n"
               "CREATE OR REPLACE FUNCTION velmora_audit_keep() RETURNS trigger LANGUAGE plpgsql "
               "AS $keep$ BEGIN RAISE EXCEPTION 'the audit trail is only ever added to' USING "
               "ERRCODE = '42501'; END $keep$;\n"
               "DROP TRIGGER IF EXISTS \"Audit_chain\" ON \"Audit\";\n"
               "CREATE TRIGGER \"Audit_chain\" BEFORE INSERT ON \"Audit\" FOR EACH ROW EXECUTE "
               "FUNCTION velmora_audit_chain();\n"
               "DROP TRIGGER IF EXISTS \"Audit_keep\" ON \"Audit\";\n"
               "CREATE TRIGGER \"Audit_keep\" BEFORE UPDATE OR DELETE OR TRUNCATE ON \"Audit\" "
               "FOR EACH STATEMENT EXECUTE FUNCTION velmora_audit_keep();")
        .arg(ChainLockKey);
}

QString failure(const QString& detail) {
    return QStringLiteral("کار با پرونده رويدادنگار انجام نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(fileName()), detail);
}

// The engine's words for a failure, as the run's store tells them.
QString said(const QSqlError& error) {
    return SubjectStore::current().describe(error);
}

bool hasSqliteHeader(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(16);
    return head.isEmpty() || head == QByteArray("SQLite format 3\0", 16);
}

bool run(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = said(q.lastError());
    return false;
}

// The columns a table of the trail's file has, in order.
QStringList columnsOf(QSqlDatabase& db, const QString& schema, const QString& table) {
    QStringList names;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA %1.table_info(%2)").arg(schema, Database::quoted(table))))
        return names;
    while (q.next())
        names.append(q.value(1).toString());
    return names;
}

// Empty when the file holds the trail's tables as this program makes them
// (or none yet); otherwise what is wrong.
QString foreignTables(QSqlDatabase& db, const QString& schema) {
    const QList<QPair<QString, QStringList>> wanted = {
        {QStringLiteral("Audit"),
         {"Seq", "Time", "Workstation", "Operator", "Action", "Code", "Outcome", "Detail", "Hash"}},
        {QStringLiteral("Operator"), {"Name", "Role", "Password", "Enabled", "LastSignIn"}}};
    for (const auto& [table, columns] : wanted) {
        const QStringList present = columnsOf(db, schema, table);
        if (!present.isEmpty() && present != columns)
            return QStringLiteral("جدول %1 آن گونه که Velmora مي سازد نيست.").arg(table);
    }
    return QString();
}

void bindEntry(QSqlQuery& q, const AuditEntry& e) {
    for (const QString& text :
         {e.time, e.workstation, e.operatorName, e.action, e.code, e.outcome, e.detail})
        q.addBindValue(text.isNull() ? QString(QLatin1String("")) : text);
}

// Appends on a SQLite connection where the trail is schema: the insert comes
// first, so the file is locked for writing before anything of it is read and
// two writers never chain to the same entry.
bool appendToFileImpl(QSqlDatabase& db, const QString& schema, AuditEntry entry, QString* error) {
    const QString table = schema + QStringLiteral(".\"Audit\"");
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO %1 (\"Time\", \"Workstation\", \"Operator\", "
                                  "\"Action\", \"Code\", \"Outcome\", \"Detail\", \"Hash\") "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?, '') RETURNING \"Seq\"")
                       .arg(table));
    bindEntry(insert, entry);
    if (!insert.exec() || !insert.next()) {
        *error = said(insert.lastError());
        return false;
    }
    entry.seq = insert.value(0).toLongLong();
    insert.finish();
    QSqlQuery previous(db);
    previous.prepare(QStringLiteral("SELECT \"Hash\" FROM %1 WHERE \"Seq\" < ? ORDER BY \"Seq\" "
                                    "DESC LIMIT 1")
                         .arg(table));
    previous.addBindValue(entry.seq);
    if (!previous.exec()) {
        *error = said(previous.lastError());
        return false;
    }
    const QString before = previous.next() ? previous.value(0).toString() : QString();
    previous.finish();
    QSqlQuery seal(db);
    seal.prepare(QStringLiteral("UPDATE %1 SET \"Hash\" = ? WHERE \"Seq\" = ?").arg(table));
    seal.addBindValue(chainHash(entry, before));
    seal.addBindValue(entry.seq);
    if (!seal.exec()) {
        *error = said(seal.lastError());
        return false;
    }
    return true;
}

AuditEntry entryFrom(const QSqlQuery& q) {
    AuditEntry e;
    e.seq = q.value(0).toLongLong();
    e.time = q.value(1).toString();
    e.workstation = q.value(2).toString();
    e.operatorName = q.value(3).toString();
    e.action = q.value(4).toString();
    e.code = q.value(5).toString();
    e.outcome = q.value(6).toString();
    e.detail = q.value(7).toString();
    e.hash = q.value(8).toString();
    return e;
}

void appendField(QByteArray* canon, const QString& field) {
    const QByteArray bytes = field.toUtf8();
    canon->append(QByteArray::number(bytes.size()));
    canon->append(':');
    canon->append(bytes);
}

} // namespace

QString fileName() {
    return QStringLiteral("DBM/Audit.db");
}

QString absoluteFileName() {
    // Beside the subject file, in whatever spelling its folder has.
    return QFileInfo(Database::absoluteFileName(DbFile::Subjects))
        .absoluteDir()
        .filePath(QStringLiteral("Audit.db"));
}

QString attachedName() {
    return QString::fromLatin1(Attached);
}

bool attachTo(QSqlDatabase& subjects, QString* error) {
    const QString path = absoluteFileName();
    const bool existed = QFileInfo::exists(path);
    if (existed && (!QFileInfo(path).isFile() || !hasSqliteHeader(path))) {
        *error = failure(QStringLiteral("اين پرونده رويدادنگار ولمورا نيست"));
        return false;
    }
    const QString schema = Database::quoted(attachedName());
    {
        // A connection opened before (openAll runs on an open one too) has it.
        QSqlQuery attached(subjects);
        attached.prepare(QStringLiteral("SELECT 1 FROM pragma_database_list WHERE \"name\" = ?"));
        attached.addBindValue(attachedName());
        if (attached.exec() && attached.next())
            return true;
    }
    {
        QSqlQuery attach(subjects);
        attach.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(schema));
        attach.addBindValue(path);
        if (!attach.exec()) {
            *error = failure(attach.lastError().text());
            return false;
        }
    }
    QString detail;
    const auto fail = [&] {
        run(subjects, QStringLiteral("DETACH DATABASE %1").arg(schema), nullptr);
        *error = failure(detail);
        return false;
    };
    // Reading the schema also proves the file is not locked past the busy timeout.
    QSqlQuery probe(subjects);
    if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM %1.sqlite_master WHERE \"name\" IN "
                                   "('Audit', 'Operator')")
                        .arg(schema)) ||
        !probe.next()) {
        detail = probe.lastError().text();
        probe.finish();
        return fail();
    }
    const bool ready = probe.value(0).toInt() == 2;
    probe.finish();
    detail = foreignTables(subjects, schema);
    if (!detail.isEmpty())
        return fail();
    if (!ready) {
        if (!subjects.transaction()) {
            detail = subjects.lastError().text();
            return fail();
        }
        bool ok = true;
        for (const char* sql : FileTables)
            ok = ok && run(subjects, QString::fromLatin1(sql).arg(schema), &detail);
        if (!ok || !subjects.commit()) {
            if (ok)
                detail = subjects.lastError().text();
            subjects.rollback();
            return fail();
        }
    }
    if (!existed)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

bool prepareServer(QSqlDatabase& db, QString* error) {
    // A database that has the trail with its triggers is left as it is: the
    // operators' roles may not make anything there.
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT to_regclass('\"Audit\"') IS NOT NULL AND EXISTS "
                                   "(SELECT 1 FROM pg_trigger WHERE tgrelid = to_regclass("
                                   "'\"Audit\"') AND tgname = 'Audit_chain')")) ||
            !q.next()) {
            *error = said(q.lastError());
            return false;
        }
        if (q.value(0).toBool())
            return true;
    }
    if (!db.transaction()) {
        *error = said(db.lastError());
        return false;
    }
    // Several workstations starting at once make it once.
    bool ok = run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(ChainLockKey), error);
    ok = ok && run(db, serverSchemaSql(), error);
    if (ok && db.commit())
        return true;
    if (ok)
        *error = said(db.lastError());
    db.rollback();
    return false;
}

QString chainHash(const AuditEntry& entry, const QString& previousHash) {
    QByteArray canon;
    canon.reserve(256);
    appendField(&canon, QString::number(entry.seq));
    for (const QString* field :
         {&entry.time, &entry.workstation, &entry.operatorName, &entry.action, &entry.code,
          &entry.outcome, &entry.detail, &previousHash})
        appendField(&canon, *field);
    return QString::fromLatin1(QCryptographicHash::hash(canon, QCryptographicHash::Sha256).toHex());
}

bool append(const AuditEntry& entry, QString* error) {
    SubjectStore& store = SubjectStore::current();
    if (store.transactionDepth() > 0) {
        // Inside the action's own transaction the entry stands or falls with
        // the action, so it needs no savepoint of its own (on a server, two
        // round trips fewer for every action recorded).
        QString detail;
        if (store.appendAudit(entry, &detail))
            return true;
        if (error)
            *error = detail;
        return false;
    }
    StoreTransaction transaction(store);
    QString detail;
    bool ok = transaction.begun();
    if (!ok)
        detail = transaction.error();
    ok = ok && store.appendAudit(entry, &detail);
    if (ok && !transaction.commit()) {
        detail = transaction.error();
        ok = false;
    }
    if (!ok && error)
        *error = detail;
    return ok;
}

bool appendAlone(const AuditEntry& entry, QString* error) {
    return SubjectStore::current().appendAuditAlone(entry, error);
}

bool appendOnFile(QSqlDatabase& db, const QString& schema, AuditEntry entry, QString* error) {
    return appendToFileImpl(db, schema, std::move(entry), error);
}

bool appendOnServer(SubjectStore& store, const AuditEntry& entry, QString* error) {
    // Through the store's statements, prepared once per connection: an
    // action's entry costs the server one round trip, not three.
    QVariantList values;
    for (const QString& text :
         {entry.workstation, entry.action, entry.code, entry.outcome, entry.detail})
        values.append(text.isNull() ? QString(QLatin1String("")) : text);
    StoreQuery q(store);
    if (q.exec(QStringLiteral("INSERT INTO \"Audit\" (\"Workstation\", \"Action\", \"Code\", "
                              "\"Outcome\", \"Detail\") VALUES (?, ?, ?, ?, ?)"),
               values))
        return true;
    *error = q.error();
    return false;
}

bool appendToFileAlone(const AuditEntry& entry, QString* error) {
    const QString path = absoluteFileName();
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("the trail's file is missing");
        return false;
    }
    SqliteFile::Connection connection(path);
    QSqlDatabase db = connection.db();
    if (!db.isOpen()) {
        *error = db.lastError().text();
        return false;
    }
    const bool ok = run(db, QStringLiteral("BEGIN IMMEDIATE"), error) &&
                    appendToFileImpl(db, QStringLiteral("main"), entry, error) &&
                    run(db, QStringLiteral("COMMIT"), error);
    if (!ok)
        run(db, QStringLiteral("ROLLBACK"), nullptr);
    return ok;
}

bool openFileReader(const QString& connectionName, QString* error) {
    const QString path = absoluteFileName();
    if (!QFileInfo::exists(path)) {
        *error = failure(QStringLiteral("پرونده وجود ندارد"));
        return false;
    }
    QSqlDatabase db = SqliteFile::open(connectionName, path, SqliteFile::Access::ReadOnly);
    if (!db.isOpen()) {
        *error = failure(db.lastError().text());
        return false;
    }
    return true;
}

Reader::Reader(const QString& connectionName) : m_name(connectionName) {
    SubjectStore::current().openAuditReader(m_name, &m_error);
}

Reader::~Reader() {
    SqliteFile::remove(m_name);
}

bool Reader::isOpen() const {
    return m_error.isEmpty() && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Reader::db() const {
    return QSqlDatabase::database(m_name, false);
}

bool readBlock(QSqlDatabase& db, const Filter& filter, qint64 beforeSeq, int limit,
               QList<AuditEntry>* entries, QString* error) {
    QStringList conditions;
    QVariantList values;
    if (beforeSeq > 0) {
        conditions.append(QStringLiteral("\"Seq\" < ?"));
        values.append(beforeSeq);
    }
    const auto equal = [&](const char* column, const QString& value) {
        if (value.isEmpty())
            return;
        conditions.append(QStringLiteral("\"%1\" = ?").arg(QLatin1String(column)));
        values.append(value);
    };
    equal("Code", filter.code);
    equal("Operator", filter.operatorName);
    if (!filter.fromTime.isEmpty()) {
        conditions.append(QStringLiteral("\"Time\" >= ?"));
        values.append(filter.fromTime);
    }
    if (!filter.untilTime.isEmpty()) {
        conditions.append(QStringLiteral("\"Time\" < ?"));
        values.append(filter.untilTime);
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM \"Audit\"%2 ORDER BY \"Seq\" DESC LIMIT %3")
                  .arg(QLatin1String(Columns),
                       conditions.isEmpty()
                           ? QString()
                           : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")))
                  .arg(limit));
    for (const QVariant& v : std::as_const(values))
        q.addBindValue(v);
    if (!q.exec()) {
        *error = said(q.lastError());
        return false;
    }
    while (q.next())
        entries->append(entryFrom(q));
    return true;
}

bool readAfter(QSqlDatabase& db, qint64 afterSeq, int limit, QList<AuditEntry>* entries,
               QString* error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM \"Audit\" WHERE \"Seq\" > ? ORDER BY \"Seq\" LIMIT %2")
                  .arg(QLatin1String(Columns))
                  .arg(limit));
    q.addBindValue(afterSeq);
    if (!q.exec()) {
        *error = said(q.lastError());
        return false;
    }
    while (q.next())
        entries->append(entryFrom(q));
    return true;
}

bool head(QSqlDatabase& db, qint64* seq, QString* hash, QString* error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"Seq\", \"Hash\" FROM \"Audit\" ORDER BY \"Seq\" DESC "
                               "LIMIT 1"))) {
        *error = said(q.lastError());
        return false;
    }
    *seq = 0;
    hash->clear();
    if (q.next()) {
        *seq = q.value(0).toLongLong();
        *hash = q.value(1).toString();
    }
    return true;
}

bool firstHash(QSqlDatabase& db, QString* hash, QString* error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"Hash\" FROM \"Audit\" ORDER BY \"Seq\" LIMIT 1"))) {
        *error = said(q.lastError());
        return false;
    }
    hash->clear();
    if (q.next())
        *hash = q.value(0).toString();
    return true;
}

AuditVerdict verify(QSqlDatabase& db, const QList<AuditAnchor>& anchors,
                    const std::function<bool(qint64)>& progress) {
    AuditVerdict verdict;
    // The entries the anchors name, checked as the reading passes them.
    QHash<qint64, QList<int>> named;
    for (int i = 0; i < anchors.size(); ++i)
        named[anchors.at(i).seq].append(i);
    AuditVerdict anchorFailure;
    const auto failAt = [&verdict](AuditVerdict::Problem problem, const AuditEntry& entry) {
        verdict.problem = problem;
        verdict.badSeq = entry.seq;
        verdict.badTime = entry.time;
        return verdict;
    };
    QString previousHash;
    qint64 lastSeq = 0;
    for (;;) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM \"Audit\" WHERE \"Seq\" > ? ORDER BY \"Seq\" "
                                 "LIMIT %2")
                      .arg(QLatin1String(Columns))
                      .arg(VerifyBlock));
        q.addBindValue(lastSeq);
        if (!q.exec()) {
            verdict.problem = AuditVerdict::Problem::Unreadable;
            verdict.detail = said(q.lastError());
            return verdict;
        }
        int read = 0;
        while (q.next()) {
            ++read;
            const AuditEntry entry = entryFrom(q);
            if (entry.seq != lastSeq + 1)
                return failAt(AuditVerdict::Problem::Missing, entry);
            if (chainHash(entry, previousHash) != entry.hash)
                return failAt(AuditVerdict::Problem::Changed, entry);
            if (const auto it = named.constFind(entry.seq); it != named.cend()) {
                for (int i : *it)
                    if (!AuditAnchors::matches(anchors.at(i), entry.hash) &&
                        anchorFailure.intact()) {
                        anchorFailure.problem = AuditVerdict::Problem::Rewritten;
                        anchorFailure.badSeq = entry.seq;
                        anchorFailure.badTime = entry.time;
                        anchorFailure.anchor = anchors.at(i);
                    }
            }
            previousHash = entry.hash;
            lastSeq = entry.seq;
            ++verdict.entries;
        }
        if (q.lastError().isValid()) {
            verdict.problem = AuditVerdict::Problem::Unreadable;
            verdict.detail = said(q.lastError());
            return verdict;
        }
        if (progress && !progress(verdict.entries)) {
            verdict.problem = AuditVerdict::Problem::Stopped;
            return verdict;
        }
        if (read < VerifyBlock)
            break;
    }
    if (!anchorFailure.intact()) {
        anchorFailure.entries = verdict.entries;
        return anchorFailure;
    }
    // An anchor past the end: the trail lost its last entries, or an older
    // copy took its place. The one that reaches furthest says the most.
    const AuditAnchor* furthest = nullptr;
    for (const AuditAnchor& anchor : anchors)
        if (anchor.seq > lastSeq && (!furthest || anchor.seq > furthest->seq))
            furthest = &anchor;
    if (furthest) {
        verdict.problem = AuditVerdict::Problem::Truncated;
        verdict.badSeq = lastSeq + 1;
        verdict.anchor = *furthest;
        return verdict;
    }
    verdict.headHash = previousHash;
    return verdict;
}

} // namespace AuditTrail

namespace AuditAnchors {

namespace {

const char* const AnchorTable =
    "CREATE TABLE IF NOT EXISTS \"AuditAnchor\" (\"ID\" INTEGER PRIMARY KEY, \"Store\" TEXT NOT "
    "NULL, \"Seq\" INTEGER NOT NULL, \"Hash\" TEXT NOT NULL, \"Time\" TEXT NOT NULL, \"Place\" "
    "TEXT NOT NULL)";

} // namespace

QString currentStore() {
    return SubjectStore::current().auditStoreKey();
}

bool keep(qint64 seq, const QString& hash, const QString& place, QString* error) {
    if (seq <= 0)
        return true;
    QSqlDatabase db = Database::connection(DbFile::Settings);
    QSqlQuery q(db);
    if (!q.exec(QString::fromLatin1(AnchorTable))) {
        *error = q.lastError().text();
        return false;
    }
    q.prepare(QStringLiteral("INSERT INTO \"AuditAnchor\" (\"Store\", \"Seq\", \"Hash\", "
                             "\"Time\", \"Place\") VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(currentStore());
    q.addBindValue(seq);
    q.addBindValue(hash);
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    q.addBindValue(place.isNull() ? QString(QLatin1String("")) : place);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

bool kept(QList<AuditAnchor>* anchors, QString* error) {
    anchors->clear();
    QSqlDatabase db = Database::connection(DbFile::Settings);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!db.tables().contains(QStringLiteral("AuditAnchor")))
        return true;
    q.prepare(QStringLiteral("SELECT \"Seq\", \"Hash\", \"Time\", \"Place\" FROM "
                             "\"AuditAnchor\" WHERE \"Store\" = ? ORDER BY \"ID\""));
    q.addBindValue(currentStore());
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        anchors->append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                         q.value(3).toString()});
    return true;
}

bool matches(const AuditAnchor& anchor, const QString& hash) {
    return !anchor.hash.isEmpty() && hash == anchor.hash;
}

} // namespace AuditAnchors

} // namespace velmora
