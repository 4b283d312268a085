#include "scoring/HistoryModel.h"

#include "scoring/Scales.h"

namespace velmora {

namespace {

QStringList cellsOf(const History::Administration& a) {
    QStringList cells = {a.date, a.time};
    for (const Scale& scale : scales())
        cells.append(numberText(scaleScore(scale, a.answers)));
    return cells;
}

} // namespace

HistoryModel::HistoryModel(const QString& code, QObject* parent)
    : QAbstractTableModel(parent), m_code(code) {}

QStringList HistoryModel::captions() {
    QStringList list = {QStringLiteral("تاريخ"), QStringLiteral("ساعت")};
    for (const Scale& scale : scales())
        list.append(scale.name);
    return list;
}

bool HistoryModel::load() {
    beginResetModel();
    m_rows.clear();
    m_cells.clear();
    m_error.clear();
    m_atEnd = false;
    QList<History::Administration> page;
    const bool ok = readPage(&page);
    for (const History::Administration& a : std::as_const(page)) {
        m_rows.append(a);
        m_cells.append(cellsOf(a));
    }
    endResetModel();
    return ok;
}

bool HistoryModel::readPage(QList<History::Administration>* page) {
    const qint64 olderThan = m_rows.isEmpty() ? 0 : m_rows.last().key;
    if (!History::page(m_code, olderThan, PageSize, page, &m_error)) {
        m_atEnd = true;
        return false;
    }
    m_atEnd = page->size() < PageSize;
    return true;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2 + ScaleCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_cells.size() || index.column() >= columnCount())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_cells.at(index.row()).at(index.column());
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnCount())
        return captions().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd)
        return;
    QList<History::Administration> page;
    if (!readPage(&page)) {
        if (onFailure)
            onFailure(m_error);
        return;
    }
    if (page.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(page.size()) - 1);
    for (const History::Administration& a : std::as_const(page)) {
        m_rows.append(a);
        m_cells.append(cellsOf(a));
    }
    endInsertRows();
}

} // namespace velmora
