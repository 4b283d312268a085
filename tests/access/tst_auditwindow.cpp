#include "access/AuditReport.h"
#include "access/AuditWindow.h"
#include "calendar/SolarCalendar.h"
#include "data/AuditTrail.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "support/CsvReader.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"

#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

QString trailFile() {
    return ProgramFolder::onServer() ? QStringLiteral("DBM/DB2.mdb") : AuditTrail::fileName();
}

// count entries in one transaction: codes C0..C4 in turn, two workstations.
void writeEntries(int count) {
    StoreTransaction transaction;
    for (int i = 1; i <= count; ++i) {
        AuditEntry e;
        e.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        e.workstation = i % 2 ? QStringLiteral("front-desk") : QStringLiteral("room-2");
        e.operatorName = i % 3 ? QStringLiteral("sara") : QStringLiteral("omid");
        e.action = QStringLiteral("answers");
        e.code = QStringLiteral("C%1").arg(i % 5);
        e.outcome = QStringLiteral("done");
        e.detail = QStringLiteral("سوال %1").arg(i % 14 + 1);
        QString error;
        if (!AuditTrail::append(e, &error))
            qFatal("append: %s", qPrintable(error));
    }
    if (!transaction.commit())
        qFatal("commit: %s", qPrintable(transaction.error()));
}

QString operatorOf(int seq) {
    return ProgramFolder::value(trailFile(), "SELECT \"Operator\" FROM \"Audit\" WHERE \"Seq\" = ?",
                                {seq});
}

QStringList shownColumn(AuditWindow& w, int column) {
    QStringList cells;
    for (int row = 0; row < w.rows()->rowCount(); ++row)
        cells.append(w.rows()->index(row, column).data().toString());
    return cells;
}

} // namespace

// The audit window: newest first, read as it scrolls, narrowed by code,
// operator and solar dates, the chain's state, and what it shows as CSV.
class TestAuditWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void newestFirstAndReadAsItScrolls() {
        writeEntries(1000);
        AuditWindow w;
        w.show();
        QCOMPARE(w.objectName(), QStringLiteral("AuditWindow"));
        QCOMPARE(w.layoutDirection(), Qt::RightToLeft);
        // One block read at the opening, however long the trail.
        QCOMPARE(w.rows()->rowCount(), 256);
        QCOMPARE(w.rows()->index(0, 0).data().toString(), QStringLiteral("1000"));
        QCOMPARE(w.rows()->index(1, 0).data().toString(), QStringLiteral("999"));
        QCOMPARE(w.rows()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("شماره"));
        // The date is the solar date of the entry's moment here.
        QCOMPARE(w.rows()->index(0, 1).data().toString(), SolarDate(QDate::currentDate(), 0));
        QCOMPARE(w.rows()->index(0, 5).data().toString(), QStringLiteral("ذخيره پاسخ"));
        QCOMPARE(w.rows()->index(0, 7).data().toString(), QStringLiteral("انجام شد"));
        for (int i = 0; i < 10 && w.rows()->canFetchMore(QModelIndex()); ++i) {
            w.auditGrid->scrollToBottom();
            QCoreApplication::processEvents();
        }
        QCOMPARE(w.rows()->rowCount(), 1000);
        QCOMPARE(w.rows()->index(999, 0).data().toString(), QStringLiteral("1"));
        QVERIFY(!w.rows()->canFetchMore(QModelIndex()));
    }

    void filtersNarrowTheList_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("byOperator");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("rows");
        const QString today = SolarDate(QDate::currentDate(), 0);
        const QString yesterday = SolarDate(QDate::currentDate().addDays(-1), 0);
        const QString tomorrow = SolarDate(QDate::currentDate().addDays(1), 0);
        QTest::newRow("nothing") << "" << false << ""
                                 << "" << 40;
        QTest::newRow("a code") << "C3" << false << ""
                                << "" << 8;
        QTest::newRow("a code nobody has") << "C9" << false << ""
                                           << "" << 0;
        QTest::newRow("from today") << "" << false << today << "" << 40;
        QTest::newRow("until yesterday") << "" << false << "" << yesterday << 0;
        QTest::newRow("today only, Persian digits")
            << "" << false << today << QString(today).replace(QLatin1Char('1'), QChar(0x06F1))
            << 40;
        QTest::newRow("from tomorrow") << "" << false << tomorrow << "" << 0;
        // Two operators in turn on the file; on a server the session's one.
        QTest::newRow("a code and an operator") << "C1" << true << ""
                                                << "" << -1;
    }
    void filtersNarrowTheList() {
        QFETCH(QString, code);
        QFETCH(bool, byOperator);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, rows);
        if (rows < 0)
            rows = ProgramFolder::onServer() ? 8 : 5;
        writeEntries(40);
        AuditWindow w;
        w.show();
        w.codeBox->setText(code);
        // On a server the server names the operator, so narrow by that name.
        const QString who = operatorOf(1);
        if (byOperator)
            w.operatorBox->setText(who);
        w.fromBox->setText(from);
        w.toBox->setText(to);
        w.showButton->click();
        QCOMPARE(w.rows()->rowCount(), rows);
        if (!code.isEmpty())
            for (const QString& shown : shownColumn(w, 6))
                QCOMPARE(shown, code);
        if (byOperator)
            for (const QString& shown : shownColumn(w, 4))
                QCOMPARE(shown, who);
        const QStringList numbers = shownColumn(w, 0);
        for (int i = 1; i < numbers.size(); ++i)
            QVERIFY(numbers.at(i - 1).toInt() > numbers.at(i).toInt());
        QCOMPARE(m_folder->platform().noticeTexts(), QStringList());
    }

    void aDateThatIsNoneIsAskedFor() {
        AuditWindow w;
        w.show();
        w.fromBox->setText(QStringLiteral("1403/13/01"));
        w.showButton->click();
        QCOMPARE(m_folder->platform().noticeTexts(),
                 QStringList{QStringLiteral("تاريخ را به صورت سال/ماه/روز وارد کنيد")});
    }

    // The chain is checked behind the window's back and its state shown.
    void theChainsStateIsShown() {
        writeEntries(30);
        {
            AuditWindow w;
            w.show();
            QTRY_VERIFY(w.chainChecked());
            QCOMPARE(w.chainLabel->text(),
                     QStringLiteral("زنجيره رويدادنگار با 30 رويداد سالم است."));
        }
        if (ProgramFolder::onServer())
            return; // the server refuses the change (see tst_serverroles)
        ProgramFolder::exec(AuditTrail::fileName(),
                            "UPDATE \"Audit\" SET \"Detail\" = 'x' WHERE \"Seq\" = 17");
        AuditWindow w;
        w.show();
        QTRY_VERIFY(w.chainChecked());
        QVERIFY2(w.chainLabel->text().startsWith(QStringLiteral("رويداد 17 (")),
                 qPrintable(w.chainLabel->text()));
        // The entries are still all there to read.
        QCOMPARE(w.rows()->rowCount(), 30);
    }

    // What the window shows, all of it and newest first, not just the rows
    // read so far.
    void theExportIsWhatIsShown() {
        writeEntries(600);
        AuditWindow w;
        w.show();
        w.codeBox->setText(QStringLiteral("C2"));
        w.showButton->click();
        const QString path = m_folder->file(QStringLiteral("audit.csv"));
        m_folder->platform().saveAnswers.enqueue(path);
        w.exportButton->click();
        QCOMPARE(m_folder->platform().noticeTexts(),
                 QStringList{QStringLiteral("رويدادنگار ذخيره شد")});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const CsvContent csv = parseCsv(file.readAll());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        QVERIFY(csv.byteOrderMark);
        QCOMPARE(csv.rows.size(), 1 + 120);
        QCOMPARE(csv.rows.at(1).first(), QStringLiteral("597"));
        QCOMPARE(csv.rows.last().first(), QStringLiteral("2"));
        for (int i = 1; i < csv.rows.size(); ++i)
            QCOMPARE(csv.rows.at(i).at(7), QStringLiteral("C2"));
        QCOMPARE(ProgramFolder::rows(trailFile(), "SELECT \"Action\", \"Detail\" FROM \"Audit\" "
                                                  "ORDER BY \"Seq\" DESC LIMIT 1"),
                 (QList<QStringList>{{"audit-export", QStringLiteral("120 رويداد")}}));
    }
};

VELMORA_TEST_MAIN(TestAuditWindow)
#include "tst_auditwindow.moc"
