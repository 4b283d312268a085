// The history window: a subject's administrations in a grid read a page at a
// time, the chart of the seven scales across them (printed and saved as a
// PDF), and the report of an earlier administration.
#include "scoring/DataRPrint.h"
#include "scoring/FrmkLID.h"
#include "scoring/HistoryChart.h"
#include "scoring/HistoryModel.h"
#include "scoring/HistoryWindow.h"
#include "scoring/Scales.h"
#include "support/ProgramFolder.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

// The sheet of administration i (0: the oldest) of a subject with many: the
// answers walk through the values, so neighbours differ.
QStringList sheetNumber(int i) {
    QStringList answers;
    for (int item = 1; item <= ItemCount; ++item)
        answers.append(QString::number(1 + (i + item) % 5));
    return answers;
}

// The solar date of administration i: one a day from the first of a year.
QString dateNumber(int i) {
    return QStringLiteral("%1/%2/%3")
        .arg(1390 + i / 360)
        .arg(1 + (i / 30) % 12, 2, 10, QLatin1Char('0'))
        .arg(1 + i % 30, 2, 10, QLatin1Char('0'));
}

// Keeps count administrations of code, oldest first, in one transaction.
void addAdministrations(const QString& code, int count) {
    ProgramFolder::withSubjects([&](QSqlDatabase& db) {
        QStringList columns{"\"Code\"", "\"Date\"", "\"Time\""};
        QStringList marks{"?", "?", "?"};
        for (int item = 1; item <= ItemCount; ++item) {
            columns.append(QStringLiteral("\"%1\"").arg(item));
            marks.append(QStringLiteral("?"));
        }
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO \"History\" (%1) VALUES (%2)")
                      .arg(columns.join(", "), marks.join(", ")));
        for (int i = 0; i < count; ++i) {
            q.addBindValue(code);
            q.addBindValue(dateNumber(i));
            q.addBindValue(QStringLiteral("10:00:00"));
            for (const QString& answer : sheetNumber(i))
                q.addBindValue(answer);
            if (!q.exec())
                qFatal("%s", qPrintable(q.lastError().text()));
        }
        db.commit();
    });
}

// The chart value of scale on a sheet, on the common range.
double chartValue(const Scale& scale, const QStringList& answers) {
    return scaleScore(scale, answers) / scale.chartDivisor * scale.chartFactor;
}

// The standard output of a poppler tool.
QString tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool near(QRgb pixel, const QColor& colour) {
    return std::abs(qRed(pixel) - colour.red()) < 24 &&
           std::abs(qGreen(pixel) - colour.green()) < 24 &&
           std::abs(qBlue(pixel) - colour.blue()) < 24;
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<HistoryWindow> m_window;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    // The window as the scoring window opens it for code, shown.
    HistoryWindow* open(const QString& code) {
        DataRPrint report;
        ReportSection* detail = report.section(QStringLiteral("Section1"));
        detail->control(QStringLiteral("Label5"))->caption = QStringLiteral("مریم");
        detail->control(QStringLiteral("Label10"))->caption = QStringLiteral("کريمي");
        m_window = std::make_unique<HistoryWindow>(code, report, QStringLiteral("1"), nullptr);
        if (!m_window->load())
            return nullptr;
        m_window->show();
        return m_window.get();
    }

    static void keepPicture(QWidget* window, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            window->grab().save(folder + "/" + name);
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        ProgramFolder::addSubject(QStringLiteral("H1"), QStringLiteral("مریم"),
                                  QStringLiteral("کريمي"));
        ProgramFolder::addSubject(QStringLiteral("H2"));
    }
    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    // Whatever their number, the window reads one page of rows to open and
    // the rest as the grid scrolls; the chart has every administration,
    // oldest first, each scale on the common range.
    void oneTwoOrFiveHundredAdministrations_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("1") << 1;
        QTest::newRow("2") << 2;
        QTest::newRow("500") << 500;
    }
    void oneTwoOrFiveHundredAdministrations() {
        QFETCH(int, count);
        addAdministrations(QStringLiteral("H1"), count);
        addAdministrations(QStringLiteral("H2"), 3); // another subject's are not shown
        HistoryWindow* w = open(QStringLiteral("H1"));
        QVERIFY(w);
        QAbstractItemModel* grid = w->historyGrid->model();
        QCOMPARE(grid->rowCount(), std::min(count, HistoryModel::PageSize));
        QCOMPARE(grid->canFetchMore(QModelIndex()), count > HistoryModel::PageSize);
        // The chart is read once the window is on the screen.
        QTRY_VERIFY(w->ChartHistory->isLoaded());
        const QList<ChartPoint>& points = w->ChartHistory->points();
        QCOMPARE(points.size(), count);
        for (int i = 0; i < count; i += std::max(1, count / 7)) {
            QCOMPARE(points.at(i).date, dateNumber(i));
            for (const Scale& scale : scales())
                QCOMPARE(points.at(i).values[std::size_t(scale.number - 1)],
                         chartValue(scale, sheetNumber(i)));
        }
        // Scrolling to the end reads every row once, newest first.
        w->historyGrid->scrollToBottom();
        while (grid->canFetchMore(QModelIndex()))
            grid->fetchMore(QModelIndex());
        QCOMPARE(grid->rowCount(), count);
        for (int row = 0; row < count; row += std::max(1, count / 9)) {
            const QStringList sheet = sheetNumber(count - 1 - row);
            QCOMPARE(grid->index(row, 0).data().toString(), dateNumber(count - 1 - row));
            for (const Scale& scale : scales())
                QCOMPARE(grid->index(row, 1 + scale.number).data().toString(),
                         numberText(scaleScore(scale, sheet)));
        }
        keepPicture(w, QStringLiteral("history-%1.png").arg(count));
    }

    // Each scale's point stands at its value on the axis from 0 to 10, in its
    // own colour: the axis is the profile chart's, whatever a scale's items.
    void eachScaleStandsAtItsValue() {
        // Values 3, 2, 5, 7, 9, 10 and 4: the second scale's three items and
        // the seventh's one item brought to the common range.
        const QStringList answers = {"1", "2", "1", "1", "2", "3", "3",
                                     "4", "1", "4", "2", "5", "5", "5"};
        const QList<double> expected = {3, 2, 5, 7, 9, 10, 4};
        History::Administration a;
        a.date = QStringLiteral("1403/02/06");
        a.answers = answers;
        const QList<ChartPoint> points = chartPoints({a});
        QCOMPARE(points.size(), 1);
        for (const Scale& scale : scales())
            QCOMPARE(points.first().values[std::size_t(scale.number - 1)],
                     expected.at(scale.number - 1));
        QImage image(QSize(800, 500), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paintHistoryChart(painter, QRectF(0, 0, 800, 500), points, 1.0);
        }
        // One administration stands in the middle; each scale's mark is the
        // only one of its colour in that column.
        const int x = 0;
        QList<double> heights;
        for (const Scale& scale : scales()) {
            int found = -1;
            for (int column = 380; column < 440 && found < 0; ++column)
                for (int y = 0; y < image.height() && found < 0; ++y)
                    if (near(image.pixel(column, y), scaleColour(scale.number)))
                        found = y;
            QVERIFY2(found >= 0, qPrintable(scale.name));
            heights.append(found);
        }
        Q_UNUSED(x)
        // Higher values stand higher, at the same distance per point.
        const double perPoint = (heights.at(1) - heights.at(5)) / (10.0 - 2.0);
        QVERIFY(perPoint > 20);
        for (int i = 0; i < ScaleCount; ++i)
            QVERIFY2(std::abs(heights.at(1) - heights.at(i) - (expected.at(i) - 2) * perPoint) < 3,
                     qPrintable(QString::number(i)));
    }

    // A row opens as the report of that administration: its date and its
    // scores, with the subject and clinic the scoring window showed.
    void aRowOpensTheReportOfItsAdministration() {
        addAdministrations(QStringLiteral("H1"), 3);
        ProgramFolder::setAnswers(QStringLiteral("H1"), QStringList(14, QStringLiteral("5")));
        FrmkLID* scoring = FrmkLID::showWindow();
        platform().inputAnswers.enqueue(QStringLiteral("H1"));
        QTest::mouseClick(scoring->Command1, Qt::LeftButton);
        QVERIFY(scoring->historyButton->isVisible());
        bool opened = false;
        whenModal([&](QWidget* modal) {
            auto* w = qobject_cast<HistoryWindow*>(modal);
            QVERIFY(w);
            opened = true;
            // Whatever happens, the window closes and the run goes on.
            struct Closing {
                HistoryWindow* window;
                ~Closing() { window->close(); }
            } closing{w};
            // The newest is selected; the oldest is opened with a double click.
            QVERIFY(w->historyGrid->selectionModel()->isRowSelected(0, QModelIndex()));
            const QModelIndex oldest = w->historyGrid->model()->index(2, 0);
            platform().clear();
            const QPoint at = w->historyGrid->visualRect(oldest).center();
            QTest::mouseClick(w->historyGrid->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(w->historyGrid->viewport(), Qt::LeftButton, {}, at);
            QVERIFY2(platform().noticeTexts().isEmpty(),
                     qPrintable(platform().noticeTexts().join(' ')));
            const DataRPrint report = w->reportOf(2);
            const ReportSection* detail = report.section(QStringLiteral("Section1"));
            QCOMPARE(detail->control(QStringLiteral("Label13"))->caption, dateNumber(0));
            for (const Scale& scale : scales())
                QCOMPARE(detail->control(DataRPrint::scoreLabel(scale.number))->caption,
                         numberText(scaleScore(scale, sheetNumber(0))));
            QCOMPARE(detail->control(QStringLiteral("Label5"))->caption, QStringLiteral("مریم"));
            QCOMPARE(report.subjectCode(), QStringLiteral("H1"));
            QCOMPARE(platform().ofKind("printPreview").size(), 1);
            QCOMPARE(platform().previewFiles.size(), 1);
            const QString text = tool("pdftotext", {platform().previewFiles.first(), "-"});
            // The page previewed is that administration's.
            QVERIFY2(text.contains(dateNumber(0)), qPrintable(text));
        });
        QTest::mouseClick(scoring->historyButton, Qt::LeftButton);
        QVERIFY(opened);
        scoring->close();
    }

    // With no row chosen there is no report to open, and the window says so.
    void theReportNeedsARow() {
        addAdministrations(QStringLiteral("H1"), 2);
        HistoryWindow* w = open(QStringLiteral("H1"));
        w->historyGrid->clearSelection();
        QTest::mouseClick(w->reportButton, Qt::LeftButton);
        QCOMPARE(platform().noticeTexts(),
                 QStringList{QStringLiteral("ابتدا يکي از آزمونها را در جدول انتخاب کنيد")});
        QVERIFY(platform().ofKind("printPreview").isEmpty());
    }

    // The chart prints from a preview that also saves it as a PDF file: one
    // page, fonts embedded, the scales' names and the dates searchable.
    void theChartPrintsAndSavesAsPdf() {
        addAdministrations(QStringLiteral("H1"), 12);
        HistoryWindow* w = open(QStringLiteral("H1"));
        QTest::mouseClick(w->printButton, Qt::LeftButton);
        const auto previews = platform().ofKind("printPreview");
        QCOMPARE(previews.size(), 1);
        QCOMPARE(previews.first().arguments, QStringList{DataRPrint::savePdfCommand()});
        QCOMPARE(previews.first().title, QStringLiteral("سوابق آزمون - H1"));
        const QString file = m_folder->file("chart.pdf");
        platform().saveAnswers.enqueue(file);
        QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        const auto dialogs = platform().ofKind("saveFileName");
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.first().defaultName.startsWith(QStringLiteral("H1 ")));
        QVERIFY(dialogs.first().defaultName.endsWith(QStringLiteral(" نمودار.pdf")));
        QCOMPARE(platform().noticeTexts(), QStringList{QStringLiteral("نمودار ذخيره شد")});
        QVERIFY(tool("pdfinfo", {file}).contains(QRegularExpression("Pages:\\s+1\\n")));
        const QString text = tool("pdftotext", {file, "-"});
        for (const QString& expected :
             {dateNumber(0), dateNumber(11), QStringLiteral("پرخاشگرانه"),
              QStringLiteral("استعداد ويژه"), QStringLiteral("سوابق آزمون")})
            QVERIFY2(text.contains(expected), qPrintable(expected + " in: " + text));
        // The subject's names as typed: Persian yeh in one, Arabic in the other.
        const QString joined = QString(text).remove(' ');
        QVERIFY2(joined.contains(QStringLiteral("مریم")), qPrintable(text));
        QVERIFY2(joined.contains(QStringLiteral("کريمي")), qPrintable(text));
        for (const QString& line : tool("pdffonts", {file}).split('\n').mid(2))
            if (line.simplified().split(' ').size() >= 7)
                QVERIFY2(line.simplified().split(' ').at(line.simplified().split(' ').size() - 5) ==
                             QLatin1String("yes"),
                         qPrintable(line));
        keepPicture(w, QStringLiteral("history-window.png"));
        if (const QString folder = qEnvironmentVariable("VELMORA_PICTURES"); !folder.isEmpty()) {
            QFile::remove(folder + QStringLiteral("/history-chart.pdf"));
            QFile::copy(file, folder + QStringLiteral("/history-chart.pdf"));
        }
    }
};

VELMORA_TEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
