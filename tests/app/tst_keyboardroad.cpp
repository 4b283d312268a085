// One subject's whole road through the program by keyboard alone: every
// control is reached with Tab and used with Space, Enter, Escape, the arrow
// keys and typed text, on whatever has the focus. The scripted platform
// stands in for the dialogs of the system (input box, save dialog, printer).
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
#include <QFile>
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

// The window the keys go to. (A window with a transient parent counts as
// active in Qt's eyes as soon as its parent is, before it has the keys.)
bool becomesActive(QWidget* window) {
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
}

QWidget* pictureKey(QWidget* window, const char* picture) {
    return window->findChild<QWidget*>(QLatin1String(picture) + QLatin1String("Key"));
}

} // namespace

class TestKeyboardRoad : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void registerTestScorePrintAndLeave_data() {
        QTest::addColumn<bool>("backup");
        QTest::newRow("leaving with a backup") << true;
        QTest::newRow("cancelling, then leaving without a backup") << false;
    }
    void registerTestScorePrintAndLeave() {
        QFETCH(bool, backup);
        ScriptedPlatform& platform = m_folder->platform();
        QVERIFY(startVelmora());
        Frm1* main = Frm1::instance();
        QVERIFY(main);
        QVERIFY(becomesActive(main));

        // Registration: the panel opens with the focus in the code box, and
        // Tab goes through the fields in the panel's order.
        QVERIFY(tabTo(main, main->Command1));
        pressKey(main, Qt::Key_Space);
        RegistrationPanel* panel = main->Frame10;
        QVERIFY(panel->isVisible());
        QVERIFY(panel->Text11->hasFocus());
        typeKeys(main, "O'Brien-7");
        pressKey(main, Qt::Key_Tab);
        typeKeys(main, "Sara");
        pressKey(main, Qt::Key_Tab);
        typeKeys(main, "Karimi");
        pressKey(main, Qt::Key_Tab);
        typeKeys(main, "34");
        pressKey(main, Qt::Key_Tab);
        QVERIFY(panel->Combo1->hasFocus());
        pressKey(main, Qt::Key_Down);
        pressKey(main, Qt::Key_Down); // married
        pressKey(main, Qt::Key_Tab);
        QVERIFY(panel->Text8->hasFocus()); // today's date, already filled
        pressKey(main, Qt::Key_Tab);
        pressKey(main, Qt::Key_Down);
        pressKey(main, Qt::Key_Down); // female
        pressKey(main, Qt::Key_Tab);
        for (int i = 0; i < 4; ++i)
            pressKey(main, Qt::Key_Down); // group D
        pressKey(main, Qt::Key_Tab);
        QVERIFY(panel->Text7->hasFocus());
        typeKeys(main, "BA");
        pressKey(main, Qt::Key_Tab);
        QVERIFY(panel->Command8->hasFocus());
        pressKey(main, Qt::Key_Space);
        QVERIFY(!panel->isVisible());
        QCOMPARE(ProgramFolder::rows("DBM/DB2.mdb",
                                     "SELECT \"Code\", \"FName\", \"LName\", \"Sen\", \"Taahol\", "
                                     "\"Jens\", \"Group\", \"Tahsil\" FROM \"IDE\""),
                 (QList<QStringList>{{"O'Brien-7", "Sara", "Karimi", "34", QStringLiteral("متأهل"),
                                      QStringLiteral("زن"), "D", "BA"}}));

        // The test: start with Space, one Tab to the next button, then the
        // digit of the answer and Space or Return for each item; the last is
        // saved with the save-and-exit button.
        platform.inputAnswers.enqueue("O'Brien-7");
        bool answered = false;
        whenModal([&answered](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            QVERIFY(test);
            QVERIFY(becomesActive(test));
            QVERIFY(test->Command1->hasFocus());
            pressKey(test, Qt::Key_Space);
            QVERIFY(test->Text1->hasFocus());
            pressKey(test, Qt::Key_Tab);
            QVERIFY(test->CmdNext->hasFocus());
            const QString values = QStringLiteral("54321543215432");
            for (int item = 1; item <= 14; ++item) {
                QCOMPARE(test->Text6->text(), QString::number(item));
                typeKeys(test, values.mid(item - 1, 1));
                if (item < 14)
                    pressKey(test, item % 2 ? Qt::Key_Space : Qt::Key_Return);
                QVERIFY(test->CmdNext->hasFocus());
            }
            QVERIFY(tabTo(test, test->Command5));
            answered = true;
            pressKey(test, Qt::Key_Space);
        });
        QVERIFY(tabTo(main, main->Command2));
        pressKey(main, Qt::Key_Space);
        QVERIFY(answered);
        QVERIFY(becomesActive(main));
        QCOMPARE(ProgramFolder::rows("DBM/DB2.mdb",
                                     "SELECT \"1\", \"2\", \"3\", \"4\", \"5\", \"13\", \"14\" "
                                     "FROM \"Answer\" WHERE \"Code\" = 'O''Brien-7'"),
                 (QList<QStringList>{{"5", "4", "3", "2", "1", "3", "2"}}));

        // Scoring: the main window gives way to the scoring window.
        QVERIFY(tabTo(main, main->Command3));
        pressKey(main, Qt::Key_Space);
        QVERIFY(!main->isVisible());
        FrmkLID* scoring = visibleWindow<FrmkLID>();
        QVERIFY(scoring);
        QVERIFY(becomesActive(scoring));
        QVERIFY(tabTo(scoring, scoring->Command1));
        platform.inputAnswers.enqueue("O'Brien-7");
        pressKey(scoring, Qt::Key_Space);
        QCOMPARE(scoring->Text15->text(), QStringLiteral("O'Brien-7"));
        QVERIFY(!scoring->Text3[0]->text().isEmpty());

        // The chart: drawn, printed and left with Escape.
        bool charted = false;
        whenModal([&charted](QWidget* window) {
            auto* chart = qobject_cast<Frm2*>(window);
            QVERIFY(chart);
            QVERIFY(becomesActive(chart));
            QVERIFY(tabTo(chart, chart->Command1));
            pressKey(chart, Qt::Key_Space);
            QVERIFY(chart->bar(1)->height() > 195);
            QVERIFY(tabTo(chart, chart->Command2));
            pressKey(chart, Qt::Key_Space);
            charted = true;
            pressKey(chart, Qt::Key_Escape);
        });
        QVERIFY(tabTo(scoring, scoring->Command2));
        pressKey(scoring, Qt::Key_Space);
        QVERIFY(charted);
        QVERIFY(becomesActive(scoring));
        QCOMPARE(platform.printedFiles.size(), 1);

        // The report's preview, then Escape back to the main window.
        QVERIFY(tabTo(scoring, scoring->Command6));
        pressKey(scoring, Qt::Key_Space);
        QCOMPARE(platform.previewFiles.size(), 1);
        QVERIFY(QFileInfo(platform.previewFiles.first()).size() > 1000);
        pressKey(scoring, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(Frm1::instance(), main);
        QVERIFY(main->isVisible());
        QVERIFY(becomesActive(main));

        // Leaving through the exit confirmation.
        QVERIFY(tabTo(main, main->Command6));
        pressKey(main, Qt::Key_Space);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        exitpro* exit = exitpro::instance();
        QVERIFY(exit && exit->isVisible());
        QVERIFY(becomesActive(exit));
        if (!backup) {
            // Escape cancels: a new main window, and out again.
            pressKey(exit, Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!exitpro::instance());
            main = Frm1::instance();
            QVERIFY(main && main->isVisible());
            QVERIFY(becomesActive(main));
            QVERIFY(tabTo(main, main->Command6));
            pressKey(main, Qt::Key_Space);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            exit = exitpro::instance();
            QVERIFY(exit && exit->isVisible());
            QVERIFY(becomesActive(exit));
            QVERIFY(tabTo(exit, pictureKey(exit, "k1")));
            QCOMPARE(platform.endCount, 0);
            pressKey(exit, Qt::Key_Return);
            QCOMPARE(platform.endCount, 1);
            QVERIFY(!visibleWindow<Frmbackup>());
            return;
        }
        QVERIFY(tabTo(exit, exit->Check1));
        pressKey(exit, Qt::Key_Space);
        QVERIFY(exit->Check1->isChecked());
        QVERIFY(tabTo(exit, pictureKey(exit, "k1")));
        pressKey(exit, Qt::Key_Return);
        Frmbackup* backupWindow = visibleWindow<Frmbackup>();
        QVERIFY(backupWindow);
        QVERIFY(becomesActive(backupWindow));
        const QString target = m_folder->file("Back/road.mdbB");
        platform.saveAnswers.enqueue(target);
        QVERIFY(tabTo(backupWindow, backupWindow->b1));
        pressKey(backupWindow, Qt::Key_Space);
        QCOMPARE(backupWindow->Text1->text(), target);
        QVERIFY(tabTo(backupWindow, backupWindow->VisualButtonEx2));
        QCOMPARE(platform.endCount, 0);
        pressKey(backupWindow, Qt::Key_Space);
        QVERIFY(QFile::exists(target));
        QString why;
        QVERIFY2(Database::isSoundSubjectDatabase(target, &why), qPrintable(why));
        QCOMPARE(ProgramFolder::value(target, "SELECT \"Code\" FROM \"IDE\""),
                 QString("O'Brien-7"));
        QCOMPARE(platform.endCount, 1);
    }
};

VELMORA_TEST_MAIN(TestKeyboardRoad)
#include "tst_keyboardroad.moc"
