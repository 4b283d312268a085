#include "data/CodeKeys.h"
#include "data/FileStore.h"

#include "data/SubjectStore.h"
#include "data/TextNumber.h"

#include <QList>
#include <QPair>
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

// Keys per INSERT: one round trip to a server carries many.
constexpr int KeysPerStatement = 200;

// Stores the keys, over whatever the rows held (a key still to be worked out,
// or one another workstation worked out at the same moment: the same key).
bool storeKeys(SubjectStore& store, const QList<QPair<qint64, QString>>& keys, QString* error) {
    if (keys.isEmpty())
        return true;
    QStringList rows;
    QVariantList values;
    for (const auto& [id, key] : keys) {
        rows.append(QStringLiteral("(?, ?)"));
        values << id << key;
    }
    StoreQuery q(store);
    if (q.exec(QStringLiteral("INSERT INTO \"CodeKey\" (\"ID\", \"Key\") VALUES %1 ON CONFLICT "
                              "(\"ID\") DO UPDATE SET \"Key\" = excluded.\"Key\"")
                   .arg(rows.join(QStringLiteral(", "))),
               values))
        return true;
    *error = q.error();
    return false;
}

QString tableSql(const QString& keyType) {
    return QStringLiteral("CREATE TABLE \"CodeKey\" (\"ID\" %1 PRIMARY KEY, \"Key\" TEXT)")
        .arg(keyType);
}

QString indexSql() {
    return QStringLiteral("CREATE INDEX \"CodeKey_Key\" ON \"CodeKey\" (\"Key\")");
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

QStringList schemaSql(const SubjectStore& store) {
    const auto ifMissing = [](QString sql) {
        return sql
            .replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE IF NOT EXISTS "))
            .replace(QStringLiteral("CREATE INDEX "),
                     QStringLiteral("CREATE INDEX IF NOT EXISTS "));
    };
    return QStringList{ifMissing(tableSql(store.keyTypeSql())), ifMissing(indexSql())} +
           store.codeKeyTriggerSql();
}

QStringList fileSchemaObjects() {
    return QStringList{tableSql(FileStore::fileKeyType()), indexSql()} +
           FileStore::fileCodeKeyTriggers();
}

QString earlierFileTableSql() {
    return QStringLiteral(
        "CREATE TABLE \"CodeKey\" (\"ID\" INTEGER PRIMARY KEY, \"Key\" TEXT NOT NULL)");
}

bool fillMissing(SubjectStore& store, QString* error) {
    // Either every missing key is added or none: a savepoint inside the
    // caller's transaction, a transaction of its own otherwise.
    StoreTransaction transaction(store);
    if (!transaction.begun()) {
        *error = transaction.error();
        return false;
    }
    // The rows whose key is still to be worked out: whoever added or changed
    // the code, the store marked the row so (an index search, whatever the
    // number of subjects).
    QList<QPair<qint64, QString>> keys;
    {
        StoreQuery q(store);
        if (!q.exec(QStringLiteral("SELECT \"CodeKey\".\"ID\", \"IDE\".\"Code\" FROM \"CodeKey\" "
                                   "JOIN \"IDE\" ON \"IDE\".\"ID\" = \"CodeKey\".\"ID\" WHERE "
                                   "\"CodeKey\".\"Key\" IS NULL"))) {
            *error = q.error();
            return false;
        }
        // The whole result is read before the next statement: a server drops
        // the rest of a result that is still being read when another one runs.
        while (q.next())
            keys.append({q.value(0).toLongLong(), codeKey(q.value(1).toString())});
        if (!q.error().isEmpty()) {
            *error = q.error();
            return false;
        }
    }
    for (qsizetype from = 0; from < keys.size(); from += KeysPerStatement)
        if (!storeKeys(store, keys.mid(from, KeysPerStatement), error))
            return false;
    if (!transaction.commit()) {
        *error = transaction.error();
        return false;
    }
    return true;
}

bool write(SubjectStore& store, qint64 id, const QString& code, QString* error) {
    return storeKeys(store, {{id, codeKey(code)}}, error);
}

bool findLookAlike(const QString& code, QString* stored, QString* error, qint64 exceptId) {
    stored->clear();
    SubjectStore& store = SubjectStore::current();
    if (!fillMissing(store, error))
        return false;
    const QString key = codeKey(code);
    StoreQuery q(store);
    if (!q.exec(QStringLiteral("SELECT \"IDE\".\"Code\" FROM \"CodeKey\" JOIN \"IDE\" ON "
                               "\"IDE\".\"ID\" = \"CodeKey\".\"ID\" WHERE \"CodeKey\".\"Key\" = ? "
                               "AND \"IDE\".\"Code\" <> ? AND \"IDE\".\"ID\" <> ? ORDER BY "
                               "\"IDE\".\"ID\""),
                {key, code, exceptId})) {
        *error = q.error();
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
