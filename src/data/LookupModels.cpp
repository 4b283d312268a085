#include "data/LookupModels.h"

#include "data/Database.h"

#include "data/SubjectStore.h"

#include <limits>

namespace velmora {

namespace {

// Rows read per query: enough to fill the grid or an open list several times.
constexpr int BlockSize = 256;

// No key is smaller: the first block starts after it.
constexpr qint64 BeforeFirstKey = std::numeric_limits<qint64>::min();

const QStringList GridFields = {QStringLiteral("Code"), QStringLiteral("FName"),
                                QStringLiteral("LName"), QStringLiteral("Group")};

} // namespace

const QStringList& lookupGridFields() {
    return GridFields;
}

bool SubjectRowsModel::show(qint64 lastKey, const QString& field, const QString& value) {
    beginResetModel();
    m_lastKey = lastKey;
    m_field = field;
    m_value = value;
    m_rows.clear();
    m_error.clear();
    m_atEnd = lastKey < 0;
    QList<Row> block;
    const bool ok = m_atEnd || readBlock(BeforeFirstKey, &block);
    m_rows = block;
    endResetModel();
    return ok;
}

void SubjectRowsModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd)
        return;
    QList<Row> block;
    if (!readBlock(m_rows.isEmpty() ? BeforeFirstKey : m_rows.last().key, &block)) {
        if (onFailure)
            onFailure(m_error);
        return;
    }
    if (block.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(block.size()) - 1);
    m_rows += block;
    endInsertRows();
}

bool SubjectRowsModel::readBlock(qint64 after, QList<Row>* block) {
    QStringList columns{QStringLiteral("\"ID\"")};
    for (const QString& f : GridFields)
        columns.append(Database::quoted(f));
    QString where = QStringLiteral("\"ID\" <= ? AND \"ID\" > ?");
    if (!m_field.isEmpty())
        where += QStringLiteral(" AND ") + Database::quoted(m_field) + QStringLiteral(" = ?");
    QVariantList values{m_lastKey, after};
    if (!m_field.isEmpty())
        values.append(m_value.isNull() ? QString(QLatin1String("")) : m_value);
    StoreQuery q;
    if (!q.exec(QStringLiteral("SELECT %1 FROM \"IDE\" WHERE %2 ORDER BY \"ID\" LIMIT %3")
                    .arg(columns.join(QStringLiteral(", ")), where)
                    .arg(BlockSize),
                values)) {
        m_error = q.error();
        m_atEnd = true;
        return false;
    }
    while (q.next()) {
        Row row;
        row.key = q.value(0).toLongLong();
        for (int i = 1; i <= GridFields.size(); ++i)
            row.fields.append(q.value(i).toString());
        block->append(row);
    }
    m_atEnd = block->size() < BlockSize;
    return true;
}

bool NameListModel::load(qint64 lastKey) {
    beginResetModel();
    m_lastKey = lastKey;
    m_names.clear();
    m_error.clear();
    m_atEnd = lastKey < 0;
    QStringList block;
    const bool ok = m_atEnd || readBlock(QString(QLatin1String("")), &block);
    m_names = block;
    endResetModel();
    return ok;
}

void NameListModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd || m_names.isEmpty())
        return;
    QStringList block;
    if (!readBlock(m_names.last(), &block)) {
        if (onFailure)
            onFailure(m_error);
        return;
    }
    if (block.isEmpty())
        return;
    const int first = static_cast<int>(m_names.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(block.size()) - 1);
    m_names += block;
    endInsertRows();
}

bool NameListModel::readBlock(const QString& after, QStringList* block) {
    const QString field = Database::quoted(m_field);
    StoreQuery q;
    // One step along the field's index per name, from each name to the next
    // one: as fast for seven groups among a hundred thousand subjects as for
    // thousands of last names. (A server's DISTINCT reads every row when the
    // names are few.)
    const bool ok =
        q.exec(QStringLiteral("WITH RECURSIVE \"names\" (\"name\") AS (SELECT (SELECT %1 FROM "
                              "\"IDE\" WHERE %1 > ? AND \"ID\" <= ? ORDER BY %1 LIMIT 1) UNION ALL "
                              "SELECT (SELECT %1 FROM \"IDE\" WHERE %1 > \"names\".\"name\" AND "
                              "\"ID\" <= ? ORDER BY %1 LIMIT 1) FROM \"names\" WHERE "
                              "\"names\".\"name\" IS NOT NULL) SELECT \"name\" FROM \"names\" "
                              "WHERE \"name\" IS NOT NULL LIMIT %2")
                   .arg(field)
                   .arg(BlockSize),
               {after, m_lastKey, m_lastKey});
    if (!ok) {
        m_error = q.error();
        m_atEnd = true;
        return false;
    }
    while (q.next())
        block->append(q.value(0).toString());
    m_atEnd = block->size() < BlockSize;
    return true;
}

} // namespace velmora
