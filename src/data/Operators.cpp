#include "data/Operators.h"

#include "data/AuditTrail.h"
#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <libpq-fe.h>

namespace velmora {

namespace {

const QLatin1String RoleKeys[] = {QLatin1String(""), QLatin1String("reception"),
                                  QLatin1String("clinician"), QLatin1String("admin")};

// A role name on the server is at most this many bytes.
constexpr int LongestName = 63;

QVariant textValue(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

bool prepared(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) {
    q.setForwardOnly(true);
    if (values.isEmpty()) {
        if (q.exec(sql))
            return true;
    } else {
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (q.exec())
            return true;
    }
    if (error)
        *error = q.lastError().text();
    return false;
}

} // namespace

QString roleKey(Role role) {
    return RoleKeys[static_cast<int>(role)];
}

Role roleFromKey(const QString& key) {
    for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
        if (key == RoleKeys[static_cast<int>(role)])
            return role;
    return Role::None;
}

QString operatorNameProblem(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("نام کاربر خالي است.");
    if (name.trimmed() != name)
        return QStringLiteral("نام کاربر با فاصله شروع يا تمام مي شود.");
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("نام کاربر نويسه کنترلي يا ناپيدا دارد.");
    if (name.toUtf8().size() > LongestName)
        return QStringLiteral("نام کاربر بيش از %1 بايت است.").arg(LongestName);
    if (name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive) ||
        name.startsWith(QLatin1String("velmora_"), Qt::CaseInsensitive))
        return QStringLiteral("نام هاي آغاز شده با pg_ يا velmora_ براي سرور نگه داشته شده اند.");
    return QString();
}

namespace OperatorTable {

namespace {

QString table() {
    return Database::quoted(AuditTrail::attachedName()) + QStringLiteral(".\"Operator\"");
}

QSqlQuery query() {
    return QSqlQuery(SubjectStore::current().connection());
}

Operator operatorFrom(const QSqlQuery& q) {
    Operator op;
    op.name = q.value(0).toString();
    op.role = roleFromKey(q.value(1).toString());
    op.passwordHash = q.value(2).toString();
    op.enabled = q.value(3).toInt() != 0;
    op.lastSignIn = q.value(4).toString();
    return op;
}

const char* const OperatorColumns = "\"Name\", \"Role\", \"Password\", \"Enabled\", \"LastSignIn\"";

bool changeOne(const QString& sql, const QVariantList& values, const QString& name,
               QString* error) {
    QSqlQuery q = query();
    if (!prepared(q, sql, values, error))
        return false;
    if (q.numRowsAffected() == 1)
        return true;
    *error = QStringLiteral("کاربري به نام «%1» نيست.").arg(name);
    return false;
}

} // namespace

bool adminExists(bool* exists, QString* error) {
    QSqlQuery q = query();
    if (!prepared(q,
                  QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE \"Role\" = 'admin')")
                      .arg(table()),
                  {}, error) ||
        !q.next()) {
        if (error && error->isEmpty())
            *error = q.lastError().text();
        return false;
    }
    *exists = q.value(0).toInt() != 0;
    return true;
}

bool find(const QString& name, Operator* found, bool* exists, QString* error) {
    QSqlQuery q = query();
    if (!prepared(q,
                  QStringLiteral("SELECT %1 FROM %2 WHERE \"Name\" = ?")
                      .arg(QLatin1String(OperatorColumns), table()),
                  {textValue(name)}, error))
        return false;
    *exists = q.next();
    if (*exists)
        *found = operatorFrom(q);
    return true;
}

bool list(QList<Operator>* operators, QString* error) {
    operators->clear();
    QSqlQuery q = query();
    if (!prepared(q,
                  QStringLiteral("SELECT %1 FROM %2 ORDER BY \"Name\"")
                      .arg(QLatin1String(OperatorColumns), table()),
                  {}, error))
        return false;
    while (q.next())
        operators->append(operatorFrom(q));
    return true;
}

bool add(const Operator& op, QString* error) {
    Operator existing;
    bool exists = false;
    if (!find(op.name, &existing, &exists, error))
        return false;
    if (exists) {
        *error = QStringLiteral("کاربري به نام «%1» از پيش هست.").arg(existing.name);
        return false;
    }
    QSqlQuery q = query();
    return prepared(q,
                    QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?, ?, ?, '')")
                        .arg(table(), QLatin1String(OperatorColumns)),
                    {op.name, roleKey(op.role), op.passwordHash, op.enabled ? 1 : 0}, error);
}

bool setEnabled(const QString& name, bool enabled, QString* error) {
    return changeOne(
        QStringLiteral("UPDATE %1 SET \"Enabled\" = ? WHERE \"Name\" = ?").arg(table()),
        {enabled ? 1 : 0, textValue(name)}, name, error);
}

bool setPasswordHash(const QString& name, const QString& hash, QString* error) {
    return changeOne(
        QStringLiteral("UPDATE %1 SET \"Password\" = ? WHERE \"Name\" = ?").arg(table()),
        {hash, textValue(name)}, name, error);
}

bool noteSignIn(const QString& name, const QString& time, QString* error) {
    return changeOne(
        QStringLiteral("UPDATE %1 SET \"LastSignIn\" = ? WHERE \"Name\" = ?").arg(table()),
        {time, textValue(name)}, name, error);
}

bool enabledAdmins(int* count, QString* error) {
    QSqlQuery q = query();
    if (!prepared(q,
                  QStringLiteral("SELECT COUNT(*) FROM %1 WHERE \"Role\" = 'admin' AND "
                                 "\"Enabled\" <> 0")
                      .arg(table()),
                  {}, error) ||
        !q.next())
        return false;
    *count = q.value(0).toInt();
    return true;
}

} // namespace OperatorTable

namespace ServerOperators {

namespace {

QString describe(const QSqlQuery& q, const QSqlDatabase&) {
    return SubjectStore::current().describe(q.lastError());
}

bool runOn(QSqlDatabase& db, QSqlQuery& q, const QString& sql, const QVariantList& values,
           QString* error) {
    if (prepared(q, sql, values, nullptr))
        return true;
    *error = describe(q, db);
    return false;
}

bool groupsExist(QSqlDatabase& db, bool* exist, QString* error) {
    QSqlQuery q(db);
    if (!runOn(db, q,
               QStringLiteral("SELECT COUNT(*) FROM pg_roles WHERE rolname IN "
                              "('velmora_reception', 'velmora_clinician', 'velmora_admin')"),
               {}, error) ||
        !q.next())
        return false;
    *exist = q.value(0).toInt() == 3;
    return true;
}

// The highest group of a role (by its oid expression), as a key.
QString roleCase(const QString& who) {
    return QStringLiteral("CASE WHEN pg_has_role(%1, 'velmora_admin', 'MEMBER') THEN 'admin' "
                          "WHEN pg_has_role(%1, 'velmora_clinician', 'MEMBER') THEN 'clinician' "
                          "WHEN pg_has_role(%1, 'velmora_reception', 'MEMBER') THEN 'reception' "
                          "ELSE '' END")
        .arg(who);
}

// The operators: login or disabled roles in a group, not the groups
// themselves and not the superusers, who belong to every role.
QString operatorRoles() {
    return QStringLiteral("FROM pg_roles u WHERE NOT u.rolsuper AND u.rolname NOT IN "
                          "('velmora_reception', 'velmora_clinician', 'velmora_admin') AND "
                          "pg_has_role(u.oid, 'velmora_reception', 'MEMBER')");
}

bool requireGroups(QSqlDatabase& db, QString* error) {
    bool exist = false;
    if (!groupsExist(db, &exist, error))
        return false;
    if (!exist)
        *error = QStringLiteral("نقش هاي گروهي ولمورا روي سرور نيستند: نخست velmora-server.sql را "
                                "روي پايگاه داده اجرا کنيد.");
    return exist;
}

QString quotedRole(const QString& name) {
    return Database::quoted(name);
}

// The password as the SCRAM verifier the server stores, made by libpq with
// the server's own settings: the password itself never travels, and the
// server's log never shows it.
bool verifierOf(QSqlDatabase& db, const QString& name, const QString& password, QString* out,
                QString* error) {
    const QVariant handle = db.driver()->handle();
    PGconn* conn = nullptr;
    // Qt names the handle's type after libpq's struct behind the typedef.
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        conn = *static_cast<PGconn* const*>(handle.constData());
    if (!conn) {
        *error = QStringLiteral("no connection to the server");
        return false;
    }
    QByteArray secret = password.toUtf8();
    char* made =
        PQencryptPasswordConn(conn, secret.constData(), name.toUtf8().constData(), nullptr);
    secret.fill('\0');
    if (!made) {
        *error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        return false;
    }
    *out = QString::fromUtf8(made);
    PQfreemem(made);
    return true;
}

QString literal(const QString& text) {
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

} // namespace

QString groupRole(Role role) {
    return QStringLiteral("velmora_") + roleKey(role);
}

bool inForce(QSqlDatabase& db, bool* result, QString* error) {
    bool exist = false;
    if (!groupsExist(db, &exist, error))
        return false;
    *result = false;
    if (!exist)
        return true;
    QSqlQuery q(db);
    if (!runOn(db, q,
               QStringLiteral("SELECT EXISTS (SELECT 1 %1 AND u.rolcanlogin AND pg_has_role(u.oid, "
                              "'velmora_admin', 'MEMBER'))")
                   .arg(operatorRoles()),
               {}, error) ||
        !q.next())
        return false;
    *result = q.value(0).toBool();
    return true;
}

bool roleOfSession(QSqlDatabase& db, Role* role, QString* error) {
    bool exist = false;
    if (!groupsExist(db, &exist, error))
        return false;
    *role = Role::None;
    if (!exist)
        return true;
    QSqlQuery q(db);
    if (!runOn(db, q, QStringLiteral("SELECT ") + roleCase(QStringLiteral("session_user")), {},
               error) ||
        !q.next())
        return false;
    *role = roleFromKey(q.value(0).toString());
    return true;
}

bool mayManageRoles(QSqlDatabase& db, bool* may, QString* error) {
    QSqlQuery q(db);
    if (!runOn(db, q,
               QStringLiteral("SELECT rolsuper OR rolcreaterole FROM pg_roles WHERE rolname = "
                              "current_user"),
               {}, error) ||
        !q.next())
        return false;
    *may = q.value(0).toBool();
    return true;
}

bool list(QSqlDatabase& db, QList<Operator>* operators, QString* error) {
    operators->clear();
    if (!requireGroups(db, error))
        return false;
    QSqlQuery q(db);
    if (!runOn(db, q,
               QStringLiteral("SELECT u.rolname, %1, u.rolcanlogin %2 ORDER BY u.rolname")
                   .arg(roleCase(QStringLiteral("u.oid")), operatorRoles()),
               {}, error))
        return false;
    while (q.next()) {
        Operator op;
        op.name = q.value(0).toString();
        op.role = roleFromKey(q.value(1).toString());
        op.enabled = q.value(2).toBool();
        operators->append(op);
    }
    // The last sign-in is the trail's to tell, where this role may read it.
    QSqlQuery readable(db);
    if (!runOn(db, readable,
               QStringLiteral("SELECT has_table_privilege(to_regclass('\"Audit\"'), 'SELECT')"), {},
               error) ||
        !readable.next())
        return false;
    if (!readable.value(0).toBool())
        return true;
    for (Operator& op : *operators) {
        QSqlQuery last(db);
        if (!runOn(db, last,
                   QStringLiteral("SELECT \"Time\" FROM \"Audit\" WHERE \"Operator\" = ? AND "
                                  "\"Action\" = 'sign-in' AND \"Outcome\" = 'done' ORDER BY "
                                  "\"Seq\" DESC LIMIT 1"),
                   {op.name}, error))
            return false;
        if (last.next())
            op.lastSignIn = last.value(0).toString();
    }
    return true;
}

bool exists(QSqlDatabase& db, const QString& name, Operator* found, bool* result, QString* error) {
    QList<Operator> all;
    if (!list(db, &all, error))
        return false;
    *result = false;
    for (const Operator& op : std::as_const(all))
        if (op.name == name) {
            *found = op;
            *result = true;
        }
    return true;
}

bool add(QSqlDatabase& db, const QString& name, Role role, const QString& password,
         QString* error) {
    if (!requireGroups(db, error))
        return false;
    QString verifier;
    if (!verifierOf(db, name, password, &verifier, error))
        return false;
    QSqlQuery q(db);
    return runOn(db, q,
                 QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2 IN ROLE %3")
                     .arg(quotedRole(name), literal(verifier), groupRole(role)),
                 {}, error);
}

bool setEnabled(QSqlDatabase& db, const QString& name, bool enabled, QString* error) {
    QSqlQuery q(db);
    return runOn(
        db, q,
        QStringLiteral("ALTER ROLE %1 %2")
            .arg(quotedRole(name), enabled ? QStringLiteral("LOGIN") : QStringLiteral("NOLOGIN")),
        {}, error);
}

bool setPassword(QSqlDatabase& db, const QString& name, const QString& password, QString* error) {
    QString verifier;
    if (!verifierOf(db, name, password, &verifier, error))
        return false;
    QSqlQuery q(db);
    return runOn(
        db, q, QStringLiteral("ALTER ROLE %1 PASSWORD %2").arg(quotedRole(name), literal(verifier)),
        {}, error);
}

bool enabledAdmins(QSqlDatabase& db, int* count, QString* error) {
    if (!requireGroups(db, error))
        return false;
    QSqlQuery q(db);
    if (!runOn(db, q,
               QStringLiteral("SELECT COUNT(*) %1 AND u.rolcanlogin AND pg_has_role(u.oid, "
                              "'velmora_admin', 'MEMBER')")
                   .arg(operatorRoles()),
               {}, error) ||
        !q.next())
        return false;
    *count = q.value(0).toInt();
    return true;
}

} // namespace ServerOperators

namespace SignInDelays {

namespace {

const char* const DelayTable =
    "CREATE TABLE IF NOT EXISTS \"SignInDelay\" (\"Name\" TEXT NOT NULL PRIMARY KEY, "
    "\"Failures\" INTEGER NOT NULL, \"Last\" TEXT NOT NULL)";

// One delay for every spelling of a name that signs in as the same operator.
QString keyOf(const QString& name) {
    return name.toLower();
}

bool ready(QSqlQuery& q, QString* error) {
    return prepared(q, QString::fromLatin1(DelayTable), {}, error);
}

} // namespace

bool failures(const QString& name, int* count, QDateTime* last, QString* error) {
    QSqlQuery q(Database::connection(DbFile::Settings));
    if (!ready(q, error) ||
        !prepared(q,
                  QStringLiteral("SELECT \"Failures\", \"Last\" FROM \"SignInDelay\" WHERE "
                                 "\"Name\" = ?"),
                  {keyOf(name)}, error))
        return false;
    *count = 0;
    *last = QDateTime();
    if (q.next()) {
        *count = q.value(0).toInt();
        *last = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    }
    return true;
}

bool noteFailure(const QString& name, QString* error) {
    QSqlQuery q(Database::connection(DbFile::Settings));
    return ready(q, error) &&
           prepared(q,
                    QStringLiteral("INSERT INTO \"SignInDelay\" (\"Name\", \"Failures\", \"Last\") "
                                   "VALUES (?, 1, ?) ON CONFLICT (\"Name\") DO UPDATE SET "
                                   "\"Failures\" = \"Failures\" + 1, \"Last\" = excluded.\"Last\""),
                    {keyOf(name), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                    error);
}

bool clear(const QString& name, QString* error) {
    QSqlQuery q(Database::connection(DbFile::Settings));
    return ready(q, error) &&
           prepared(q, QStringLiteral("DELETE FROM \"SignInDelay\" WHERE \"Name\" = ?"),
                    {keyOf(name)}, error);
}

} // namespace SignInDelays

namespace WorkstationSettings {

namespace {

const char* const SettingTable = "CREATE TABLE IF NOT EXISTS \"Setting\" (\"Name\" TEXT NOT NULL "
                                 "PRIMARY KEY, \"Value\" TEXT NOT NULL)";

} // namespace

int lockMinutes() {
    QSqlQuery q(Database::connection(DbFile::Settings));
    if (!prepared(q, QString::fromLatin1(SettingTable), {}, nullptr) ||
        !prepared(q, QStringLiteral("SELECT \"Value\" FROM \"Setting\" WHERE \"Name\" = ?"),
                  {QStringLiteral("LockMinutes")}, nullptr) ||
        !q.next())
        return DefaultLockMinutes;
    bool ok = false;
    const int minutes = q.value(0).toString().toInt(&ok);
    return ok && minutes >= 0 ? minutes : DefaultLockMinutes;
}

bool setLockMinutes(int minutes, QString* error) {
    QSqlQuery q(Database::connection(DbFile::Settings));
    return prepared(q, QString::fromLatin1(SettingTable), {}, error) &&
           prepared(q,
                    QStringLiteral("INSERT INTO \"Setting\" (\"Name\", \"Value\") VALUES (?, ?) "
                                   "ON CONFLICT (\"Name\") DO UPDATE SET \"Value\" = "
                                   "excluded.\"Value\""),
                    {QStringLiteral("LockMinutes"), QString::number(minutes)}, error);
}

} // namespace WorkstationSettings

} // namespace velmora
