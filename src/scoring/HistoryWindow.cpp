#include "scoring/HistoryWindow.h"

#include "data/Database.h"
#include "platform/Platform.h"
#include "scoring/HistoryChart.h"
#include "scoring/HistoryModel.h"
#include "scoring/PdfFile.h"
#include "scoring/Scales.h"
#include "ui/AccessibleNames.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QDate>
#include <QHeaderView>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>

namespace velmora {

QStringList HistoryWindow::captions() {
    return HistoryModel::captions();
}

HistoryWindow::HistoryWindow(const QString& code, const DataRPrint& report,
                             const QString& themeNumber, QWidget* owner)
    : QDialog(owner), m_code(code), m_report(report) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("سوابق آزمون") + QStringLiteral(" - ") + code);
    setClientSize(this, 12180, 8760);
    setFont(formFont());

    m_model = new HistoryModel(code, this);
    m_model->onFailure = [this](const QString& detail) { reportFailure(detail); };
    historyGrid = new QTableView(this);
    historyGrid->setObjectName(QStringLiteral("historyGrid"));
    historyGrid->setModel(m_model);
    historyGrid->setFont(formFont(12, false));
    historyGrid->horizontalHeader()->setFont(formFont());
    historyGrid->verticalHeader()->hide();
    historyGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    historyGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    historyGrid->setWordWrap(false);
    place(historyGrid, 240, 240, 11700, 2880);
    nameField(historyGrid, QStringLiteral("سوابق آزمون"));
    // Every column as wide as its caption needs; the scores are short.
    const QFontMetrics header(historyGrid->horizontalHeader()->font());
    const QStringList columns = captions();
    for (int column = 0; column < columns.size(); ++column)
        historyGrid->setColumnWidth(
            column, std::max(header.horizontalAdvance(columns.at(column)),
                             header.horizontalAdvance(QStringLiteral("0000/00/00"))) +
                        twips(240));
    connect(historyGrid, &QTableView::activated, this, [this] { reportClick(); });

    ChartHistory = new HistoryChart(code, this);
    ChartHistory->setObjectName(QStringLiteral("ChartHistory"));
    ChartHistory->onFailure = [this](const QString& detail) { reportFailure(detail); };
    place(ChartHistory, 240, 3240, 11700, 4680);
    nameField(ChartHistory, QStringLiteral("نمودار تغيير نمره ها در آزمونها"));

    reportButton = makeButton(QStringLiteral("reportButton"), QStringLiteral("گزارش اين آزمون"),
                              this, 9540, 8040, 2400, 555);
    printButton = makeButton(QStringLiteral("printButton"), QStringLiteral("چاپ نمودار"), this,
                             6900, 8040, 2400, 555);
    closeButton = makeButton(QStringLiteral("closeButton"), QStringLiteral("خروج"), this, 5550,
                             8040, 1065, 555);
    for (QPushButton* button : {reportButton, printButton, closeButton})
        button->setAutoDefault(false);
    connect(reportButton, &QPushButton::clicked, this, &HistoryWindow::reportClick);
    connect(printButton, &QPushButton::clicked, this, &HistoryWindow::printClick);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    placeWindow(this, 2340, 765);
    Skin1 = new SkinEngine(this);
    ApplyTheme(this, themeNumber, Skin1);
}

bool HistoryWindow::load() {
    if (m_model->load()) {
        // The newest administration is the one chosen to begin with.
        if (m_model->rowCount() > 0)
            historyGrid->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                           QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        return true;
    }
    reportFailure(m_model->lastError());
    return false;
}

void HistoryWindow::reportFailure(const QString& detail) {
    platform().messageBox(this, errorTitle(), Database::failureMessage(DbFile::Subjects, detail),
                          QMessageBox::Critical);
}

DataRPrint HistoryWindow::reportOf(int row) const {
    DataRPrint report = m_report;
    const History::Administration& a = m_model->administration(row);
    ReportSection* detail = report.section(QStringLiteral("Section1"));
    for (const Scale& scale : scales())
        detail->control(DataRPrint::scoreLabel(scale.number))->caption =
            numberText(scaleScore(scale, a.answers));
    // The date of that administration, not of the registration.
    detail->control(QStringLiteral("Label13"))->caption = a.date;
    report.setSubjectCode(m_code);
    return report;
}

void HistoryWindow::reportClick() {
    const QModelIndexList selected = historyGrid->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        ShowNotice(this, QStringLiteral("ابتدا يکي از آزمونها را در جدول انتخاب کنيد"));
        return;
    }
    reportOf(selected.first().row()).show(this);
}

ChartHeading HistoryWindow::chartHeading() const {
    const ReportSection* detail = m_report.section(QStringLiteral("Section1"));
    ChartHeading heading{windowTitle(), {}};
    for (const char* label : {"Label5", "Label10"}) {
        const QString name = detail->control(QString::fromLatin1(label))->caption.trimmed();
        if (!name.isEmpty())
            heading.names.append(name);
    }
    return heading;
}

void HistoryWindow::printClick() {
    if (!ChartHistory->load())
        return;
    const QList<ChartPoint> points = ChartHistory->points();
    const ChartHeading heading = chartHeading();
    QString drawn = heading.title + QLatin1Char('\n') + heading.names.join(QLatin1Char('\n'));
    for (const Scale& scale : scales())
        drawn += QLatin1Char('\n') + scale.name;
    for (const ChartPoint& point : points)
        drawn += QLatin1Char('\n') + point.date;
    const PdfPainter paint = [heading, points](QPrinter& printer) {
        paintHistoryChartPage(printer, heading, points);
    };
    const QString code = m_code;
    // Beside the subject's report of the same day, not in its place.
    QString name = DataRPrint::defaultPdfName(code, QDate::currentDate());
    name.insert(name.size() - 4, QStringLiteral(" نمودار"));
    const Platform::PreviewAction save{
        DataRPrint::savePdfCommand(), QStringLiteral("ذخيره به صورت PDF"),
        [=](QWidget* preview, const QPageLayout& layout) {
            savePdfFromPreview(preview, QStringLiteral("ذخيره نمودار به صورت PDF"), name,
                               QStringLiteral("نمودار"), [&](const QString& path, QString* error) {
                                   const QList<DrawnLabel> labels =
                                       chartHeadingLabels(heading, layout, PdfResolution);
                                   return writePdfFile(
                                       path, layout,
                                       QStringLiteral("%1 %2").arg(applicationTitle(), code), paint,
                                       drawn, labels, error);
                               });
        }};
    platform().printPreview(this, heading.title, paint, {save});
}

} // namespace velmora
