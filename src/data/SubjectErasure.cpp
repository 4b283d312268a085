#include "data/SubjectErasure.h"

#include "data/AuditTrail.h"
#include "data/Database.h"
#include "data/SqliteFile.h"
#include "data/SubjectStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace velmora {

namespace SubjectErasure {

namespace {

const QString CodeKeyTable = QStringLiteral("CodeKey");

// The code keys of a subject are the rows whose key is the registration's.
QString codeKeyCondition() {
    return QStringLiteral("\"ID\" IN (SELECT \"ID\" FROM \"IDE\" WHERE \"Code\" = ?)");
}

// Every table that holds rows of a subject, each with the condition that
// picks that subject's rows (one value: the code). The code keys come first:
// they are found through the registration, which goes after them.
QList<QPair<QString, QString>> subjectTables() {
    QList<QPair<QString, QString>> tables{{CodeKeyTable, codeKeyCondition()}};
    for (const QString& table : Database::tables(DbFile::Subjects))
        tables.append({table, QStringLiteral("\"Code\" = ?")});
    return tables;
}

bool count(SubjectStore& store, const QString& table, const QString& condition, const QString& code,
           int* rows, QString* error) {
    StoreQuery q(store);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                    .arg(Database::quoted(table), condition),
                {code}) ||
        !q.next()) {
        *error = q.error();
        return false;
    }
    *rows = q.value(0).toInt();
    return true;
}

} // namespace

int total(const RowCounts& counts) {
    int sum = 0;
    for (const auto& [table, rows] : counts)
        sum += rows;
    return sum;
}

QString countsText(const RowCounts& counts) {
    QStringList parts;
    // Registration first, as an operator reads a subject.
    for (const QString& table : Database::tables(DbFile::Subjects) + QStringList{CodeKeyTable})
        for (const auto& [name, rows] : counts)
            if (name == table)
                parts.append(QStringLiteral("%1 %2").arg(name).arg(rows));
    return parts.join(QStringLiteral(", "));
}

bool removeRows(SubjectStore& store, const QString& code, RowCounts* removed, QString* error) {
    RowCounts counts;
    for (const auto& [table, condition] : subjectTables()) {
        StoreQuery q(store);
        if (!q.exec(
                QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoted(table), condition),
                {code})) {
            *error = q.error();
            return false;
        }
        counts.append({table, q.numRowsAffected()});
    }
    *removed = counts;
    return true;
}

bool countRows(SubjectStore& store, const QString& code, RowCounts* counts, QString* error) {
    RowCounts found;
    for (const auto& [table, condition] : subjectTables()) {
        int rows = 0;
        if (!count(store, table, condition, code, &rows, error))
            return false;
        found.append({table, rows});
    }
    *counts = found;
    return true;
}

FileHolds subjectFileHolds(const QString& path, const QString& code) {
    // Anything that is not a SQLite file cannot be looked into.
    if (!SqliteFile::hasHeader(path))
        return FileHolds::Unreadable;
    const SqliteFile::Connection file(path, SqliteFile::Access::ReadOnly);
    if (!file.isOpen())
        return FileHolds::Unreadable;
    QSqlDatabase db = file.db();
    // A backup made before a table existed lacks it; it holds nothing there.
    const QStringList present = db.tables();
    QStringList parts;
    QVariantList values;
    for (const auto& [table, condition] : subjectTables()) {
        if (table == CodeKeyTable || !present.contains(table))
            continue;
        parts.append(
            QStringLiteral("SELECT 1 FROM %1 WHERE %2").arg(Database::quoted(table), condition));
        values.append(code);
    }
    // A SQLite file without any subject table holds no subject.
    if (parts.isEmpty())
        return FileHolds::No;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(
            QStringLiteral("SELECT EXISTS (%1)").arg(parts.join(QStringLiteral(" UNION ALL ")))))
        return FileHolds::Unreadable;
    for (const QVariant& value : values)
        q.addBindValue(value);
    if (!q.exec() || !q.next())
        return FileHolds::Unreadable;
    return q.value(0).toInt() != 0 ? FileHolds::Yes : FileHolds::No;
}

bool firstEntryTime(const QString& code, const QString& actionKey, const QString& outcomeKey,
                    QDateTime* when, QString* error) {
    *when = QDateTime();
    const AuditTrail::Reader reader(QStringLiteral("velmora-erasure-trail"));
    if (!reader.isOpen()) {
        *error = reader.error();
        return false;
    }
    QSqlQuery q(reader.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT MIN(\"Time\") FROM \"Audit\" WHERE \"Code\" = ? AND "
                             "\"Action\" = ? AND \"Outcome\" = ?"));
    q.addBindValue(code);
    q.addBindValue(actionKey);
    q.addBindValue(outcomeKey);
    if (!q.exec() || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    const QString time = q.value(0).toString();
    if (!time.isEmpty())
        *when = QDateTime::fromString(time, Qt::ISODateWithMs);
    return true;
}

} // namespace SubjectErasure

} // namespace velmora
