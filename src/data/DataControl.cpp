#include "data/DataControl.h"

#include "data/SubjectStore.h"

#include <QSqlError>
#include <QSqlQuery>

#include <optional>

namespace velmora {

namespace {

// Never bind a null text: it would be stored as NULL, not as the empty text.
QVariant textValue(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

} // namespace

// A statement on the control's database: the subject store, whose every call
// is bounded and whose failed transactions end at once, or the settings file.
class DataControl::Statement {
public:
    explicit Statement(DbFile file) {
        if (file == DbFile::Subjects)
            m_store.emplace(SubjectStore::current());
        else
            m_settings.emplace(Database::connection(DbFile::Settings));
        if (m_settings)
            m_settings->setForwardOnly(true);
    }
    bool exec(const QString& sql, const QVariantList& values = {}) {
        if (m_store)
            return m_store->exec(sql, values);
        bool ok;
        if (values.isEmpty()) {
            ok = m_settings->exec(sql);
        } else {
            ok = m_settings->prepare(sql);
            for (const QVariant& v : values)
                m_settings->addBindValue(v);
            ok = ok && m_settings->exec();
        }
        if (!ok)
            m_settingsError = m_settings->lastError().text();
        return ok;
    }
    bool next() {
        if (m_store)
            return m_store->next();
        const bool ok = m_settings->next();
        if (!ok && m_settings->lastError().isValid())
            m_settingsError = m_settings->lastError().text();
        return ok;
    }
    QVariant value(int column) const {
        return m_store ? m_store->value(column) : m_settings->value(column);
    }
    int numRowsAffected() const {
        return m_store ? m_store->numRowsAffected() : m_settings->numRowsAffected();
    }
    QString error() const { return m_store ? m_store->error() : m_settingsError; }
    StoreFailure failure() const {
        if (m_store)
            return m_store->failure();
        return m_settingsError.isEmpty() ? StoreFailure::None : StoreFailure::Other;
    }

private:
    std::optional<StoreQuery> m_store;
    std::optional<QSqlQuery> m_settings;
    QString m_settingsError;
};

DataControl::DataControl(const QString& table, QObject* parent, const QString& name,
                         Opening opening)
    : QObject(parent), m_table(table), m_file(Database::fileOf(table)),
      m_fields(Database::fields(table)) {
    setObjectName(name);
    if (opening == Opening::Now)
        refresh();
}

void DataControl::checkField(const QString& field) const {
    Q_ASSERT_X(m_fields.contains(field), "DataControl", qPrintable(m_table + "." + field));
    (void)field;
}

bool DataControl::fail(const QString& detail, StoreFailure kind) {
    m_lastError = detail;
    m_lastFailure = kind;
    if (m_reportFailures)
        emit failed(Database::failureMessage(m_file, detail));
    return false;
}

bool DataControl::fail(const Statement& statement) {
    const StoreFailure kind = statement.failure();
    return fail(statement.error(), kind == StoreFailure::None ? StoreFailure::Other : kind);
}

QString DataControl::whereClause(QVariantList* values) const {
    QString where = QStringLiteral("\"ID\" <= ?");
    values->append(m_snapshotMax);
    if (isFiltered()) {
        where += QStringLiteral(" AND ") + Database::quoted(m_filterField) + QStringLiteral(" = ?");
        values->append(textValue(m_filterValue));
    }
    return where;
}

bool DataControl::loadWhere(const QString& extraCondition, const QVariantList& extraValues,
                            bool readBound) {
    m_values.clear();
    m_read.clear();
    m_dirty.clear();
    m_adding = false;
    m_currentId = -1;
    // What the window reads now is read after every restore heard of so far.
    if (m_file == DbFile::Subjects)
        SubjectStore::current().catchUp();
    m_generation = SubjectStore::current().generation();
    if (m_snapshotMax >= 0 || readBound) {
        QVariantList values;
        QString where;
        if (readBound) {
            // The first row by ID lies within the bound the same statement
            // reads: both come from one snapshot on either engine.
            where = QStringLiteral("1 = 1");
        } else {
            where = whereClause(&values);
        }
        if (!extraCondition.isEmpty())
            where += QStringLiteral(" AND ") + extraCondition;
        values += extraValues;
        QStringList columns;
        if (readBound)
            columns.append(
                QStringLiteral("(SELECT MAX(\"ID\") FROM %1)").arg(Database::quoted(m_table)));
        for (const QString& f : m_fields)
            columns.append(Database::quoted(f));
        const int first = readBound ? 1 : 0;
        Statement q(m_file);
        if (!q.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY \"ID\" LIMIT 1")
                        .arg(columns.join(QStringLiteral(", ")), Database::quoted(m_table), where),
                    values)) {
            if (readBound)
                m_snapshotMax = -1;
            emit currentChanged();
            return fail(q);
        }
        if (q.next()) {
            if (readBound)
                m_snapshotMax = q.value(0).toLongLong();
            m_currentId = q.value(first).toLongLong();
            for (int i = 0; i < m_fields.size(); ++i) {
                const QVariant v = q.value(first + i);
                m_values.insert(m_fields.at(i), v.toString());
                m_read.insert(m_fields.at(i), v.isNull() ? QVariant() : QVariant(v.toString()));
            }
        } else if (q.failure() != StoreFailure::None) {
            if (readBound)
                m_snapshotMax = -1;
            emit currentChanged();
            return fail(q);
        } else if (readBound) {
            // Empty when read: nothing to page through until the next refresh.
            m_snapshotMax = -1;
            m_count = 0;
        }
    }
    emit currentChanged();
    return true;
}

bool DataControl::loadFirst() {
    const bool ok = loadWhere(QString(), {});
    if (ok)
        noticeRestoreElsewhere();
    return ok;
}

void DataControl::noticeRestoreElsewhere() {
    if (m_file != DbFile::Subjects || !SubjectStore::current().takeRestoreNotice())
        return;
    emit notice(QStringLiteral("پرونده آزمودني ها در ايستگاه ديگري از نسخه پشتيبان بازيابي "
                               "شد%1. اين پنجره آن را همان گونه که اکنون هست مي خواند؛ آنچه پيش از "
                               "اين خوانده بود ديگر معتبر نيست.")
                    .arg(SubjectStore::current().lastRestoreText().isEmpty()
                             ? QString()
                             : QStringLiteral(" (") + QChar(0x2068) +
                                   SubjectStore::current().lastRestoreText() + QChar(0x2069) +
                                   QStringLiteral(")")));
}

bool DataControl::refresh() {
    m_filterField.clear();
    m_filterValue.clear();
    m_count = -1;
    m_lastError.clear();
    m_lastFailure = StoreFailure::None;
    const bool ok = loadWhere(QString(), {}, true);
    if (ok)
        noticeRestoreElsewhere();
    return ok;
}

bool DataControl::setFilter(const QString& field, const QString& value) {
    const auto it = std::find_if(m_fields.cbegin(), m_fields.cend(), [&field](const QString& f) {
        return f.compare(field, Qt::CaseInsensitive) == 0;
    });
    if (it == m_fields.cend())
        return fail(QStringLiteral("unknown field %1").arg(field));
    m_filterField = *it;
    m_filterValue = value;
    m_count = m_snapshotMax < 0 ? 0 : -1;
    return loadFirst();
}

qint64 DataControl::recordCount() {
    if (m_count >= 0)
        return m_count;
    QVariantList values;
    const QString where = whereClause(&values);
    Statement q(m_file);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                    .arg(Database::quoted(m_table), where),
                values) ||
        !q.next()) {
        fail(q);
        return 0;
    }
    m_count = q.value(0).toLongLong();
    return m_count;
}

bool DataControl::isEmpty() {
    if (m_count >= 0)
        return m_count == 0;
    // The first record of the snapshot is loaded whenever one exists, unless
    // the control moved past it or started a new one; count only then.
    if (m_currentId >= 0)
        return false;
    if (!isFiltered())
        return m_snapshotMax < 0; // the snapshot holds every row up to its largest key
    return recordCount() == 0;
}

bool DataControl::moveNext() {
    if (m_currentId < 0)
        return false;
    const qint64 from = m_currentId;
    if (!loadWhere(QStringLiteral("\"ID\" > ?"), {from}))
        return false;
    return m_currentId >= 0;
}

void DataControl::addNew() {
    m_values.clear();
    m_read.clear();
    m_dirty.clear();
    m_currentId = -1;
    m_adding = true;
    emit currentChanged();
}

void DataControl::setField(const QString& field, const QString& value) {
    checkField(field);
    m_values.insert(field, value);
    m_dirty.insert(field);
    emit fieldChanged(field, value);
}

void DataControl::setFieldFromWidget(const QString& field, const QString& value) {
    checkField(field);
    if (m_values.value(field) == value && m_values.contains(field))
        return;
    m_values.insert(field, value);
    m_dirty.insert(field);
}

QString DataControl::field(const QString& field) const {
    checkField(field);
    return m_values.value(field);
}

bool DataControl::update() {
    return store(false);
}

bool DataControl::updateOverChanges() {
    return store(true);
}

bool DataControl::store(bool overChanges) {
    if (!m_adding && m_dirty.isEmpty())
        return true;
    // Changes with no record to hold them (a filter that matched nothing)
    // cannot be stored; saying so beats dropping what the operator typed.
    if (!m_adding && m_currentId < 0)
        return fail(QStringLiteral("there is no record to store the changes in"));
    Statement q(m_file);
    if (m_adding) {
        // Every field is written: one never set is the empty text (an item
        // not yet answered), not NULL.
        QStringList columns, marks;
        QVariantList values;
        for (const QString& f : m_fields) {
            if (f == QLatin1String("ID"))
                continue;
            columns.append(Database::quoted(f));
            marks.append(QStringLiteral("?"));
            values.append(textValue(m_values.value(f)));
        }
        // The new key comes back with the insert itself: the server's
        // lastInsertId() is the session's last sequence value, whatever table
        // it belonged to.
        const QString sql =
            columns.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING \"ID\"")
                      .arg(Database::quoted(m_table))
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING \"ID\"")
                      .arg(Database::quoted(m_table), columns.join(QStringLiteral(", ")),
                           marks.join(QStringLiteral(", ")));
        if (!q.exec(sql, values) || !q.next())
            return fail(q);
        const qint64 id = q.value(0).toLongLong();
        m_adding = false;
        m_dirty.clear();
        m_currentId = id;
        m_values.insert(QStringLiteral("ID"), QString::number(id));
        m_read.clear();
        for (const QString& f : m_fields)
            m_read.insert(f, f == QLatin1String("ID") ? QVariant(QString::number(id))
                                                      : textValue(m_values.value(f)));
        // The stored record is part of this control's snapshot.
        m_snapshotMax = std::max(m_snapshotMax, id);
        m_count = -1;
        emit currentChanged();
        return true;
    }
    SubjectStore& subjects = SubjectStore::current();
    const bool subjectRow = m_file == DbFile::Subjects;
    if (subjectRow)
        subjects.catchUp();
    // A restore at another workstation since the row was read may have given
    // its key to someone else, or given the same subject other rows.
    if (subjectRow && m_generation != subjects.generation())
        return fail(replacedText(), StoreFailure::RowReplaced);
    QStringList assignments;
    QVariantList values;
    for (const QString& f : m_fields) {
        if (f == QLatin1String("ID") || !m_dirty.contains(f))
            continue;
        assignments.append(Database::quoted(f) + QStringLiteral(" = ?"));
        values.append(textValue(m_values.value(f)));
    }
    if (assignments.isEmpty()) {
        m_dirty.clear();
        return true;
    }
    // The row must still be the one read: the same key and the same code
    // (the subject's), and, unless the window says otherwise, every field as
    // it was read (nobody else changed it meanwhile).
    QStringList conditions{QStringLiteral("\"ID\" = ?")};
    values.append(m_currentId);
    if (subjectRow) {
        for (const QString& f : m_fields) {
            if (f == QLatin1String("ID") || !m_read.contains(f))
                continue;
            if (overChanges && f != QLatin1String("Code"))
                continue;
            conditions.append(subjects.sameValueSql(Database::quoted(f)));
            values.append(m_read.value(f));
        }
    }
    if (!q.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                    .arg(Database::quoted(m_table), assignments.join(QStringLiteral(", ")),
                         conditions.join(QStringLiteral(" AND "))),
                values))
        return fail(q);
    if (q.numRowsAffected() == 0)
        return failUnchangedRow();
    for (const QString& f : std::as_const(m_dirty))
        m_read.insert(f, textValue(m_values.value(f)));
    m_dirty.clear();
    return true;
}

QString DataControl::replacedText() const {
    const QString who = SubjectStore::current().lastRestoreText();
    return QStringLiteral("پرونده آزمودني ها پس از آنکه اين پنجره آن را خواند در ايستگاه ديگري "
                          "جايگزين شد (بازيابي از نسخه پشتيبان%1)؛ هيچ چيز ذخيره نشد تا چيزي در "
                          "پرونده آزمودني ديگري نوشته نشود.")
        .arg(who.isEmpty() ? QString()
                           : QStringLiteral("، ") + QChar(0x2068) + who + QChar(0x2069));
}

bool DataControl::failUnchangedRow() {
    // Nothing matched the row as it was read: either the row went or is now
    // someone else's, or it is the same subject's and another workstation
    // changed it since.
    if (m_file != DbFile::Subjects)
        return fail(QStringLiteral("the record is no longer in the file"),
                    StoreFailure::RowReplaced);
    Statement q(m_file);
    if (!q.exec(QStringLiteral("SELECT \"Code\" FROM %1 WHERE \"ID\" = ?")
                    .arg(Database::quoted(m_table)),
                {m_currentId}))
        return fail(q);
    const bool found = q.next();
    if (!found && q.failure() != StoreFailure::None)
        return fail(q);
    if (!found || q.value(0) != m_read.value(QStringLiteral("Code")))
        return fail(replacedText(), StoreFailure::RowReplaced);
    return fail(QStringLiteral("اين پرونده پس از آنکه اين پنجره آن را خواند در ايستگاه ديگري تغيير "
                               "کرده است."),
                StoreFailure::RowChanged);
}

DataControl::State DataControl::state() const {
    State s;
    s.values = m_values;
    s.read = m_read;
    s.generation = m_generation;
    s.dirty = m_dirty;
    s.currentId = m_currentId;
    s.snapshotMax = m_snapshotMax;
    s.count = m_count;
    s.adding = m_adding;
    return s;
}

void DataControl::restore(const State& s) {
    m_values = s.values;
    m_read = s.read;
    m_generation = s.generation;
    m_dirty = s.dirty;
    m_currentId = s.currentId;
    m_snapshotMax = s.snapshotMax;
    m_count = s.count;
    m_adding = s.adding;
    emit currentChanged();
}

DataTransaction::DataTransaction(std::initializer_list<DataControl*> controls) {
    for (DataControl* c : controls)
        m_saved.append({c, c->state()});
    if (!m_transaction.begun())
        m_error = m_transaction.error();
}

DataTransaction::~DataTransaction() {
    if (!m_done)
        rollback();
}

bool DataTransaction::commit() {
    if (m_done)
        return false;
    if (m_transaction.commit()) {
        m_done = true;
        return true;
    }
    if (m_error.isEmpty())
        m_error = m_transaction.error();
    rollback();
    return false;
}

void DataTransaction::rollback() {
    if (m_done)
        return;
    m_done = true;
    m_transaction.rollback();
    for (const auto& [control, state] : std::as_const(m_saved))
        control->restore(state);
}

} // namespace velmora
