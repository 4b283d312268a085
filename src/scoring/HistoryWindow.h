#pragma once

#include "scoring/DataRPrint.h"
#include "scoring/HistoryChart.h"

#include <QDialog>

class QPushButton;
class QTableView;

namespace velmora {

class HistoryChart;
class HistoryModel;
class SkinEngine;

// A subject's past results: every administration kept for the code, newest
// first, with its date, time and the seven scale scores of its sheet, and a
// chart of the scores across the administrations, which prints and saves as
// a PDF like the report. A row opens as the report of that administration.
// Opened modally from the scoring window; it only reads.
//
// The grid reads its rows a page at a time as it scrolls and the chart reads
// its points once the window is on the screen: a subject with hundreds of
// administrations opens as soon as one with two.
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // report: the report of the subject as the scoring window fills it (the
    // clinic and the subject); an administration's report is this one with
    // that administration's scores and date.
    HistoryWindow(const QString& code, const DataRPrint& report, const QString& themeNumber,
                  QWidget* owner);

    // Reads the first rows. False (the operator told) when they could not be.
    bool load();

    // Column captions: date, time, then the scale names in scale order.
    static QStringList captions();

    // The report of the administration in row of the grid, as it is shown.
    DataRPrint reportOf(int row) const;

    void reportClick(); // the selected administration's report
    void printClick();  // the chart's print preview

    QTableView* historyGrid = nullptr;
    HistoryChart* ChartHistory = nullptr;
    QPushButton* reportButton = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* closeButton = nullptr;
    SkinEngine* Skin1 = nullptr;

    HistoryModel* model() const { return m_model; }

private:
    void reportFailure(const QString& detail);
    // What stands over the printed chart: the window's title and the subject's names.
    ChartHeading chartHeading() const;

    QString m_code;
    DataRPrint m_report;
    HistoryModel* m_model = nullptr;
};

} // namespace velmora
