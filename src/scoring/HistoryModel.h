#pragma once

#include "data/History.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <functional>

namespace velmora {

// A subject's administrations for a grid, newest first: the date, the time
// and the seven scale scores of each. Read a page at a time as the grid
// scrolls, so a subject with hundreds of administrations opens as soon as
// one with two.
class HistoryModel : public QAbstractTableModel {
public:
    // Rows read per page: more than a grid shows at once.
    static constexpr int PageSize = 50;

    HistoryModel(const QString& code, QObject* parent);

    // Reads the first page. False (lastError() says why) when it could not.
    bool load();
    QString lastError() const { return m_error; }
    // Told of a page that could not be read while scrolling.
    std::function<void(const QString&)> onFailure;

    // The administration shown in row (read already).
    const History::Administration& administration(int row) const { return m_rows.at(row); }

    // Column captions: date, time, then the scale names in scale order.
    static QStringList captions();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    bool readPage(QList<History::Administration>* page);

    QString m_code;
    QList<History::Administration> m_rows;
    QList<QStringList> m_cells;
    bool m_atEnd = true;
    QString m_error;
};

} // namespace velmora
