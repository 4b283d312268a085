#pragma once

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QStringList>
#include <functional>

namespace velmora {

// The fields of IDE the code lookup's grid shows, in its column order.
const QStringList& lookupGridFields();

// The subjects the grid shows: IDE rows up to the snapshot's largest key,
// optionally narrowed to one field equal to a text, in key order. Rows are read
// a block at a time as the grid scrolls; no query stays open in between.
class SubjectRowsModel : public QAbstractTableModel {
public:
    SubjectRowsModel(const QStringList& captions, QObject* parent)
        : QAbstractTableModel(parent), m_captions(captions) {}

    // How a row's field is matched against the value.
    enum class Match {
        Exact,     // equals it, in key order
        Beginning, // a name field whose key begins with the value's (NameSearch), by name
    };

    // Shows the rows with a key up to lastKey (-1: none) whose field matches
    // value; an empty field shows them all. False when the file could not be read.
    bool show(qint64 lastKey, const QString& field, const QString& value,
              Match match = Match::Exact);
    // What show() was last asked for: the rows the grid lists.
    qint64 lastKey() const { return m_lastKey; }
    const QString& field() const { return m_field; }
    const QString& value() const { return m_value; }
    Match matching() const { return m_match; }

    QString lastError() const { return m_error; }
    std::function<void(const QString&)> onFailure;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(lookupGridFields().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows.size() ||
            index.column() >= lookupGridFields().size())
            return QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_rows.at(index.row()).fields.at(index.column());
        return QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < m_captions.size())
            return m_captions.at(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && !m_atEnd;
    }
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Row {
        qint64 key = 0;
        QString nameKey; // the searched name's key (by-name order only)
        QStringList fields;
    };

    // The next block after the row `after` (nullptr: from the first). A
    // failure ends the reading.
    bool readBlock(const Row* after, QList<Row>* block);

    QStringList m_captions;
    qint64 m_lastKey = -1;
    QString m_field;
    QString m_value;
    Match m_match = Match::Exact;
    QList<Row> m_rows;
    bool m_atEnd = true;
    QString m_error;
};

// The names stored in one field of IDE, each once, in the order of the
// field's index, read a block at a time as the list is scrolled. Subjects
// without a name in that field are not offered.
class NameListModel : public QAbstractListModel {
public:
    NameListModel(const QString& field, QObject* parent)
        : QAbstractListModel(parent), m_field(field) {}

    bool load(qint64 lastKey);

    QString lastError() const { return m_error; }
    std::function<void(const QString&)> onFailure;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_names.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_names.size())
            return QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_names.at(index.row());
        return QVariant();
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && !m_atEnd;
    }
    void fetchMore(const QModelIndex& parent) override;

private:
    bool readBlock(const QString& after, QStringList* block);

    QString m_field;
    qint64 m_lastKey = -1;
    QStringList m_names;
    bool m_atEnd = true;
    QString m_error;
};

} // namespace velmora
