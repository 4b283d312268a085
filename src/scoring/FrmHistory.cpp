#include "scoring/FrmHistory.h"

#include "scoring/Scales.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

namespace velmora {

QStringList FrmHistory::captions() {
    QStringList list = {QStringLiteral("تاريخ"), QStringLiteral("ساعت")};
    for (const Scale& scale : scales())
        list.append(scale.name);
    return list;
}

FrmHistory::FrmHistory(const QString& code, const QList<History::Administration>& administrations,
                       const QString& themeNumber, QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(QStringLiteral("سوابق آزمون") + QStringLiteral(" - ") + code);
    setClientSize(this, 12180, 5400);
    setFont(formFont());

    const QStringList columns = captions();
    GridHistory = new QTableWidget(int(administrations.size()), int(columns.size()), this);
    GridHistory->setObjectName(QStringLiteral("GridHistory"));
    GridHistory->setHorizontalHeaderLabels(columns);
    GridHistory->setFont(formFont(12, false));
    GridHistory->horizontalHeader()->setFont(formFont());
    GridHistory->verticalHeader()->hide();
    GridHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridHistory->setWordWrap(false);
    place(GridHistory, 240, 240, 11700, 4200);
    for (int row = 0; row < administrations.size(); ++row) {
        const History::Administration& a = administrations.at(row);
        QStringList cells = {a.date, a.time};
        for (const Scale& scale : scales())
            cells.append(numberText(scaleScore(scale, a.answers)));
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            item->setTextAlignment(Qt::AlignCenter);
            GridHistory->setItem(row, column, item);
        }
    }
    GridHistory->resizeColumnsToContents();
    for (int column = 0; column < columns.size(); ++column)
        GridHistory->setColumnWidth(column, GridHistory->columnWidth(column) + twips(90));

    CommandClose = makeButton(QStringLiteral("CommandClose"), QStringLiteral("خروج"), this, 5550,
                              4680, 1065, 555);
    CommandClose->setAutoDefault(false);
    connect(CommandClose, &QPushButton::clicked, this, &QDialog::accept);

    placeWindow(this, 2340, 765);
    Skin1 = new SkinEngine(this);
    ApplyTheme(this, themeNumber, Skin1);
}

} // namespace velmora
