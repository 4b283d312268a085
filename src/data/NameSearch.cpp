#include "data/NameSearch.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

namespace velmora {

namespace {

// The letters written two ways, by code point: each pair is (Arabic, Persian).
struct Folding {
    char16_t from;
    char16_t to;
};
constexpr Folding Foldings[] = {
    {0x064A, 0x06CC}, // Arabic yeh
    {0x0649, 0x06CC}, // alef maksura
    {0x0643, 0x06A9}, // Arabic kaf
};

const char* const IndexNames[][2] = {{"FName", "IDE_FNameKey"}, {"LName", "IDE_LNameKey"}};

// The key as SQL: the same replacements as nameKey(), with the letters named
// by number so the statements stay plain ASCII (SQLite's char(), the server's
// chr()).
QString foldedSql(const QString& field, bool onServer) {
    const QString letter = onServer ? QStringLiteral("chr(%1)") : QStringLiteral("char(%1)");
    QString sql = Database::quoted(field);
    for (const Folding& f : Foldings)
        sql = QStringLiteral("replace(%1, %2, %3)")
                  .arg(sql, letter.arg(int(f.from)), letter.arg(int(f.to)));
    return sql;
}

QString keySql(const QString& field, bool onServer) {
    // The server's own collation may order names by a language's rules, under
    // which the names beginning with a text need not lie side by side; byte
    // order keeps them together, as in the file.
    return onServer ? QStringLiteral("(%1 COLLATE \"C\")").arg(foldedSql(field, true))
                    : foldedSql(field, false);
}

QStringList indexSql(bool onServer) {
    QStringList statements;
    for (const auto& [field, name] : IndexNames) {
        const QString f = QString::fromLatin1(field);
        // The key leads, the row's number follows: a page of matches is read
        // along the index in the order the grid lists them.
        statements.append(
            onServer ? QStringLiteral("CREATE INDEX IF NOT EXISTS \"%1\" ON \"IDE\" ((%2) COLLATE "
                                      "\"C\", \"ID\")")
                           .arg(QString::fromLatin1(name), foldedSql(f, true))
                     : QStringLiteral("CREATE INDEX \"%1\" ON \"IDE\" (%2, \"ID\")")
                           .arg(QString::fromLatin1(name), foldedSql(f, false)));
    }
    return statements;
}

// The smallest text above every text that begins with prefix (code point
// order), or the null text when there is none.
QString pastPrefix(const QString& prefix) {
    QList<char32_t> points;
    for (const char32_t c : prefix.toUcs4())
        points.append(c);
    while (!points.isEmpty()) {
        char32_t& last = points.last();
        if (last < 0x10FFFF) {
            ++last;
            // Past the surrogates, which no stored text holds.
            if (last >= 0xD800 && last <= 0xDFFF)
                last = 0xE000;
            return QString::fromUcs4(points.constData(), points.size());
        }
        points.removeLast();
    }
    return QString();
}

} // namespace

QString nameKey(const QString& name) {
    QString key = name;
    for (QChar& c : key)
        for (const Folding& f : Foldings)
            if (c.unicode() == f.from)
                c = QChar(f.to);
    return key;
}

namespace NameSearch {

bool isNameField(const QString& field) {
    for (const auto& names : IndexNames)
        if (field == QLatin1String(names[0]))
            return true;
    return false;
}

QString keyExpression(const QString& field, const SubjectStore& store) {
    return store.nameKeySql(field);
}

QString fileKeySql(const QString& field) {
    return keySql(field, false);
}

QString serverKeySql(const QString& field) {
    return keySql(field, true);
}

KeyRange keyRange(const QString& typed) {
    const QString key = nameKey(typed);
    return {key, pastPrefix(key)};
}

QString beginsWith(const QString& field, const QString& typed, const SubjectStore& store,
                   QVariantList* values) {
    const KeyRange range = keyRange(typed);
    if (range.low.isEmpty())
        return QStringLiteral("1 = 1");
    const QString expression = keyExpression(field, store);
    QString condition = expression + QStringLiteral(" >= ?");
    values->append(range.low);
    if (!range.high.isNull()) {
        condition += QStringLiteral(" AND ") + expression + QStringLiteral(" < ?");
        values->append(range.high);
    }
    return condition;
}

QStringList fileIndexSql() {
    return indexSql(false);
}

QStringList serverIndexSql() {
    return indexSql(true);
}

QStringList indexNames() {
    QStringList names;
    for (const auto& [field, name] : IndexNames)
        names.append(QString::fromLatin1(name));
    return names;
}

} // namespace NameSearch

} // namespace velmora
