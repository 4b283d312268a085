#include "data/History.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

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
    StoreQuery q;
    if (!q.exec(QStringLiteral("SELECT \"ID\", \"Code\", \"Date\", \"Time\", %1 FROM \"History\" "
                               "WHERE \"Code\" = ? ORDER BY \"ID\" DESC")
                    .arg(itemColumns()),
                {textValue(code)})) {
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
    return true;
}

} // namespace History

} // namespace velmora
