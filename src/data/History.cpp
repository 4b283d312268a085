#include "data/History.h"

#include "data/Database.h"

#include <QSqlError>
#include <QSqlQuery>

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

bool append(qint64 answerKey, const QString& date, const QString& time, QString* error) {
    // Copied inside the database from the stored row, so the administration
    // holds exactly what the sheet holds, whatever the window still shows.
    QSqlQuery q(Database::connection(DbFile::Subjects));
    q.prepare(QStringLiteral("INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\", %1) "
                             "SELECT \"Code\", ?, ?, %1 FROM \"Answer\" WHERE \"ID\" = ?")
                  .arg(itemColumns()));
    q.addBindValue(textValue(date));
    q.addBindValue(textValue(time));
    q.addBindValue(answerKey);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
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
    QSqlQuery q(Database::connection(DbFile::Subjects));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"ID\", \"Code\", \"Date\", \"Time\", %1 FROM \"History\" "
                             "WHERE \"Code\" = ? ORDER BY \"ID\" DESC")
                  .arg(itemColumns()));
    q.addBindValue(textValue(code));
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
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
