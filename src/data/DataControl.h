#pragma once

#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>
#include <memory>

class QSqlError;

namespace velmora {

// A window's view of one table: a snapshot of the table as it was at the last
// Refresh, optionally narrowed by one equality filter, with one current record
// whose fields a window shows and edits (ui/FieldBinding binds its widgets).
//
// Only the current record is held in memory, so opening a control, counting
// and filtering by an indexed field cost the same for ten rows or a hundred
// thousand. The snapshot is the set of rows whose key is at most the largest
// key at the last Refresh: rows other windows add later stay out of sight
// until this control is refreshed.
//
// A change is stored only into the row the control read: a subject row whose
// code is no longer the one read, or that a restore at another workstation
// may have replaced since, takes nothing (RowReplaced), and one changed at
// another workstation since it was read is not written over unless the
// window says so (RowChanged, then updateOverChanges()).
//
// Every failing operation returns false and is reported through failed(), with
// a Persian description that names the file; the window that owns the control
// decides how the operator hears of it.
class DataControl : public QObject {
    Q_OBJECT
public:
    enum class Opening {
        Now,   // the table is read at once
        Later, // the first refresh() reads it (after the owner has connected failed())
    };
    DataControl(const QString& table, QObject* parent, const QString& name,
                Opening opening = Opening::Now);

    const QString& table() const { return m_table; }
    DbFile file() const { return m_file; }

    // Reads the table again: drops pending changes, an unsaved new record and
    // the filter; the current record becomes the first record.
    bool refresh();

    // Narrows the snapshot to the rows whose field equals value exactly; the
    // current record becomes the first match. Replaces the previous filter.
    bool setFilter(const QString& field, const QString& value);
    bool isFiltered() const { return !m_filterField.isEmpty(); }

    // Rows in the (filtered) snapshot. Counted on first use after a change.
    qint64 recordCount();
    // The same as recordCount() == 0, without counting.
    bool isEmpty();
    // True when there is no current record (after a filter: nothing matched).
    bool bof() const { return m_currentId < 0 && !m_adding; }
    bool moveNext();

    // Starts a new, empty record.
    void addNew();
    bool isAdding() const { return m_adding; }

    // The current record's fields, with changes not yet stored.
    void setField(const QString& field, const QString& value);
    QString field(const QString& field) const;
    qint64 currentId() const { return m_currentId; }
    bool isDirty() const { return m_adding || !m_dirty.isEmpty(); }

    // Stores the current record's pending changes (a new record is inserted and
    // becomes the current record). Harmless when nothing is pending.
    bool update();
    bool save() { return update(); }
    // After update() failed with RowChanged: stores the pending changes into
    // the row all the same (it is still the same subject's), over what another
    // workstation changed in other fields meanwhile.
    bool updateOverChanges();

    QString lastError() const { return m_lastError; }
    // What the last failure was (a refused duplicate, a lost server), for
    // callers that answer each differently.
    StoreFailure lastFailure() const { return m_lastFailure; }
    // Failures are reported through failed() unless switched off (for callers
    // that report a whole transaction at once).
    void setReportFailures(bool report) { m_reportFailures = report; }

    // The in-memory state, kept by DataTransaction so that a rolled-back save
    // leaves the control exactly as before it.
    struct State {
        QHash<QString, QString> values;
        QHash<QString, QVariant> read;
        QSet<QString> dirty;
        qint64 currentId = -1;
        qint64 snapshotMax = -1;
        qint64 count = -1;
        bool adding = false;
        qint64 generation = 0;
    };
    State state() const;
    void restore(const State& state);

    // Sets a field's pending value as typed into a widget bound to it: no
    // fieldChanged, so the widget is not written back while it is typed into.
    void setFieldFromWidget(const QString& field, const QString& value);

signals:
    // The current record changed (refresh, filter, move, addNew, update).
    void currentChanged();
    // One field of the current record was given a value by setField.
    void fieldChanged(const QString& field, const QString& value);
    // An operation failed: a Persian description naming the file.
    void failed(const QString& message);
    // Something the operator should know that is no failure: the subject
    // records were replaced at another workstation since the window read
    // them, and what it reads now is what is there now.
    void notice(const QString& message);

private:
    class Statement;

    bool fail(const QString& detail, StoreFailure kind = StoreFailure::Other);
    bool fail(const Statement& statement);
    bool loadFirst();
    // With readBound the snapshot's bound is read in the same statement as
    // the record (a refresh), so a refresh costs a server one round trip.
    bool loadWhere(const QString& extraCondition, const QVariantList& extraValues,
                   bool readBound = false);
    QString whereClause(QVariantList* values) const;
    void checkField(const QString& field) const;
    bool store(bool overChanges);
    // Why the update of the current row found no row as it was read.
    bool failUnchangedRow();
    QString replacedText() const;
    void noticeRestoreElsewhere();

    QString m_table;
    DbFile m_file;
    QStringList m_fields;
    QString m_filterField;
    QString m_filterValue;
    qint64 m_snapshotMax = -1; // largest key in the snapshot; -1: empty table
    qint64 m_count = -1;       // cached count; -1: not counted yet
    qint64 m_currentId = -1;   // -1: no current record
    bool m_adding = false;
    QHash<QString, QString> m_values;
    QHash<QString, QVariant> m_read; // the current row as it was read or last stored
    QSet<QString> m_dirty;
    qint64 m_generation = 0; // the store's generation when the row was read
    bool m_reportFailures = true;
    QString m_lastError;
    StoreFailure m_lastFailure = StoreFailure::None;
};

// Two or more stores that belong together: either all of them reach the file
// or none does. A rollback puts the controls back as they were, so the window
// still holds everything the operator typed.
class DataTransaction {
public:
    explicit DataTransaction(std::initializer_list<DataControl*> controls);
    ~DataTransaction();
    DataTransaction(const DataTransaction&) = delete;
    DataTransaction& operator=(const DataTransaction&) = delete;

    bool begun() const { return m_transaction.begun(); }
    QString lastError() const { return m_error; }
    // False when the commit failed; the work is then rolled back.
    bool commit();
    void rollback();

private:
    StoreTransaction m_transaction;
    QList<QPair<DataControl*, DataControl::State>> m_saved;
    bool m_done = false;
    QString m_error;
};

} // namespace velmora
