#include "calendar/SolarCalendar.h"
#include "scoring/DataRPrint.h"
#include "scoring/FrmkLID.h"
#include "scoring/Scales.h"
#include "scoring/ScoringUi.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/Targets.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <cmath>
#include <memory>

using namespace velmora;

namespace {

int pdfPages(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("/Count (\\d+)")).match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString caption(const DataRPrint* report, const char* label) {
    const ReportLabel* l =
        report->section(QStringLiteral("Section1"))->control(QString::fromLatin1(label));
    return l ? l->caption : QStringLiteral("<no such label>");
}

// Counts pixels of text ink (dark, not the paper's pattern) in a label's box.
int inkIn(const QImage& page, const ReportLabel& l, double scale) {
    const QRect box =
        QRectF(l.left * scale, l.top * scale, l.width * scale, l.height * scale).toAlignedRect();
    int ink = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (qGray(page.pixel(x, y)) < 100)
                ++ink;
    return ink;
}

// The detail page drawn at scale device units per twip (0.1: 144 dpi), with a
// white border of margin pixels around it, so that ink off the page shows.
QImage renderPage(const DataRPrint& report, int margin = 40, double scale = 0.1) {
    QImage page(QSize(static_cast<int>(std::ceil(6810 * scale)) + 2 * margin,
                      static_cast<int>(std::ceil(9760 * scale)) + 2 * margin),
                QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(static_cast<int>(1440 * scale / 0.0254));
    page.setDotsPerMeterY(static_cast<int>(1440 * scale / 0.0254));
    QPainter painter(&page);
    report.paintPage(painter, QPointF(margin, margin), scale, true);
    return page;
}

QString longText(const QString& word, int length) {
    QString text;
    while (text.size() < length)
        text += word;
    return text.left(length);
}

} // namespace

// The printed report: filled from the scoring window, previewed, printed.
class TestDataRPrint : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    void search(FrmkLID* w, const QString& code) {
        platform().inputAnswers.enqueue(code);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
    }

    static void keepImage(const QImage& image, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            image.save(folder + "/" + name);
    }

    // The standard output of a poppler tool.
    static QByteArray tool(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            qFatal("%s failed", qPrintable(program));
        return process.readAllStandardOutput();
    }

    // The first page of a PDF drawn at 50 dpi.
    static QImage pageImage(const QString& pdf) {
        const QString prefix = pdf + QStringLiteral("-page");
        tool("pdftoppm", {"-r", "50", "-png", "-singlefile", pdf, prefix});
        return QImage(prefix + QStringLiteral(".png"));
    }

    static void keepPicture(const QString& file, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (folder.isEmpty())
            return;
        QFile::remove(folder + "/" + name);
        QFile::copy(file, folder + "/" + name);
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void needsASearch() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* w = FrmkLID::showWindow();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        const auto notices = platform().ofKind(QStringLiteral("notice"));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(
            notices.first().text,
            QStringLiteral(
                "ابتدا روي جستجو کليک کرده سپس کد آزمودني را وارد کنيد بعد روي پرينت کليک کنيد "));
        QCOMPARE(notices.first().interval, 2000);
        QCOMPARE(notices.first().owner, w);
        QVERIFY(platform().previewFiles.isEmpty());
        QVERIFY(!w->report());
    }

    void fillsTheFourteenCaptionsAndTheGroup() {
        ProgramFolder::exec("DBM/DB.mdb", "UPDATE Theme SET Name = ?, Adress = ?",
                            {QStringLiteral("Hope Clinic"), QStringLiteral("12 Park Road")});
        ProgramFolder::addSubject(QStringLiteral("501"), QStringLiteral("Ann"),
                                  QStringLiteral("Smith"), QStringLiteral("E"));
        // Item 9 unanswered: the report shows the scores as the window does.
        ProgramFolder::setAnswers(QStringLiteral("501"), {"5", "5", "5", "5", "4", "4", "3", "3",
                                                          "", "2", "5", "2", "1", "1"});
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("501"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);

        const DataRPrint* report = w->report();
        QVERIFY(report);
        QCOMPARE(caption(report, "Label9"), QStringLiteral("Hope Clinic"));
        QCOMPARE(caption(report, "Label2"), QStringLiteral("10"));
        QCOMPARE(caption(report, "Label18"), QStringLiteral("10"));
        QCOMPARE(caption(report, "Label20"), QStringLiteral("8"));
        QCOMPARE(caption(report, "Label22"), QStringLiteral("6"));
        QCOMPARE(caption(report, "Label24"), QStringLiteral("4"));
        QCOMPARE(caption(report, "Label26"), QStringLiteral("2"));
        QCOMPARE(caption(report, "Label28"), QStringLiteral("5"));
        QCOMPARE(caption(report, "Label5"), QStringLiteral("Ann"));
        QCOMPARE(caption(report, "Label10"), QStringLiteral("Smith"));
        QCOMPARE(caption(report, "Label11"), QStringLiteral("30"));
        QCOMPARE(caption(report, "Label12"), QStringLiteral("z"));
        QCOMPARE(caption(report, "Label13"), QStringLiteral("1393/08/11"));
        QCOMPARE(caption(report, "Label14"), QStringLiteral("12 Park Road"));
        QCOMPARE(caption(report, "Label33"), QStringLiteral("E"));

        // A modeless preview over the scoring window, which stays usable.
        const auto previews = platform().ofKind(QStringLiteral("printPreview"));
        QCOMPARE(previews.size(), 1);
        QCOMPARE(previews.first().owner, w);
        QCOMPARE(platform().previewFiles.size(), 1);
        QCOMPARE(pdfPages(platform().previewFiles.first()), 1);
        keepPicture(platform().previewFiles.first(), QStringLiteral("report.pdf"));
        QVERIFY(w->isVisible());
        QCOMPARE(w->Text5->text(), QString());
    }

    void rawScoresNotChartValues() {
        ProgramFolder::addSubject(QStringLiteral("5"));
        ProgramFolder::setAnswers(QStringLiteral("5"), QStringList(14, QStringLiteral("5")));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("5"));
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(caption(w->report(), "Label18"), QStringLiteral("15"));
        QCOMPARE(caption(w->report(), "Label28"), QStringLiteral("5"));
    }

    void printingTwiceNeedsASearchInBetween() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(platform().previewFiles.size(), 1);
        platform().clear();

        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(
            platform().noticeTexts(),
            QStringList{QStringLiteral(
                "ابتدا روي جستجو کليک کرده سپس کد آزمودني را وارد کنيد بعد روي پرينت کليک کنيد ")});
        QVERIFY(platform().previewFiles.isEmpty());

        // The chart tests a score box, not the searched code.
        QCOMPARE(w->Text3[2]->text(), QStringLiteral("0"));

        search(w, QStringLiteral("1"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QVERIFY(platform().noticeTexts().isEmpty());
        QCOMPARE(platform().previewFiles.size(), 1);
    }

    void afterAFailedSearchPrintsTheEarlierSubject() {
        ProgramFolder::addSubject(QStringLiteral("1"), QStringLiteral("Ann"));
        ProgramFolder::setAnswers(QStringLiteral("1"), QStringList(14, QStringLiteral("4")));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        search(w, QStringLiteral("unknown"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(caption(w->report(), "Label5"), QStringLiteral("Ann"));
        QCOMPARE(caption(w->report(), "Label2"), QStringLiteral("8"));
        // The sheet filter selects nothing, yet the page shows what the
        // window shows.
        QCOMPARE(w->report()->detailCount(), 1);
        QCOMPARE(pdfPages(platform().previewFiles.first()), 1);
    }

    void twoSheetsWithOneCodeGiveTwoDetails() {
        // A database restored from an old backup may hold a code twice.
        ProgramFolder::exec("DBM/DB2.mdb", "DROP INDEX IF EXISTS \"Answer_Code\"");
        ProgramFolder::addSubject(QStringLiteral("1"));
        ProgramFolder::exec("DBM/DB2.mdb",
                            "INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES ('1', 'A')");
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(w->report()->detailCount(), 2);
        QCOMPARE(pdfPages(platform().previewFiles.first()), 2);
    }

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("box"); // left, top, width, height in twips
        QTest::addColumn<QString>("text");
        QTest::newRow("Label3") << "Label3" << QRect(630, 693, 6105, 510)
                                << QStringLiteral(
                                       "گزارش نتيجه تست  ولمورا هاي دفاعي در برابر تغيير ");
        QTest::newRow("Label9") << "Label9" << QRect(630, 189, 6108, 510) << "";
        QTest::newRow("Label4") << "Label4" << QRect(5795, 1764, 906, 465)
                                << QStringLiteral("نام ");
        QTest::newRow("Label1") << "Label1" << QRect(4724, 1764, 1032, 465)
                                << QStringLiteral("نام خانوادگي");
        QTest::newRow("Label7") << "Label7" << QRect(4095, 1701, 591, 465) << QStringLiteral("سن");
        QTest::newRow("Label6") << "Label6" << QRect(2772, 1701, 1287, 465)
                                << QStringLiteral("ميزان تحصيلات");
        QTest::newRow("Label32") << "Label32" << QRect(1952, 1764, 780, 465)
                                 << QStringLiteral("گروه");
        QTest::newRow("Label8") << "Label8" << QRect(630, 1701, 1260, 465)
                                << QStringLiteral("تاريخ");
        QTest::newRow("Label5") << "Label5" << QRect(5795, 2268, 903, 465) << " ";
        QTest::newRow("Label33") << "Label33" << QRect(1952, 2331, 777, 465) << " ";
        QTest::newRow("Label13") << "Label13" << QRect(630, 2268, 1218, 465) << " ";
        QTest::newRow("Label2") << "Label2" << QRect(2457, 3402, 948, 375)
                                << QStringLiteral("Label2");
        QTest::newRow("Label17") << "Label17" << QRect(3401, 3402, 1203, 375)
                                 << QStringLiteral("پرخاشگرانه");
        QTest::newRow("Label22") << "Label22" << QRect(2457, 4725, 828, 375)
                                 << QStringLiteral("Label2");
        QTest::newRow("Label23") << "Label23" << QRect(3275, 4725, 1338, 375)
                                 << QStringLiteral("برخورد عاطفي");
        QTest::newRow("Label29") << "Label29" << QRect(3338, 6048, 1275, 375)
                                 << QStringLiteral("استعداد ويژه");
        QTest::newRow("Label15") << "Label15" << QRect(6047, 8001, 555, 375)
                                 << QStringLiteral(":آدرس");
        QTest::newRow("Label14") << "Label14" << QRect(1008, 8001, 5040, 627) << "";
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QRect, box);
        const DataRPrint report;
        const ReportLabel* l = report.section(QStringLiteral("Section1"))->control(name);
        QVERIFY(l);
        QCOMPARE(QRect(l->left, l->top, l->width, l->height), box);
        QTEST(l->caption, "text");
    }

    void sections() {
        const DataRPrint report;
        QCOMPARE(DataRPrint::ReportWidth, 6810);
        QStringList names;
        for (const ReportSection& s : report.sections())
            names.append(s.name);
        QCOMPARE(names, (QStringList{"Section4", "Section2", "Section1", "Section3", "Section5"}));
        const ReportSection* detail = report.section(QStringLiteral("Section1"));
        QCOMPARE(detail->height, 9510);
        QCOMPARE(detail->labels.size(), 2 + 12 + 2 * 7 + 2);
        QCOMPARE(detail->pictures.size(), 1);
        QCOMPARE(detail->pictures.first().name, QStringLiteral("Image3"));
        QCOMPARE(QRect(detail->pictures.first().left, detail->pictures.first().top,
                       detail->pictures.first().width, detail->pictures.first().height),
                 QRect(0, 0, 6810, 9507));
        // The subject grid: three rules across, seven down.
        QList<QList<int>> lines;
        for (const ReportLine& l : detail->lines)
            lines.append({l.x1, l.y1, l.x2, l.y2});
        QCOMPARE(lines, (QList<QList<int>>{{567, 1701, 6740, 1701},
                                           {567, 2268, 6740, 2268},
                                           {567, 2835, 6740, 2835},
                                           {567, 1701, 567, 2835},
                                           {1890, 1701, 1890, 2835},
                                           {2772, 1701, 2772, 2835},
                                           {4095, 1701, 4095, 2835},
                                           {4725, 1701, 4725, 2835},
                                           {5796, 1701, 5796, 2835},
                                           {6741, 1701, 6741, 2835}}));
        QCOMPARE(report.section(QStringLiteral("Section3"))->height, 3);
        const ReportSection* footer = report.section(QStringLiteral("Section5"));
        QCOMPARE(footer->height, 222);
        QVERIFY(footer->control(QStringLiteral("Label16")));
        QVERIFY(!footer->control(QStringLiteral("Label16"))->caption.isEmpty());
        QVERIFY(!report.section(QStringLiteral("Section9")));
    }

    void scoreNamesComeFromTheScaleTable() {
        const DataRPrint report;
        const char* names[] = {"Label17", "Label19", "Label21", "Label23",
                               "Label25", "Label27", "Label29"};
        for (const Scale& scale : scales())
            QCOMPARE(caption(&report, names[scale.number - 1]), scale.reportName);
    }

    void emptyCellIsAPlainGap() {
        // A page at a tenth of a device unit per twip (144 dpi).
        const double scale = 0.1;
        const auto render = [scale](const QString& group) {
            DataRPrint report;
            report.section(QStringLiteral("Section1"))
                ->control(QStringLiteral("Label33"))
                ->caption = group;
            QImage page(QSize(700, 1000), QImage::Format_RGB32);
            page.fill(Qt::white);
            page.setDotsPerMeterX(static_cast<int>(1440 * scale / 0.0254));
            page.setDotsPerMeterY(static_cast<int>(1440 * scale / 0.0254));
            QPainter painter(&page);
            report.paintPage(painter, QPointF(0, 0), scale, true);
            return page;
        };
        const DataRPrint layout;
        const ReportLabel* cell =
            layout.section(QStringLiteral("Section1"))->control(QStringLiteral("Label33"));
        QCOMPARE(inkIn(render(QStringLiteral(" ")), *cell, scale), 0);
        QCOMPARE(inkIn(render(QString()), *cell, scale), 0);
        QVERIFY(inkIn(render(QStringLiteral("G")), *cell, scale) > 0);
    }

    void longTextsStayInTheirFrames_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        const QString address = longText(QStringLiteral("خيابان آزادي، کوچه ۱۲، پلاک 7، "), 10000);
        const QString unbroken = longText(QStringLiteral("0123456789"), 10000);
        QTest::newRow("address") << "Label14" << address;
        QTest::newRow("address without a blank") << "Label14" << unbroken;
        QTest::newRow("address in Latin letters")
            << "Label14" << longText(QStringLiteral("12 Park Road, "), 10000);
        QTest::newRow("clinic name") << "Label9" << address;
        QTest::newRow("first name") << "Label5" << unbroken;
        QTest::newRow("last name") << "Label10" << address;
        QTest::newRow("education") << "Label12" << address;
        QTest::newRow("date") << "Label13" << unbroken;
        QTest::newRow("score") << "Label2" << unbroken;
    }
    void longTextsStayInTheirFrames() {
        QFETCH(QString, label);
        QFETCH(QString, text);
        DataRPrint report;
        ReportLabel* l = report.section(QStringLiteral("Section1"))->control(label);
        QVERIFY(l);
        l->caption = QString();
        const QImage without = renderPage(report);
        l->caption = text;
        const QImage with = renderPage(report);
        keepImage(with, QStringLiteral("long-%1.png")
                            .arg(QString::fromUtf8(QTest::currentDataTag()))
                            .replace(' ', '-'));

        // Everything the text changed lies in its frame (one pixel of
        // smoothing at its edges aside).
        const QRect frame =
            QRectF(40 + l->left * 0.1, 40 + l->top * 0.1, l->width * 0.1, l->height * 0.1)
                .toAlignedRect()
                .adjusted(-1, -1, 1, 1);
        int inside = 0;
        for (int y = 0; y < with.height(); ++y)
            for (int x = 0; x < with.width(); ++x)
                if (with.pixel(x, y) != without.pixel(x, y)) {
                    QVERIFY2(
                        frame.contains(x, y),
                        qPrintable(
                            QStringLiteral("ink at %1, %2 outside %3").arg(x).arg(y).arg(label)));
                    ++inside;
                }
        QVERIFY(inside > 0);
    }

    void captionsKeepClearOfTheRules() {
        DataRPrint report;
        // Captions that fill their cells: the heading of the education column
        // is one, in a wider font than this machine's.
        const QStringList cells = {"Label4", "Label1",  "Label7",  "Label6",  "Label32", "Label8",
                                   "Label5", "Label10", "Label11", "Label12", "Label33", "Label13"};
        for (const QString& cell : cells)
            report.section(QStringLiteral("Section1"))->control(cell)->caption =
                QStringLiteral("ميزان تحصيلات ميزان تحصيلات");
        // As printed: at 600 dots to the inch.
        const double scale = 600.0 / 1440;
        const QImage page = renderPage(report, 40, scale);
        keepImage(page, QStringLiteral("grid.png"));
        // In each cell of the subject grid, the text ends some way before the
        // rules on either side.
        const int rules[] = {567, 1890, 2772, 4095, 4725, 5796, 6741};
        const auto px = [scale](double twipsValue) {
            return 40 + static_cast<int>(std::lround(twipsValue * scale));
        };
        for (const auto& [top, bottom] : {std::pair{1701, 2268}, std::pair{2268, 2835}}) {
            for (int c = 0; c + 1 < int(std::size(rules)); ++c) {
                const int left = px(rules[c]) + 5, right = px(rules[c + 1]) - 5;
                int first = right, last = left;
                for (int y = px(top) + 6; y <= px(bottom) - 6; ++y)
                    for (int x = left; x <= right; ++x)
                        if (qGray(page.pixel(x, y)) < 100) {
                            first = std::min(first, x);
                            last = std::max(last, x);
                        }
                const QString where =
                    QStringLiteral("cell %1..%2, row %3").arg(rules[c]).arg(rules[c + 1]).arg(top);
                QVERIFY2(first <= last, qPrintable(where + " is empty"));
                QVERIFY2(first - left >= 5 && right - last >= 5,
                         qPrintable(where + QStringLiteral(": text from %1 to %2 between %3 and %4")
                                                .arg(first)
                                                .arg(last)
                                                .arg(left)
                                                .arg(right)));
            }
        }
    }

    void textDirections_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::LayoutDirection>("direction");
        // Written as seen: the colon stays next to the field on the left.
        QTest::newRow("caption with colon") << QStringLiteral(":آدرس") << Qt::LeftToRight;
        QTest::newRow("caption with blank and colon") << QStringLiteral(" :نام") << Qt::LeftToRight;
        QTest::newRow("Persian") << QStringLiteral("ساده بيني") << Qt::RightToLeft;
        QTest::newRow("Persian title")
            << QStringLiteral("گزارش نتيجه تست  ولمورا هاي دفاعي در برابر تغيير ")
            << Qt::RightToLeft;
        QTest::newRow("Latin address") << "12 Park Road" << Qt::LeftToRight;
        QTest::newRow("date") << "1393/08/11" << Qt::LeftToRight;
    }
    void textDirections() {
        QFETCH(QString, text);
        QTEST(captionDirection(text), "direction");
    }

    // The preview's save-as-PDF command writes the page the preview shows,
    // with its fonts inside and its Persian text searchable.
    void savesThePreviewedPageAsPdf() {
        ProgramFolder::exec(
            "DBM/DB.mdb", "UPDATE Theme SET Name = ?, Adress = ?",
            {QStringLiteral("مرکز مشاوره اميد"), QStringLiteral("تهران، خيابان بهار")});
        // The page's own texts write yeh and kaf the Arabic way; a name typed
        // on a Persian keyboard writes them the Persian way.
        ProgramFolder::addSubject(QStringLiteral("K/9"), QStringLiteral("مهدی"),
                                  QStringLiteral("کريمي"), QStringLiteral("B"));
        ProgramFolder::setAnswers(QStringLiteral("K/9"), QStringList(14, QStringLiteral("5")));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("K/9"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(platform().ofKind("printPreview").first().arguments,
                 QStringList{DataRPrint::savePdfCommand()});

        const QString file = m_folder->file("saved report.pdf");
        platform().saveAnswers.enqueue(file);
        QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        const auto dialogs = platform().ofKind("saveFileName");
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first().owner, w);
        QCOMPARE(dialogs.first().folder,
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(dialogs.first().filter, QStringLiteral("PDF (*.pdf)"));
        // The code names the file; a slash cannot be part of a name.
        QCOMPARE(dialogs.first().defaultName,
                 QStringLiteral("K-9 ") + SolarDate(QDate::currentDate(), 0).replace('/', '-') +
                     QStringLiteral(".pdf"));
        QCOMPARE(platform().noticeTexts(), QStringList{QStringLiteral("گزارش ذخيره شد")});
        QVERIFY(platform().messageTexts().isEmpty());
        QCOMPARE(pdfPages(file), 1);
        keepPicture(file, QStringLiteral("saved-report.pdf"));
        keepPicture(platform().previewFiles.first(), QStringLiteral("saved-report-preview.pdf"));

        // Every font is embedded and maps its glyphs back to text.
        const QList<QByteArray> fonts = tool("pdffonts", {file}).split('\n').mid(2);
        int embedded = 0;
        for (const QByteArray& line : fonts) {
            const QList<QByteArray> columns = line.simplified().split(' ');
            if (columns.size() < 7)
                continue;
            // ... emb sub uni object-number generation
            QVERIFY2(columns.at(columns.size() - 5) == "yes", line.constData());
            QVERIFY2(columns.at(columns.size() - 3) == "yes", line.constData());
            ++embedded;
        }
        QVERIFY(embedded > 0);
        // The text is the letters drawn, Arabic yeh where the page has it,
        // not the joined forms of the letters; only the lam-alef ligature
        // stays one character, which a search reads as its two letters.
        const QString text = QString::fromUtf8(tool("pdftotext", {file, "-"}));
        for (const QString& expected :
             {QStringLiteral("مرکز مشاوره اميد"), QStringLiteral("کريمي"),
              QStringLiteral("پرخاشگرانه"), QStringLiteral("استعداد ويژه"),
              QStringLiteral("گزارش نتيجه تست"), QStringLiteral("دفاعي در برابر تغيير"),
              QStringLiteral("تهران"), QStringLiteral("خيابان بهار")})
            QVERIFY2(text.contains(expected), qPrintable(expected + " in: " + text));
        // (The reader splits this name's glyphs into words of its own
        // making; the letters are the ones typed.)
        QVERIFY2(QString(text).remove(' ').contains(QStringLiteral("مهدی")), qPrintable(text));
        for (const QChar c : text)
            QVERIFY2(c.unicode() < 0xFB50 || (c.unicode() >= 0xFEF5 && c.unicode() <= 0xFEFC),
                     qPrintable(QString::number(c.unicode(), 16)));
        QVERIFY(text.normalized(QString::NormalizationForm_KC)
                    .contains(QStringLiteral("ميزان تحصيلات")));

        // The same page as the preview, pixel for pixel.
        QCOMPARE(pageImage(file), pageImage(platform().previewFiles.first()));
    }

    void aReportThatCannotBeSavedLeavesNothing_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("full disk") << "full";
    }
    void aReportThatCannotBeSavedLeavesNothing() {
        QFETCH(QString, where);
        ProgramFolder::addSubject(QStringLiteral("1"), QStringLiteral("Ann"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QDir(m_folder->path()).mkpath("reports");
        const QString file =
            m_folder->file(where == "missing" ? "nowhere/report.pdf" : "reports/report.pdf");
        platform().saveAnswers.enqueue(file);
        {
            FileSizeLimit limit(where == "full" ? 4096 : RLIM_INFINITY);
            QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        }
        const auto boxes = platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QVERIFY(
            boxes.first().text.startsWith(QStringLiteral("گزارش ذخيره نشد و پرونده اي ساخته نشد")));
        QVERIFY(boxes.first().text.contains(QDir::toNativeSeparators(file)));
        QVERIFY(platform().noticeTexts().isEmpty());
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(filesIn(m_folder->file("reports")).isEmpty());
    }

    // Where the report may be saved: a device, /dev/full, a folder and a link
    // to nothing are refused, named in the message, and stay as they were; a
    // pipe takes the whole PDF; a link to a file is written through.
    void everyKindOfTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("device node") << "device"
                                     << "refused";
        QTest::newRow("/dev/full") << "/dev/full"
                                   << "refused";
        QTest::newRow("folder") << "folder"
                                << "refused";
        QTest::newRow("dangling link") << "dangling link"
                                       << "refused";
        QTest::newRow("pipe") << "pipe"
                              << "stream";
        QTest::newRow("link to a file") << "link to a file"
                                        << "through";
    }
    void everyKindOfTarget() {
        QFETCH(QString, kind);
        QFETCH(QString, outcome);
        ProgramFolder::addSubject(QStringLiteral("1"), QStringLiteral("Ann"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        platform().clear();
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        const QString folder = m_folder->file("reports");
        QVERIFY(QDir().mkpath(folder));
        const QString target = makeTarget(kind, folder, QStringLiteral("report.pdf"));
        if (target.isEmpty())
            QSKIP("this machine does not let the test make such a target");
        const QStringList before = filesIn(folder);
        std::unique_ptr<PipeReader> reader;
        if (outcome == QLatin1String("stream"))
            reader = std::make_unique<PipeReader>(target);
        platform().saveAnswers.enqueue(target);
        // Asked whether the name already there may be replaced: yes.
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        QCOMPARE(filesIn(folder), before);
        if (outcome == QLatin1String("refused")) {
            const auto boxes = platform().ofKind("messageBox");
            QVERIFY(!boxes.isEmpty());
            QCOMPARE(boxes.last().icon, QMessageBox::Critical);
            QVERIFY2(boxes.last().text.contains(QDir::toNativeSeparators(target)),
                     qPrintable(boxes.last().text));
            QVERIFY(platform().noticeTexts().isEmpty());
            QCOMPARE(targetKind(target), kindBefore(kind));
            return;
        }
        QCOMPARE(platform().noticeTexts(), QStringList{QStringLiteral("گزارش ذخيره شد")});
        if (outcome == QLatin1String("stream")) {
            const QByteArray pdf = reader->finish();
            QVERIFY(pdf.startsWith("%PDF-"));
            QVERIFY(pdf.right(64).contains("%%EOF"));
            QCOMPARE(targetKind(target), QStringLiteral("pipe"));
        } else {
            QCOMPARE(targetKind(target), QStringLiteral("link"));
            QCOMPARE(pdfPages(linkedFile(target)), 1);
        }
    }

    void anExistingPdfIsReplacedOnlyWhenTheOperatorSaysSo() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        const QString file = m_folder->file("report.pdf");
        writeFile(file, "an earlier report");
        platform().saveAnswers.enqueue(file);
        platform().messageAnswers.enqueue(QMessageBox::No);
        QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        QCOMPARE(bytesOf(file), QByteArray("an earlier report"));
        platform().saveAnswers.enqueue(file);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(platform().runPreviewAction(DataRPrint::savePdfCommand()));
        QCOMPARE(pdfPages(file), 1);
    }

    void paperHasItsBand() {
        QImage picture(QSize(681, 951), QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        paintReportPaper(painter, QRectF(0, 0, 681, 951));
        painter.end();
        const auto isRed = [](QRgb c) { return qRed(c) > 100 && qGreen(c) < 60 && qBlue(c) < 60; };
        QVERIFY(isRed(picture.pixel(4, 400)));   // left band
        QVERIFY(isRed(picture.pixel(400, 947))); // bottom band
        const QRgb paper = picture.pixel(400, 400);
        QVERIFY(qGray(paper) > 200);
        QVERIFY(qRed(paper) >= qBlue(paper)); // warm, pale paper
    }
};

VELMORA_TEST_MAIN(TestDataRPrint)
#include "tst_datarprint.moc"
