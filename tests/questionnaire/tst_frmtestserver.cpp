#include "data/DataControl.h"
#include "questionnaire/FrmTest.h"
#include "support/PgSession.h"
#include "support/ProgramFolder.h"
#include "support/StoppableServer.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using namespace velmora;

// The test window on a server that stops answering in the middle of a test:
// the subject's answer step is reported, nothing typed is lost, and the same
// step goes through once the server is back.
class TestFrmTestServer : public QObject {
    Q_OBJECT
    StoppableServer m_case;
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void initTestCase() { VELMORA_REQUIRE_PG(m_case.server); }

    void init() {
        m_folder = std::make_unique<ProgramFolder>(false);
        m_case.begin();
    }
    void cleanup() {
        deleteAllWindows();
        m_case.end();
        m_folder.reset();
    }

    void anAnswerStepWhileTheServerIsDownSucceedsOnceItIsBack() {
        QVERIFY(m_case.openStore());
        {
            PgSession other(m_case.database());
            other.run("INSERT INTO \"IDE\" (\"Code\", \"FName\") VALUES ('S1', 'Mina')");
            other.run("INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES ('S1', 'A')");
        }
        FrmTest* t = FrmTest::loaded();
        t->Adodc2->setFilter(QStringLiteral("code"), QStringLiteral("S1"));
        t->Adodc3->setFilter(QStringLiteral("code"), QStringLiteral("S1"));
        t->show();
        const auto choose = [t](int value) {
            auto* button = t->findChild<QRadioButton*>(QStringLiteral("Option%1").arg(6 - value));
            QTest::mouseClick(button, Qt::LeftButton, {},
                              QPoint(button->width() - 8, button->height() / 2));
        };
        const auto stored = [this](int item) {
            return PgSession(m_case.database())
                .value(QStringLiteral("SELECT \"%1\" FROM \"Answer\" WHERE \"Code\" = 'S1'")
                           .arg(item));
        };
        QTest::mouseClick(t->Command1, Qt::LeftButton);
        choose(5);
        QTest::mouseClick(t->CmdNext, Qt::LeftButton);
        QCOMPARE(stored(1), QString("5"));
        choose(2);
        QVERIFY(m_case.server.pause());
        QTest::mouseClick(t->CmdNext, Qt::LeftButton);
        const QStringList messages = m_folder->platform().messageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QStringLiteral("ارتباط با سرور پايگاه داده قطع شد")),
                 qPrintable(messages.first()));
        QCOMPARE(t->Frame2->title(), QString("2"));
        QVERIFY(m_case.server.resume());
        QTest::mouseClick(t->CmdNext, Qt::LeftButton);
        QCOMPARE(t->Frame2->title(), QString("3"));
        QCOMPARE(stored(1), QString("5"));
        QCOMPARE(stored(2), QString("2"));
        QCOMPARE(m_folder->platform().messageTexts().size(), 1);
    }
};

VELMORA_TEST_MAIN(TestFrmTestServer)
#include "tst_frmtestserver.moc"
