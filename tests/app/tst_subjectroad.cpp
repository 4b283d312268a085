// One subject's whole road through the program, window to window, as an
// operator drives it: registration, the test, scoring, chart and report, and
// leaving the program with a backup.
#include "app/App.h"
#include "app/Frm1.h"
#include "backup/Frmbackup.h"
#include "data/Database.h"
#include "dialogs/exitpro.h"
#include "questionnaire/FrmTest.h"
#include "scoring/Frm2.h"
#include "scoring/FrmkLID.h"
#include "support/ProgramFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

template <typename T> T* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestSubjectRoad : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void registerTestScorePrintAndBackUp() {
        ScriptedPlatform& platform = m_folder->platform();
        QVERIFY(startVelmora());
        Frm1* main = Frm1::instance();
        QVERIFY(main);

        // Registration.
        click(main->Command1);
        QTest::keyClicks(main->Frame10->Text11, "O'Brien-7");
        QTest::keyClicks(main->Frame10->Text6, "Sara");
        QTest::keyClicks(main->Frame10->Text4, "Karimi");
        QTest::keyClicks(main->Frame10->Text5, "34");
        QTest::keyClicks(main->Frame10->Text7, "BA");
        main->Frame10->Combo1->setCurrentIndex(1);
        main->Frame10->Combo2->setCurrentIndex(1);
        main->Frame10->Combo3->setCurrentIndex(3); // D
        click(main->Frame10->Command8);
        QVERIFY(!main->Frame10->isVisible());
        QCOMPARE(ProgramFolder::rows("DBM/DB2.mdb",
                                     "SELECT \"Code\", \"FName\", \"Group\" FROM \"IDE\""),
                 (QList<QStringList>{{"O'Brien-7", "Sara", "D"}}));

        // The test: every item answered "strongly agree", then save and exit.
        platform.inputAnswers.enqueue("O'Brien-7");
        whenModal([](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            QVERIFY(test);
            click(test->Command1);
            for (int item = 1; item <= 14; ++item) {
                QCOMPARE(test->Text6->text(), QString::number(item));
                click(test->Option1);
                if (item < 14)
                    click(test->CmdNext);
            }
            click(test->Command5);
        });
        click(main->Command2);
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb",
                                      "SELECT COUNT(*) FROM \"Answer\" WHERE \"1\" = '5' AND "
                                      "\"7\" = '5' AND \"14\" = '5'"),
                 QString("1"));

        // Scoring: the main window gives way to the scoring window.
        click(main->Command3);
        QVERIFY(!main->isVisible());
        FrmkLID* scoring = visibleWindow<FrmkLID>();
        QVERIFY(scoring);
        platform.inputAnswers.enqueue("O'Brien-7");
        click(scoring->Command1);
        QStringList scores;
        for (int box : {0, 1, 2, 4, 5, 6, 7})
            scores.append(scoring->Text3[size_t(box)]->text());
        QCOMPARE(scores, (QStringList{"10", "15", "10", "10", "10", "10", "5"}));
        QVERIFY(platform.messageTexts().isEmpty()); // nothing unanswered

        // The chart prints, and the report is previewed as a PDF.
        whenModal([](QWidget* window) {
            auto* chart = qobject_cast<Frm2*>(window);
            QVERIFY(chart);
            click(chart->Command1);
            click(chart->Command2);
            click(chart->Command6);
        });
        click(scoring->Command2);
        QCOMPARE(platform.printedFiles.size(), 1);
        click(scoring->Command6);
        QCOMPARE(platform.previewFiles.size(), 1);
        QVERIFY(QFileInfo(platform.previewFiles.first()).size() > 1000);

        // Closing the scoring window brings the same main window back.
        scoring->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(Frm1::instance(), main);
        QVERIFY(main->isVisible());

        // Leaving with a backup.
        click(main->Command6);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        exitpro* exit = exitpro::instance();
        QVERIFY(exit && exit->isVisible());
        exit->Check1->setChecked(true);
        exit->k1_MouseMove();
        exit->k2_Click();
        Frmbackup* backup = visibleWindow<Frmbackup>();
        QVERIFY(backup);
        const QString target = m_folder->file("Back/road.mdbB");
        platform.saveAnswers.enqueue(target);
        click(backup->b1);
        click(backup->VisualButtonEx2);
        QVERIFY(QFile::exists(target));
        QString why;
        QVERIFY2(Database::isSoundSubjectDatabase(target, &why), qPrintable(why));
        QCOMPARE(ProgramFolder::value(target, "SELECT \"Code\" FROM \"IDE\""),
                 QString("O'Brien-7"));
        QVERIFY(platform.programEnded());
    }
};

VELMORA_TEST_MAIN(TestSubjectRoad)
#include "tst_subjectroad.moc"
