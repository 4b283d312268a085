#include "data/DataControl.h"

#include "data/SubjectStore.h"

#include <QLabel>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace velmora {

namespace {

// Never bind a null text: it would be stored as NULL, not as the empty text.
QVariant textValue(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// A bound widget shows a field's value (a box left as it is when it already
// holds it, so its cursor does not jump).
void show(QWidget* widget, const QString& value) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != value)
            edit->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    }
}

} // namespace

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

bool DataControl::fail(const QString& detail) {
    m_lastError = detail;
    m_lastFailure = StoreFailure::Other;
    if (m_reportFailures)
        emit failed(Database::failureMessage(m_file, detail));
    return false;
}

bool DataControl::fail(const QSqlError& error) {
    // As the statement left it: connection() would already reopen a lost one.
    const QSqlDatabase db = m_file == DbFile::Subjects && Database::subjectsOnServer()
                                ? Database::serverConnectionAsItIs()
                                : QSqlDatabase();
    const StoreFailure kind = SqlDialect::classify(error, db);
    fail(SqlDialect::describe(error, db));
    m_lastFailure = kind == StoreFailure::None ? StoreFailure::Other : kind;
    return false;
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

bool DataControl::loadWhere(const QString& extraCondition, const QVariantList& extraValues) {
    m_values.clear();
    m_dirty.clear();
    m_adding = false;
    m_currentId = -1;
    if (m_snapshotMax >= 0) {
        QVariantList values;
        QString where = whereClause(&values);
        if (!extraCondition.isEmpty())
            where += QStringLiteral(" AND ") + extraCondition;
        values += extraValues;
        QStringList columns;
        for (const QString& f : m_fields)
            columns.append(Database::quoted(f));
        QSqlQuery q(Database::connection(m_file));
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY \"ID\" LIMIT 1")
                      .arg(columns.join(", "), Database::quoted(m_table), where));
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            const QSqlError error = q.lastError();
            fillBoundWidgets();
            emit currentChanged();
            return fail(error);
        }
        if (q.next()) {
            m_currentId = q.value(0).toLongLong();
            for (int i = 0; i < m_fields.size(); ++i)
                m_values.insert(m_fields.at(i), q.value(i).toString());
        }
    }
    fillBoundWidgets();
    emit currentChanged();
    return true;
}

bool DataControl::loadFirst() {
    return loadWhere(QString(), {});
}

bool DataControl::refresh() {
    m_filterField.clear();
    m_filterValue.clear();
    m_count = -1;
    m_lastError.clear();
    m_lastFailure = StoreFailure::None;
    QSqlQuery q(Database::connection(m_file));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT MAX(\"ID\") FROM %1").arg(Database::quoted(m_table))) ||
        !q.next()) {
        const QSqlError error = q.lastError();
        m_snapshotMax = -1;
        loadFirst();
        return fail(error);
    }
    m_snapshotMax = q.value(0).isNull() ? -1 : q.value(0).toLongLong();
    if (m_snapshotMax < 0)
        m_count = 0;
    return loadFirst();
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
    QSqlQuery q(Database::connection(m_file));
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(Database::quoted(m_table), where));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next()) {
        fail(q.lastError());
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
    m_dirty.clear();
    m_currentId = -1;
    m_adding = true;
    fillBoundWidgets();
    emit currentChanged();
}

void DataControl::setField(const QString& field, const QString& value) {
    checkField(field);
    m_values.insert(field, value);
    m_dirty.insert(field);
    if (m_filling)
        return;
    m_filling = true;
    for (const Binding& b : std::as_const(m_bindings))
        if (b.field == field)
            show(b.widget, value);
    m_filling = false;
}

QString DataControl::field(const QString& field) const {
    checkField(field);
    return m_values.value(field);
}

bool DataControl::update() {
    if (!m_adding && m_dirty.isEmpty())
        return true;
    // Changes with no record to hold them (a filter that matched nothing)
    // cannot be stored; saying so beats dropping what the operator typed.
    if (!m_adding && m_currentId < 0)
        return fail(QStringLiteral("there is no record to store the changes in"));
    QSqlQuery q(Database::connection(m_file));
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
        if (columns.isEmpty())
            q.prepare(QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING \"ID\"")
                          .arg(Database::quoted(m_table)));
        else
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING \"ID\"")
                          .arg(Database::quoted(m_table), columns.join(", "), marks.join(", ")));
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec() || !q.next())
            return fail(q.lastError());
        const qint64 id = q.value(0).toLongLong();
        q.finish();
        m_adding = false;
        m_dirty.clear();
        m_currentId = id;
        m_values.insert(QStringLiteral("ID"), QString::number(id));
        // The stored record is part of this control's snapshot.
        m_snapshotMax = std::max(m_snapshotMax, id);
        m_count = -1;
        fillBoundWidgets();
        emit currentChanged();
        return true;
    }
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
    q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE \"ID\" = ?")
                  .arg(Database::quoted(m_table), assignments.join(", ")));
    for (const QVariant& v : values)
        q.addBindValue(v);
    q.addBindValue(m_currentId);
    if (!q.exec())
        return fail(q.lastError());
    // A record removed meanwhile (a restore, another workstation) takes no
    // update; that must not pass for a stored change.
    if (q.numRowsAffected() == 0)
        return fail(QStringLiteral("the record is no longer in the file"));
    m_dirty.clear();
    return true;
}

void DataControl::bind(QLineEdit* edit, const QString& field) {
    checkField(field);
    unbind(edit);
    m_bindings.append({edit, field});
    connect(edit, &QLineEdit::textChanged, this, [this, edit](const QString& text) {
        if (m_filling)
            return;
        for (const Binding& b : std::as_const(m_bindings))
            if (b.widget == edit) {
                if (m_values.value(b.field) != text || !m_values.contains(b.field)) {
                    m_values.insert(b.field, text);
                    m_dirty.insert(b.field);
                }
                break;
            }
    });
    m_filling = true;
    show(edit, m_values.value(field));
    m_filling = false;
}

void DataControl::bind(QLabel* label, const QString& field) {
    checkField(field);
    unbind(label);
    m_bindings.append({label, field});
    show(label, m_values.value(field));
}

void DataControl::unbind(QWidget* widget) {
    for (int i = m_bindings.size() - 1; i >= 0; --i)
        if (m_bindings.at(i).widget == widget || !m_bindings.at(i).widget)
            m_bindings.removeAt(i);
    disconnect(widget, nullptr, this, nullptr);
}

void DataControl::fillBoundWidgets() {
    m_filling = true;
    for (const Binding& b : std::as_const(m_bindings))
        show(b.widget, m_values.value(b.field));
    m_filling = false;
}

DataControl::State DataControl::state() const {
    State s;
    s.values = m_values;
    s.dirty = m_dirty;
    s.currentId = m_currentId;
    s.snapshotMax = m_snapshotMax;
    s.count = m_count;
    s.adding = m_adding;
    return s;
}

void DataControl::restore(const State& s) {
    m_values = s.values;
    m_dirty = s.dirty;
    m_currentId = s.currentId;
    m_snapshotMax = s.snapshotMax;
    m_count = s.count;
    m_adding = s.adding;
    fillBoundWidgets();
    emit currentChanged();
}

DataTransaction::DataTransaction(DbFile file, std::initializer_list<DataControl*> controls)
    : m_file(file) {
    for (DataControl* c : controls)
        m_saved.append({c, c->state()});
    QSqlDatabase db = Database::connection(file);
    m_begun = db.transaction();
    if (!m_begun)
        m_error = SqlDialect::describe(db.lastError(), db);
    else
        Database::setTransactionOpen(file, true);
}

DataTransaction::~DataTransaction() {
    if (!m_done)
        rollback();
}

bool DataTransaction::commit() {
    if (m_done)
        return false;
    QSqlDatabase db = Database::connection(m_file);
    if (m_begun && db.commit()) {
        m_done = true;
        Database::setTransactionOpen(m_file, false);
        return true;
    }
    if (m_error.isEmpty())
        m_error = SqlDialect::describe(db.lastError(), db);
    rollback();
    return false;
}

void DataTransaction::rollback() {
    if (m_done)
        return;
    m_done = true;
    if (m_begun) {
        Database::connection(m_file).rollback();
        Database::setTransactionOpen(m_file, false);
    }
    for (const auto& [control, state] : std::as_const(m_saved))
        control->restore(state);
}

} // namespace velmora
