#include "calendar/SolarCalendar.h"
#include "support/CaseFolder.h"

#include <QTest>

using namespace velmora;

class TestSolarCalendar : public QObject {
    Q_OBJECT
private slots:
    void layoutZero_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("epoch") << QDate(1953, 3, 21) << "1332/01/01";
        QTest::newRow("day after epoch") << QDate(1953, 3, 22) << "1332/01/02";
        QTest::newRow("new year 1393") << QDate(2014, 3, 21) << "1393/01/01";
        QTest::newRow("worked example") << QDate(2014, 11, 2) << "1393/08/11";
        QTest::newRow("day 185") << QDate(2014, 9, 22) << "1393/06/31";
        QTest::newRow("day 186") << QDate(2014, 9, 23) << "1393/07/01";
        QTest::newRow("month 7 ends") << QDate(2014, 10, 22) << "1393/07/30";
        QTest::newRow("month 8 starts") << QDate(2014, 10, 23) << "1393/08/01";
        QTest::newRow("common year ends") << QDate(2015, 3, 20) << "1393/12/29";
        QTest::newRow("after common year") << QDate(2015, 3, 21) << "1394/01/01";
        QTest::newRow("leap 1399 ends") << QDate(2021, 3, 20) << "1399/12/30";
        QTest::newRow("after 1399") << QDate(2021, 3, 21) << "1400/01/01";
        QTest::newRow("leap 1403 ends") << QDate(2025, 3, 20) << "1403/12/30";
        QTest::newRow("after 1403") << QDate(2025, 3, 21) << "1404/01/01";
        QTest::newRow("1403 starts a day early") << QDate(2024, 3, 20) << "1403/01/01";
        QTest::newRow("year 2000") << QDate(2000, 1, 1) << "1378/10/11";
        QTest::newRow("two-digit month and day") << QDate(2001, 1, 1) << "1379/10/12";
    }
    void layoutZero() {
        QFETCH(QDate, date);
        QFETCH(QString, expected);
        QCOMPARE(SolarDate(date), expected);
        QCOMPARE(SolarDate(date, 0), expected);
    }

    void layouts_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("expected");
        const QDate nov2(2014, 11, 2);
        const QString sunday = SolarWeekdayName(1);
        const QString aban = SolarMonthName(8);
        QTest::newRow("1") << nov2 << 1 << "11 " + aban + " 1393";
        QTest::newRow("2") << nov2 << 2 << sunday + " 1393/8/11";
        QTest::newRow("3") << nov2 << 3 << sunday + " 11 " + aban + " 1393";
        QTest::newRow("4") << nov2 << 4 << "1393.8.11";
        QTest::newRow("4 new year") << QDate(2014, 3, 21) << 4 << "1393.1.1";
        QTest::newRow("2 new year") << QDate(2014, 3, 21) << 2 << SolarWeekdayName(6) + " 1393/1/1";
        QTest::newRow("4 two digits") << QDate(2001, 1, 1) << 4 << "1379.10.12";
        QTest::newRow("5 is empty") << nov2 << 5 << "";
        QTest::newRow("-1 is empty") << nov2 << -1 << "";
    }
    void layouts() {
        QFETCH(QDate, date);
        QFETCH(int, layout);
        QFETCH(QString, expected);
        QCOMPARE(SolarDate(date, layout), expected);
    }

    void namesAreTheSystemsSpelling() {
        // Arabic yeh and Persian keheh, one ordinary blank in Tuesday.
        QCOMPARE(SolarWeekdayName(1), QString::fromUtf8("\u064a\u06a9\u0634\u0646\u0628\u0647"));
        QCOMPARE(SolarWeekdayName(3), QString::fromUtf8("\u0633\u0647 \u0634\u0646\u0628\u0647"));
        QCOMPARE(SolarWeekdayName(7), QString::fromUtf8("\u0634\u0646\u0628\u0647"));
        QCOMPARE(SolarMonthName(1),
                 QString::fromUtf8("\u0641\u0631\u0648\u0631\u062f\u064a\u0646"));
        // The epoch was a Saturday; 1 January 2000 too.
        QVERIFY(SolarDate(QDate(1953, 3, 21), 2).startsWith(SolarWeekdayName(7) + " "));
        QVERIFY(SolarDate(QDate(2000, 1, 1), 3).startsWith(SolarWeekdayName(7) + " "));
    }

    void timeOfDayIsIgnored() {
        const QDate d(2014, 11, 2);
        for (int layout = 0; layout <= 4; ++layout)
            QCOMPARE(SolarDate(QDateTime(d, QTime(23, 59, 59)), layout),
                     SolarDate(QDateTime(d, QTime(0, 0)), layout));
    }

    void leapYearsFrom1332To1440() {
        const QList<int> leap = {1333, 1337, 1342, 1346, 1350, 1354, 1358, 1362, 1366,
                                 1370, 1375, 1379, 1383, 1387, 1391, 1395, 1399, 1403,
                                 1408, 1412, 1416, 1420, 1424, 1428, 1432, 1436, 1437};
        for (int year = 1332; year <= 1440; ++year)
            QVERIFY2(IsSolarLeapYear(year - 1332) == leap.contains(year),
                     qPrintable(QString::number(year)));
    }

    void lastDayOfEveryYearMatchesItsLength() {
        // The day before each solar new year is 12/29 or 12/30 by the leap rule,
        // walked over a century of days.
        QDate d(1953, 3, 21);
        int year = 1332;
        while (d.year() < 2060) {
            const int length = IsSolarLeapYear(year - 1332) ? 366 : 365;
            const QDate last = d.addDays(length - 1);
            QCOMPARE(SolarDate(last), QString("%1/12/%2").arg(year).arg(length == 366 ? 30 : 29));
            d = d.addDays(length);
            ++year;
            QCOMPARE(SolarDate(d), QString("%1/01/01").arg(year));
        }
    }

    void datesBeforeTheEpochGiveNoDate() {
        SolarDay day;
        QVERIFY(!DaysToSolar(-1, &day));
        for (int layout = 0; layout <= 4; ++layout)
            QCOMPARE(SolarDate(QDate(1953, 3, 20), layout), QString());
        QCOMPARE(SolarDate(QDate(1900, 1, 1)), QString());
        QCOMPARE(SolarDate(QDate()), QString());
    }

    void daysToSolarSplitsTheYear() {
        SolarDay day;
        QVERIFY(DaysToSolar(0, &day));
        QCOMPARE(day.year, 1332);
        QCOMPARE(day.month, 1);
        QCOMPARE(day.day, 1);
        QVERIFY(DaysToSolar(365, &day)); // 1332 is common
        QCOMPARE(day.year, 1333);
        QCOMPARE(day.month, 1);
        QVERIFY(DaysToSolar(365 + 365, &day)); // 1333 is leap: its 366th day
        QCOMPARE(day.year, 1333);
        QCOMPARE(day.month, 12);
        QCOMPARE(day.day, 30);
    }

    // Back from a solar date to the day count: every day from the epoch to
    // the end of 1440 goes there and back, so each month's length and each
    // leap year agree with the way there.
    void solarToDaysInvertsDaysToSolar() {
        const qint64 last = SolarEpoch().daysTo(QDate(2062, 3, 20));
        for (qint64 days = 0; days <= last; ++days) {
            SolarDay day;
            QVERIFY(DaysToSolar(days, &day));
            qint64 back = -1;
            QVERIFY(SolarToDays(day, &back));
            if (back != days)
                QFAIL(qPrintable(QStringLiteral("%1/%2/%3: %4, not %5")
                                     .arg(day.year)
                                     .arg(day.month)
                                     .arg(day.day)
                                     .arg(back)
                                     .arg(days)));
        }
        QCOMPARE(SolarEpoch(), QDate(1953, 3, 21));
        // Far beyond the years looked up, counted the long way both ways.
        for (const QDate& far : {QDate(2700, 3, 20), QDate(2700, 3, 21), QDate(3000, 1, 1)}) {
            SolarDay day;
            QVERIFY(DaysToSolar(SolarEpoch().daysTo(far), &day));
            qint64 back = -1;
            QVERIFY(SolarToDays(day, &back));
            QCOMPARE(SolarEpoch().addDays(back), far);
        }
    }

    void solarToDaysRefusesDatesTheCalendarLacks_data() {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::newRow("before the epoch") << 1331 << 12 << 29;
        QTest::newRow("month 0") << 1400 << 0 << 1;
        QTest::newRow("month 13") << 1400 << 13 << 1;
        QTest::newRow("day 0") << 1400 << 1 << 0;
        QTest::newRow("day 32 of month 1") << 1400 << 1 << 32;
        QTest::newRow("day 31 of month 7") << 1400 << 7 << 31;
        QTest::newRow("30 Esfand of a common year") << 1402 << 12 << 30;
    }
    void solarToDaysRefusesDatesTheCalendarLacks() {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        qint64 days = 0;
        QVERIFY(!SolarToDays({year, month, day}, &days));
        QVERIFY(SolarToDays({1403, 12, 30}, &days)); // 1403 is leap
        QCOMPARE(SolarEpoch().addDays(days), QDate(2025, 3, 20));
    }
};

VELMORA_DATA_TEST_MAIN(TestSolarCalendar)
#include "tst_solarcalendar.moc"
