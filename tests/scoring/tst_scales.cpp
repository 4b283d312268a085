#include "scoring/Scales.h"
#include "support/ProgramFolder.h"

#include <QTest>
#include <memory>

using namespace velmora;

// The scale table and the arithmetic every results window shares.
class TestScales : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void everyItemBelongsToExactlyOneScale() {
        QList<int> seen;
        for (const Scale& scale : scales())
            seen += scale.items.toList();
        std::sort(seen.begin(), seen.end());
        QList<int> all;
        for (int i = 1; i <= ItemCount; ++i)
            all.append(i);
        QCOMPARE(seen, all);
    }

    void table_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reportName");
        QTest::addColumn<int>("scoreBox");
        QTest::addColumn<QList<int>>("items");
        QTest::newRow("1") << 1 << "Aggressive" << QStringLiteral("پرخاشگرانه")
                           << QStringLiteral("پرخاشگرانه") << 0 << QList<int>{1, 2};
        QTest::newRow("2") << 2 << "Simplification" << QStringLiteral("ساده بيني")
                           << QStringLiteral("ساده بيني") << 1 << QList<int>{3, 4, 9};
        QTest::newRow("3") << 3 << "Planning" << QStringLiteral("برنامه ريزي")
                           << QStringLiteral("برنامه ريزي") << 2 << QList<int>{5, 6};
        QTest::newRow("4") << 4 << "EmotionalResponse" << QStringLiteral("برخوردعاطفي")
                           << QStringLiteral("برخورد عاطفي") << 4 << QList<int>{7, 8};
        QTest::newRow("5") << 5 << "RiskTaking" << QStringLiteral("ريسک پذيري")
                           << QStringLiteral("ريسک پذيري") << 5 << QList<int>{10, 12};
        QTest::newRow("6") << 6 << "NegativeThinking" << QStringLiteral("منفي نگري")
                           << QStringLiteral("منفي نگري") << 6 << QList<int>{13, 14};
        QTest::newRow("7") << 7 << "SpecialTalent" << QStringLiteral("استعداد ويژه")
                           << QStringLiteral("استعداد ويژه") << 7 << QList<int>{11};
    }
    void table() {
        QFETCH(int, number);
        const Scale& scale = scaleNumber(number);
        QCOMPARE(scale.number, number);
        QTEST(QString::fromLatin1(scale.key), "key");
        QTEST(scale.name, "name");
        QTEST(scale.reportName, "reportName");
        QTEST(scale.scoreBox, "scoreBox");
        QTEST(scale.items.toList(), "items");
    }

    void scores_data() {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("all 5") << QStringList(14, "5") << QList<double>{10, 15, 10, 10, 10, 10, 5};
        QTest::newRow("all 1") << QStringList(14, "1") << QList<double>{2, 3, 2, 2, 2, 2, 1};
        QTest::newRow("none answered")
            << QStringList(14, QString()) << QList<double>{0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("item 9 missing")
            << QStringList{"1", "1", "4", "5", "1", "1", "1", "1", "", "1", "1", "1", "1", "1"}
            << QList<double>{2, 9, 2, 2, 2, 2, 1};
        // Each item is read as the number its text begins with.
        QTest::newRow("leading numbers")
            << QStringList{" 3", "2x", "abc", "4.5", "", "", "", "", "", "", "", "", "", ""}
            << QList<double>{5, 4.5, 0, 0, 0, 0, 0};
        // One character: an ASCII digit counts, any other (a Persian digit) is 0.
        QTest::newRow("one character")
            << QStringList{"0", "9", "۵", "a", "٣", " ", "", "", "", "", "", "", "", ""}
            << QList<double>{9, 0, 0, 0, 0, 0, 0};
        QTest::newRow("short sheet")
            << QStringList{"5", "5"} << QList<double>{10, 0, 0, 0, 0, 0, 0};
    }
    void scores() {
        QFETCH(QStringList, answers);
        QFETCH(QList<double>, expected);
        for (const Scale& scale : scales())
            QCOMPARE(scaleScore(scale, answers), expected.at(scale.number - 1));
    }

    void unansweredItems_data() {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("list");
        QTest::newRow("all answered") << QStringList(14, "3") << QString();
        QStringList three = QStringList(14, "3");
        three[2] = QString();
        three[10] = QString();
        QTest::newRow("3 and 11") << three << QStringLiteral(" 3   11  ");
        QStringList nine = QStringList(14, "3");
        nine[8] = QString();
        QTest::newRow("9") << nine << QStringLiteral(" 9  ");
        QTest::newRow("none")
            << QStringList(14, QString())
            << QStringLiteral(" 1   2   3   4   5   6   7   8   9   10   11   12   13   14  ");
        // A blank is an answer that counts 0, not a missing one.
        QStringList blank = QStringList(14, "3");
        blank[0] = QStringLiteral(" ");
        QTest::newRow("blank") << blank << QString();
    }
    void unansweredItems() {
        QFETCH(QStringList, answers);
        QTEST(unansweredList(answers), "list");
    }

    void unansweredMessageText() {
        QCOMPARE(unansweredMessage(QStringLiteral(" 9  ")),
                 QStringLiteral("شما به سوالات زير پاسخ نداده ايد") +
                     QStringLiteral("\r\n\r\n 9  "));
        QCOMPARE(unansweredTitle(), QStringLiteral("خطا"));
    }

    void numbers_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("7") << 7.0 << "7";
        QTest::newRow("0") << 0.0 << "0";
        QTest::newRow("-0") << -0.0 << "0";
        QTest::newRow("4.5") << 4.5 << "4.5";
        QTest::newRow("20/3") << 10 / 1.5 << "6.66666666666667";
        QTest::newRow("-8") << -8.0 << "-8";
        QTest::newRow("largest whole in 15 digits") << 999999999999999.0 << "999999999999999";
        QTest::newRow("1e15") << 1e15 << "1e+15";
        QTest::newRow("-1e15") << -1e15 << "-1e+15";
    }
    void numbers() {
        QFETCH(double, value);
        QTEST(numberText(value), "text");
    }

    void chartValues_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("score");
        QTest::addColumn<QString>("value");
        QTest::newRow("scale 1 copied") << 1 << "9"
                                        << "9";
        QTest::newRow("scale 1 copied as shown") << 1 << ""
                                                 << "";
        QTest::newRow("scale 2 of 15") << 2 << "15"
                                       << "10";
        QTest::newRow("scale 2 of 10") << 2 << "10"
                                       << "6.66666666666667";
        QTest::newRow("scale 2 of 3") << 2 << "3"
                                      << "2";
        QTest::newRow("scale 2 of 14") << 2 << "14"
                                       << "9.33333333333333";
        QTest::newRow("scale 2 of 0") << 2 << "0"
                                      << "0";
        QTest::newRow("scale 6 copied") << 6 << "3"
                                        << "3";
        QTest::newRow("scale 7 of 5") << 7 << "5"
                                      << "10";
        QTest::newRow("scale 7 of 1") << 7 << "1"
                                      << "2";
        QTest::newRow("scale 7 of 0") << 7 << "0"
                                      << "0";
    }
    void chartValues() {
        QFETCH(int, scale);
        QFETCH(QString, score);
        QTEST(chartValueText(scaleNumber(scale), score), "value");
    }

    void barHeights_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("height");
        QTest::newRow("10") << 10.0 << 3620.0;
        QTest::newRow("2") << 2.0 << 724.0;
        QTest::newRow("0") << 0.0 << 0.0;
        QTest::newRow("1") << 1.0 << 362.0;
    }
    void barHeights() {
        QFETCH(double, value);
        QTEST(barHeight(value), "height");
    }
    void barHeightOfTwentyThirds() { QVERIFY(qAbs(barHeight(10 / 1.5) - 2413.3333) < 0.001); }
};

VELMORA_TEST_MAIN(TestScales)
#include "tst_scales.moc"
