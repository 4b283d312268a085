#include "scoring/DataRPrint.h"
#include "scoring/FrmkLID.h"
#include "scoring/Scales.h"
#include "scoring/ScoringUi.h"
#include "support/ProgramFolder.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
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
