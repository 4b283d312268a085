#include "data/CodeKeys.h"

#include "data/Database.h"
#include "data/TextNumber.h"

#include <QList>
#include <QPair>
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

bool addMissingKeys(QString* error) {
    QSqlQuery q(Database::connection(DbFile::Subjects));
    q.setForwardOnly(true);
    if (!exec(q,
              QStringLiteral("CREATE TABLE IF NOT EXISTS \"CodeKey\" (\"ID\" INTEGER PRIMARY KEY, "
                             "\"Key\" TEXT NOT NULL)"),
              error) ||
        !exec(q,
              QStringLiteral("CREATE INDEX IF NOT EXISTS \"CodeKey_Key\" ON \"CodeKey\" (\"Key\")"),
              error))
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
    while (q.next())
        added.append({q.value(0).toLongLong(), q.value(1).toString()});
    q.finish();
    if (added.isEmpty())
        return true;
    q.prepare(QStringLiteral("INSERT INTO \"CodeKey\" (\"ID\", \"Key\") VALUES (?, ?)"));
    for (const auto& [id, code] : std::as_const(added)) {
        q.addBindValue(id);
        q.addBindValue(codeKey(code));
        if (!q.exec()) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
    }
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

bool update(QString* error) {
    // Either every missing key is added or none: a savepoint works inside the
    // registration's transaction and on its own.
    QSqlQuery q(Database::connection(DbFile::Subjects));
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
