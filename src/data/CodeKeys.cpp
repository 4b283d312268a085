#include "data/CodeKeys.h"

#include "data/Database.h"
#include "data/SqlDialect.h"
#include "data/SubjectStore.h"
#include "data/TextNumber.h"

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace velmora {

namespace {

// Characters that change nothing a reader sees: the formatting characters
// (direction marks and isolates, zero-width spaces and joiners, the soft
// hyphen, ...) and the other marks that are ignored unless a font has a use
// for them (variation selectors, the combining grapheme joiner).
bool invisible(char32_t c) {
    // The prepended concatenation marks are formatting characters that show.
    if ((c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 || c == 0x0891 ||
        c == 0x08E2 || c == 0x110BD || c == 0x110CD)
        return false;
    if (QChar::category(c) == QChar::Other_Format)
        return true;
    return c == 0x034F || (c >= 0x180B && c <= 0x180F) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xE0100 && c <= 0xE01EF);
}

// The Persian form of a letter that Arabic writes differently: yeh and alef
// maksura are written as Persian yeh, kaf as keheh.
char32_t persianLetter(char32_t c) {
    switch (c) {
    case 0x064A: // Arabic yeh
    case 0x0649: // alef maksura
        return 0x06CC;
    case 0x0643: // Arabic kaf
        return 0x06A9;
    default:
        return c;
    }
}

bool exec(QSqlQuery& q, const QString& sql, QString* error) {
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// Keys per INSERT: one round trip to a server carries many.
constexpr int KeysPerStatement = 200;

bool insertKeys(QSqlQuery& q, const QList<QPair<qint64, QString>>& keys, QString* error) {
    if (keys.isEmpty())
        return true;
    QStringList rows;
    for (qsizetype i = 0; i < keys.size(); ++i)
        rows.append(QStringLiteral("(?, ?)"));
    // Another workstation may be adding the same missing keys at this moment:
    // a key that is there already is the same key.
    q.prepare(QStringLiteral("INSERT INTO \"CodeKey\" (\"ID\", \"Key\") VALUES %1 ON CONFLICT DO "
                             "NOTHING")
                  .arg(rows.join(QStringLiteral(", "))));
    for (const auto& [id, key] : keys) {
        q.addBindValue(id);
        q.addBindValue(key);
    }
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

bool addMissingKeys(QString* error) {
    QSqlDatabase db = Database::connection(DbFile::Subjects);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // A server's tables are made when the program connects; a file made by
    // an earlier version gets this one at its first registration.
    if (!SqlDialect::isServer(db))
        for (const QString& sql : CodeKeys::schemaSql(db))
            if (!exec(q, sql, error))
                return false;
    // Registration numbers only grow, so the subjects without a key are the
    // ones after the last key.
    if (!exec(q, QStringLiteral("SELECT COALESCE(MAX(\"ID\"), 0) FROM \"CodeKey\""), error) ||
        !q.next())
        return false;
    const qint64 last = q.value(0).toLongLong();
    q.finish();
    QList<QPair<qint64, QString>> added;
    q.prepare(
        QStringLiteral("SELECT \"ID\", \"Code\" FROM \"IDE\" WHERE \"ID\" > ? ORDER BY \"ID\""));
    q.addBindValue(last);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    // The whole result is read before the next statement: a server drops the
    // rest of a result that is still being read when another one runs.
    while (q.next())
        added.append({q.value(0).toLongLong(), codeKey(q.value(1).toString())});
    q.finish();
    for (qsizetype from = 0; from < added.size(); from += KeysPerStatement)
        if (!insertKeys(q, added.mid(from, KeysPerStatement), error))
            return false;
    return true;
}

} // namespace

QString codeKey(const QString& code) {
    QList<char32_t> kept;
    kept.reserve(code.size());
    for (const char32_t c : code.toUcs4())
        if (!invisible(c))
            kept.append(persianLetter(c));
    // Never the null text: a key is stored as text, even an empty one.
    QString key = QString::fromUcs4(kept.constData(), kept.size());
    return key.isNull() ? QStringLiteral("") : latinDigits(key);
}

namespace CodeKeys {

QStringList schemaSql(const QSqlDatabase& db) {
    // A file's key is its row number; a server's keys are plain numbers.
    const QString key =
        SqlDialect::isServer(db) ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS \"CodeKey\" (\"ID\" %1 PRIMARY KEY, "
                           "\"Key\" TEXT NOT NULL)")
                .arg(key),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"CodeKey_Key\" ON \"CodeKey\" (\"Key\")")};
}

bool update(QString* error) {
    // Either every missing key is added or none: a savepoint works inside the
    // registration's transaction, and on its own in a file; a server needs a
    // transaction of its own around it.
    QSqlDatabase db = Database::connection(DbFile::Subjects);
    if (SqlDialect::isServer(db) && !Database::isTransactionOpen(DbFile::Subjects)) {
        if (!db.transaction()) {
            if (error)
                *error = SqlDialect::describe(db.lastError(), db);
            return false;
        }
        Database::setTransactionOpen(DbFile::Subjects, true);
        bool ok = update(error);
        if (ok && !db.commit()) {
            if (error)
                *error = SqlDialect::describe(db.lastError(), db);
            ok = false;
        }
        if (!ok)
            db.rollback();
        Database::setTransactionOpen(DbFile::Subjects, false);
        return ok;
    }
    QSqlQuery q(db);
    if (!exec(q, QStringLiteral("SAVEPOINT \"CodeKeys\""), error))
        return false;
    if (addMissingKeys(error))
        return exec(q, QStringLiteral("RELEASE \"CodeKeys\""), error);
    q.exec(QStringLiteral("ROLLBACK TO \"CodeKeys\""));
    q.exec(QStringLiteral("RELEASE \"CodeKeys\""));
    return false;
}

bool findLookAlike(const QString& code, QString* stored, QString* error) {
    stored->clear();
    if (!update(error))
        return false;
    const QString key = codeKey(code);
    QSqlQuery q(Database::connection(DbFile::Subjects));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"IDE\".\"Code\" FROM \"CodeKey\" JOIN \"IDE\" ON "
                             "\"IDE\".\"ID\" = \"CodeKey\".\"ID\" WHERE \"CodeKey\".\"Key\" = ? "
                             "AND \"IDE\".\"Code\" <> ? ORDER BY \"IDE\".\"ID\""));
    q.addBindValue(key);
    q.addBindValue(code);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    // A key left behind by a code changed outside the program is passed over.
    while (q.next()) {
        const QString candidate = q.value(0).toString();
        if (codeKey(candidate) == key) {
            *stored = candidate;
            break;
        }
    }
    return true;
}

} // namespace CodeKeys

} // namespace velmora
