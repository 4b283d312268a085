#include "data/LookupModels.h"

#include "data/Database.h"
#include "data/NameSearch.h"
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

bool SubjectRowsModel::show(qint64 lastKey, const QString& field, const QString& value,
                            Match match) {
    beginResetModel();
    m_lastKey = lastKey;
    m_field = field;
    m_value = value;
    m_match = NameSearch::isNameField(field) ? match : Match::Exact;
    m_rows.clear();
    m_error.clear();
    m_atEnd = lastKey < 0;
    QList<Row> block;
    const bool ok = m_atEnd || readBlock(nullptr, &block);
    m_rows = block;
    endResetModel();
    return ok;
}

void SubjectRowsModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd)
        return;
    QList<Row> block;
    if (!readBlock(m_rows.isEmpty() ? nullptr : &m_rows.last(), &block)) {
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

bool SubjectRowsModel::readBlock(const Row* after, QList<Row>* block) {
    SubjectStore& store = SubjectStore::current();
    const bool byName = m_match == Match::Beginning && !m_field.isEmpty();
    QStringList columns{QStringLiteral("\"ID\"")};
    for (const QString& f : GridFields)
        columns.append(Database::quoted(f));
    const QString nameKey = byName ? NameSearch::keyExpression(m_field, store) : QString();
    if (byName)
        columns.append(nameKey);

    // Reads up to limit rows where condition holds, in order, into block.
    const auto read = [&](const QString& condition, const QVariantList& values,
                          const QString& order, int limit) {
        StoreQuery q(store);
        if (!q.exec(QStringLiteral("SELECT %1 FROM \"IDE\" WHERE \"ID\" <= ? AND %2 ORDER BY %3 "
                                   "LIMIT %4")
                        .arg(columns.join(QStringLiteral(", ")), condition, order)
                        .arg(limit),
                    QVariantList{m_lastKey} + values)) {
            m_error = q.error();
            return false;
        }
        while (q.next()) {
            Row row;
            row.key = q.value(0).toLongLong();
            for (int i = 1; i <= GridFields.size(); ++i)
                row.fields.append(q.value(i).toString());
            if (byName)
                row.nameKey = q.value(int(GridFields.size()) + 1).toString();
            block->append(row);
        }
        return true;
    };

    bool ok = true;
    if (!byName) {
        QString condition = QStringLiteral("\"ID\" > ?");
        QVariantList values{after ? after->key : BeforeFirstKey};
        if (!m_field.isEmpty()) {
            condition +=
                QStringLiteral(" AND ") + Database::quoted(m_field) + QStringLiteral(" = ?");
            values.append(m_value.isNull() ? QString(QLatin1String("")) : m_value);
        }
        ok = read(condition, values, QStringLiteral("\"ID\""), BlockSize);
    } else {
        // Along the index on the name's key and the row's number, from the
        // last row listed: first the rest of its name, then the names after
        // it. (Each step is one range of the index, however many rows share
        // a name or lie before.)
        const NameSearch::KeyRange range = NameSearch::keyRange(m_value);
        const QString byKey = nameKey + QStringLiteral(", \"ID\"");
        QString condition;
        QVariantList values;
        if (after) {
            ok = read(nameKey + QStringLiteral(" = ? AND \"ID\" > ?"), {after->nameKey, after->key},
                      QStringLiteral("\"ID\""), BlockSize);
            condition = nameKey + QStringLiteral(" > ?");
            values.append(after->nameKey);
        } else {
            condition = nameKey + QStringLiteral(" >= ?");
            values.append(range.low);
        }
        if (!range.high.isNull()) {
            condition += QStringLiteral(" AND ") + nameKey + QStringLiteral(" < ?");
            values.append(range.high);
        }
        if (ok && block->size() < BlockSize)
            ok = read(condition, values, byKey, BlockSize - int(block->size()));
    }
    if (!ok) {
        m_atEnd = true;
        return false;
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
