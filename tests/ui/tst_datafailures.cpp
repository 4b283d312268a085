#include "data/DataControl.h"
#include "support/ProgramFolder.h"
#include "ui/DataFailures.h"

#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <memory>

using namespace velmora;

// A window hears of its data controls' failures and shows them to the
// operator; the data layer itself shows nothing.
class TestDataFailures : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void aFailureAtTheFirstReadReachesTheOperator() {
        ProgramFolder::exec(QStringLiteral("DBM/DB2.mdb"), QStringLiteral("DROP TABLE \"Answer\""));
        QWidget window;
        DataControl* answers =
            makeDataControl(QStringLiteral("Answer"), &window, QStringLiteral("Adodc3"));
        QVERIFY(answers->bof());
        const auto boxes = m_folder->platform().ofKind(QStringLiteral("messageBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().title, QStringLiteral("خطا"));
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.first().owner, &window);
        QVERIFY(boxes.first().text.contains(QStringLiteral("DB2.mdb")));
    }

    void aQuietedControlLeavesTheReportToItsCaller() {
        ProgramFolder::addSubject(QStringLiteral("a"));
        QWidget window;
        DataControl* subjects =
            makeDataControl(QStringLiteral("IDE"), &window, QStringLiteral("Adodc2"));
        QVERIFY(subjects->setFilter(QStringLiteral("Code"), QStringLiteral("nobody")));
        subjects->setField(QStringLiteral("FName"), QStringLiteral("typed"));
        subjects->setReportFailures(false);
        QVERIFY(!subjects->save());
        QVERIFY(!subjects->lastError().isEmpty());
        QVERIFY(m_folder->platform().ofKind(QStringLiteral("messageBox")).isEmpty());
        subjects->setReportFailures(true);
        QVERIFY(!subjects->save());
        QCOMPARE(m_folder->platform().ofKind(QStringLiteral("messageBox")).size(), 1);
    }
};

VELMORA_TEST_MAIN(TestDataFailures)
#include "tst_datafailures.moc"
