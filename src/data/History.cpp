#include "data/History.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace History {

namespace {

QString itemColumns() {
    QStringList columns;
    for (int item = 1; item <= ItemCount; ++item)
        columns.append(Database::quoted(QString::number(item)));
    return columns.join(QStringLiteral(", "));
}

QVariant textValue(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Runs sql with values and appends every administration it reads (the
// columns of administrationColumns(), in order).
bool readAdministrations(const QString& sql, const QVariantList& values,
                         QList<Administration>* result, QString* error) {
    StoreQuery q;
    if (!q.exec(sql, values)) {
        if (error)
            *error = q.error();
        return false;
    }
    while (q.next()) {
        Administration a;
        a.key = q.value(0).toLongLong();
        a.code = q.value(1).toString();
        a.date = q.value(2).toString();
        a.time = q.value(3).toString();
        for (int item = 1; item <= ItemCount; ++item)
            a.answers.append(q.value(3 + item).toString());
        result->append(a);
    }
    if (q.failure() != StoreFailure::None) {
        if (error)
            *error = q.error();
        return false;
    }
    return true;
}

QString administrationColumns() {
    return QStringLiteral("\"ID\", \"Code\", \"Date\", \"Time\", ") + itemColumns();
}

} // namespace

bool append(qint64 answerKey, const QString& code, const QString& date, const QString& time,
            QString* error) {
    // Copied inside the database from the stored row, so the administration
    // holds exactly what the sheet holds, whatever the window still shows;
    // and only from the row that is still this subject's sheet.
    StoreQuery q;
    if (!q.exec(QStringLiteral("INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\", %1) "
                               "SELECT \"Code\", ?, ?, %1 FROM \"Answer\" WHERE \"ID\" = ? AND "
                               "\"Code\" = ?")
                    .arg(itemColumns()),
                {textValue(date), textValue(time), answerKey, textValue(code)})) {
        if (error)
            *error = q.error();
        return false;
    }
    if (q.numRowsAffected() != 1) {
        if (error)
            *error = QStringLiteral("the answer sheet is no longer in the file");
        return false;
    }
    return true;
}

bool ofSubject(const QString& code, QList<Administration>* result, QString* error) {
    result->clear();
    return readAdministrations(
        QStringLiteral("SELECT %1 FROM \"History\" WHERE \"Code\" = ? ORDER BY \"ID\" DESC")
            .arg(administrationColumns()),
        {textValue(code)}, result, error);
}

bool page(const QString& code, qint64 olderThan, int limit, QList<Administration>* result,
          QString* error) {
    result->clear();
    // Along the index on the code, from the newest key down: a page costs the
    // same whatever the number of administrations before it.
    return readAdministrations(
        QStringLiteral("SELECT %1 FROM \"History\" WHERE \"Code\" = ? AND \"ID\" < ? "
                       "ORDER BY \"ID\" DESC LIMIT %2")
            .arg(administrationColumns())
            .arg(std::max(limit, 0)),
        {textValue(code), olderThan > 0 ? olderThan : std::numeric_limits<qint64>::max()}, result,
        error);
}

bool sheetState(qint64 answerKey, const QString& code, SheetState* state, QString* error) {
    *state = SheetState();
    QStringList sheet, kept;
    for (int item = 1; item <= ItemCount; ++item) {
        sheet.append(QStringLiteral("a.") + Database::quoted(QString::number(item)));
        kept.append(QStringLiteral("h.") + Database::quoted(QString::number(item)));
    }
    // The newest administration of the sheet's code beside the sheet, in one
    // statement: inside a transaction both are read from the same state.
    StoreQuery q;
    if (!q.exec(QStringLiteral("SELECT h.\"ID\", %1, %2 FROM \"Answer\" AS a LEFT JOIN "
                               "\"History\" AS h ON h.\"ID\" = (SELECT MAX(\"ID\") FROM "
                               "\"History\" WHERE \"Code\" = a.\"Code\") WHERE a.\"ID\" = ? AND "
                               "a.\"Code\" = ?")
                    .arg(sheet.join(QStringLiteral(", ")), kept.join(QStringLiteral(", "))),
                {answerKey, textValue(code)})) {
        if (error)
            *error = q.error();
        return false;
    }
    if (!q.next()) {
        if (q.failure() == StoreFailure::None)
            return true;
        if (error)
            *error = q.error();
        return false;
    }
    state->found = true;
    bool same = !q.value(0).isNull();
    for (int item = 1; item <= ItemCount; ++item) {
        // Stored as the empty text or as nothing, an unanswered item is the same.
        const QString answer = q.value(item).toString();
        if (!answer.isEmpty())
            state->answered = true;
        if (answer != q.value(ItemCount + item).toString())
            same = false;
    }
    state->kept = same;
    return true;
}

} // namespace History

} // namespace velmora
