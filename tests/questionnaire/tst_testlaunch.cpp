// The test launch from the main window's "run the test" button, with the test
// window run modally inside it.
#include "app/Frm1.h"
#include "calendar/ClockTime.h"
#include "calendar/SolarCalendar.h"
#include "data/DataControl.h"
#include "questionnaire/FrmTest.h"
#include "questionnaire/ItemBank.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"

#include <QDateTime>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Sheets = QStringLiteral("DBM/DB2.mdb");

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

// A click on the circle of the option worth value (5 is Option1).
void choose(FrmTest* t, int value) {
    auto* button = t->findChild<QRadioButton*>(QStringLiteral("Option%1").arg(6 - value));
    QTest::mouseClick(button, Qt::LeftButton, {},
                      QPoint(button->width() - 8, button->height() / 2));
}

int checkedValue(FrmTest* t) {
    for (int value = 1; value <= 5; ++value)
        if (t->findChild<QRadioButton*>(QStringLiteral("Option%1").arg(6 - value))->isChecked())
            return value;
    return 0;
}

} // namespace

class TestTestLaunch : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;
    Frm1* m_main = nullptr;

    void openMain() {
        m_main = new Frm1;
        m_main->show();
        // An open panel shows whether the launch hid the main window's panels.
        click(m_main->Command9);
        QVERIFY(m_main->Frame8->isVisible());
    }

    // Launches the test for code; run drives the modal test window.
    void launch(const QString& code, const std::function<void(FrmTest*)>& run) {
        m_folder->platform().inputAnswers.enqueue(code);
        bool ran = false;
        whenModal([&](QWidget* modal) {
            ran = true;
            auto* t = qobject_cast<FrmTest*>(modal);
            QVERIFY(t);
            QCOMPARE(t, FrmTest::instance());
            run(t);
            if (t->isVisible()) // a failed check left the run open
                t->close();
        });
        click(m_main->Command2);
        QVERIFY(ran);
    }

    void expectReadyState() {
        FrmTest* t = FrmTest::instance();
        QVERIFY(t);
        QVERIFY(!t->isVisible());
        for (QWidget* shown :
             {static_cast<QWidget*>(t->SkinLabel4), static_cast<QWidget*>(t->Command1),
              static_cast<QWidget*>(t->Command2), static_cast<QWidget*>(t->Frame1),
              static_cast<QWidget*>(t->SkinLbl5)})
            QVERIFY2(shown->isVisibleTo(t), qPrintable(shown->objectName()));
        for (QWidget* hidden :
             {static_cast<QWidget*>(t->SkinLabel3), static_cast<QWidget*>(t->CmdBack),
              static_cast<QWidget*>(t->CmdNext), static_cast<QWidget*>(t->Frame2),
              static_cast<QWidget*>(t->Text6), static_cast<QWidget*>(t->Command5)})
            QVERIFY2(!hidden->isVisibleTo(t), qPrintable(hidden->objectName()));
        QCOMPARE(t->SkinLbl5->text(), QStringLiteral(" "));
        QCOMPARE(t->Text6->text(), QStringLiteral("0"));
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        m_main = nullptr;
    }
    void cleanup() { m_folder.reset(); }

    void nothingHappensWithoutAnswerSheets() {
        ProgramFolder::exec(Sheets, "INSERT INTO \"IDE\" (\"Code\") VALUES ('R1')");
        openMain();
        m_folder->platform().clear();
        click(m_main->Command2);
        QVERIFY(m_folder->platform().interactions.isEmpty());
        QVERIFY(m_main->Frame8->isVisible());
        QVERIFY(!FrmTest::instance());
    }

    void refusedLaunch_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("filtered");
        QTest::newRow("cancel") << true << QString()
                                << QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد")
                                << false;
        QTest::newRow("empty") << false << QString()
                               << QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد")
                               << false;
        QTest::newRow("unknown code")
            << false << "S9" << QStringLiteral("فردي با اين مشخصات وجود ندارد") << true;
        QTest::newRow("quote in the code")
            << false << "S1' OR '1'='1" << QStringLiteral("فردي با اين مشخصات وجود ندارد") << true;
    }
    void refusedLaunch() {
        QFETCH(bool, cancel);
        QFETCH(QString, code);
        QFETCH(QString, notice);
        QFETCH(bool, filtered);
        ProgramFolder::addSubject(QStringLiteral("S1"));
        openMain();
        m_folder->platform().clear();
        if (!cancel)
            m_folder->platform().inputAnswers.enqueue(code);
        click(m_main->Command2);

        const auto inputs = m_folder->platform().ofKind("inputBox");
        QCOMPARE(inputs.size(), 1);
        QCOMPARE(inputs.first().text, QStringLiteral(" Plese Insert Code "));
        QCOMPARE(inputs.first().title, QStringLiteral("Enter Code "));
        QCOMPARE(inputs.first().defaultName, QString());
        QCOMPARE(m_folder->platform().noticeTexts(), QStringList{notice});
        QCOMPARE(m_folder->platform().ofKind("notice").first().owner, m_main);
        QVERIFY(!m_main->Frame8->isVisible());
        QVERIFY(m_main->isVisible());
        FrmTest* t = FrmTest::instance();
        QVERIFY(t);
        QVERIFY(!t->isVisible());
        QCOMPARE(t->Adodc2->isFiltered(), filtered);
        QCOMPARE(t->Adodc2->bof(), filtered);

        // The window kept hidden is read again by the next launch.
        launch(QStringLiteral("S1"), [](FrmTest* run) {
            QCOMPARE(run->Text1->text(), QStringLiteral("S1"));
            click(run->Command2);
        });
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT COUNT(*) FROM \"Answer\""),
                 QStringLiteral("1"));
    }

    // However the run ends, the main window gets a fresh hidden test window
    // in the ready state; only saving stores the last choice.
    void runEndsInReadyState_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("lastAnswer");
        QTest::addColumn<QString>("administrations");
        QTest::newRow("save and exit") << "saveExit"
                                       << "4"
                                       << "1";
        QTest::newRow("exit") << "exit"
                              << ""
                              << "0";
        QTest::newRow("close box") << "closeBox"
                                   << ""
                                   << "0";
    }
    void runEndsInReadyState() {
        QFETCH(QString, ending);
        QFETCH(QString, lastAnswer);
        QFETCH(QString, administrations);
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        openMain();
        QPointer<FrmTest> first;
        launch(QStringLiteral("S1"), [&](FrmTest* t) {
            first = t;
            QCOMPARE(t->windowTitle(), QStringLiteral("صفحه اجراي تست"));
            QVERIFY(m_main->isVisible());
            QVERIFY(!m_main->Frame8->isVisible());
            // The first launch shows the window as it was created.
            QVERIFY(t->SkinLabel3->isVisible());
            QVERIFY(t->SkinLabel4->isVisible());
            QVERIFY(!t->Frame1->isVisible());
            QVERIFY(t->Command1->isVisible());
            click(t->Command1);
            QCOMPARE(t->SkinLbl5->text(), itemText(1));
            QCOMPARE(t->Text3->text(), QStringLiteral("Mina"));
            choose(t, 5);
            click(t->CmdNext);
            choose(t, 4);
            if (ending == QLatin1String("saveExit"))
                click(t->Command5);
            else if (ending == QLatin1String("exit"))
                click(t->Command2);
            else
                t->close();
        });
        QVERIFY(!first);
        expectReadyState();
        QVERIFY(m_main->isVisible());
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QStringLiteral("5"));
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 2), lastAnswer);
        // Only save-and-exit makes an administration; next alone stored the sheet.
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT COUNT(*) FROM \"History\""), administrations);
    }

    void laterLaunchShowsTheSubjectBeforeStart() {
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::addSubject(QStringLiteral("S2"), QStringLiteral("Reza"));
        openMain();
        launch(QStringLiteral("S1"), [](FrmTest* t) { click(t->Command2); });
        launch(QStringLiteral("S2"), [](FrmTest* t) {
            QVERIFY(!t->SkinLabel3->isVisible());
            QVERIFY(t->SkinLabel4->isVisible());
            QVERIFY(t->Frame1->isVisible());
            QCOMPARE(t->Text1->text(), QStringLiteral("S2"));
            QCOMPARE(t->Text3->text(), QStringLiteral("Reza"));
            QVERIFY(t->Command1->isVisible());
            QVERIFY(!t->CmdNext->isVisible());
            QVERIFY(!t->Frame2->isVisible());
            click(t->Command1);
            QCOMPARE(t->SkinLbl5->text(), itemText(1));
            QCOMPARE(t->Text6->text(), QStringLiteral("1"));
            QVERIFY(!t->SkinLabel4->isVisible());
            choose(t, 1);
            click(t->Command5);
        });
        expectReadyState();
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S2"), 1), QStringLiteral("1"));
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QString());
    }

    void sheetWithoutRegistrationRow() {
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::exec(Sheets,
                            "INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES ('X1', 'B')");
        openMain();
        launch(QStringLiteral("X1"), [](FrmTest* t) {
            click(t->Command1);
            for (QLineEdit* box : {t->Text1, t->Text3, t->Text4, t->Text10, t->Text5, t->Text11,
                                   t->Text7, t->Text8, t->Text9}) {
                QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
                // Nothing typed here could be stored: there is no row for it.
                QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
            }
            QTest::keyClicks(t->Text3, "Typed");
            QVERIFY(t->Text3->text().isEmpty());
            choose(t, 3);
            click(t->Command5);
        });
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("X1"), 1), QStringLiteral("3"));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\", \"FName\" FROM \"IDE\""),
                 (QList<QStringList>{{"S1", "Mina"}}));
        QVERIFY(m_folder->platform().messageTexts().isEmpty());
    }

    void codeWithApostrophe() {
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::addSubject(QStringLiteral("O'Hara"), QStringLiteral("Sara"));
        openMain();
        launch(QStringLiteral("O'Hara"), [](FrmTest* t) {
            QCOMPARE(t->Text1->text(), QStringLiteral("O'Hara"));
            QCOMPARE(t->Text3->text(), QStringLiteral("Sara"));
            click(t->Command1);
            choose(t, 2);
            click(t->Command5);
        });
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("O'Hara"), 1), QStringLiteral("2"));
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QString());
        QVERIFY(m_folder->platform().messageTexts().isEmpty());
    }

    void retestOpensTheSameSheet() {
        ProgramFolder::addSubject(QStringLiteral("S1"));
        ProgramFolder::addSubject(QStringLiteral("S2"));
        openMain();
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            choose(t, 5);
            click(t->CmdNext);
            choose(t, 4);
            click(t->Command5);
        });
        // Kept in the history, the sheet is offered as a new administration
        // too; the operator's default goes on with it.
        m_folder->platform().clear();
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            QCOMPARE(checkedValue(t), 5);
            click(t->CmdNext);
            QCOMPARE(checkedValue(t), 4);
            choose(t, 1);
            click(t->CmdNext);
            QCOMPARE(checkedValue(t), 0);
            click(t->Command5);
        });
        QCOMPARE(m_folder->platform().ofKind("messageBox").size(), 1);
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QStringLiteral("5"));
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 2), QStringLiteral("1"));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\" FROM \"Answer\" ORDER BY \"ID\""),
                 (QList<QStringList>{{"S1"}, {"S2"}}));
    }

    // A retest keeps the earlier administration as it was, beside the new
    // one, each with the date and time it was stored; the sheet is the latest.
    void retestKeepsEveryAdministration() {
        ProgramFolder::addSubject(QStringLiteral("S1"));
        ProgramFolder::addSubject(QStringLiteral("S2"));
        openMain();
        const QDateTime before = QDateTime::currentDateTime();
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            for (int item = 1; item <= 14; ++item) {
                choose(t, 5);
                click(t->CmdNext);
            }
            click(t->Command5);
        });
        launch(QStringLiteral("S2"), [](FrmTest* t) {
            click(t->Command1);
            choose(t, 3);
            click(t->Command5);
        });
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            choose(t, 1);
            click(t->CmdNext);
            click(t->CmdNext);
            choose(t, 2);
            click(t->Command5);
        });
        const QDateTime after = QDateTime::currentDateTime();

        QStringList first(14, QStringLiteral("5"));
        QStringList second = first;
        second[0] = QStringLiteral("1");
        second[2] = QStringLiteral("2");
        QList<QStringList> kept =
            ProgramFolder::rows(Sheets, "SELECT * FROM \"History\" WHERE \"Code\" = 'S1' "
                                        "ORDER BY \"ID\"");
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept.at(0).mid(4), first);
        QCOMPARE(kept.at(1).mid(4), second);
        for (const QStringList& row : kept) {
            QCOMPARE(row.at(1), QStringLiteral("S1"));
            QVERIFY2(row.at(2) == SolarDate(before.date(), 0) ||
                         row.at(2) == SolarDate(after.date(), 0),
                     qPrintable(row.at(2)));
            QStringList times;
            for (QDateTime t = before.addSecs(-1); t <= after.addSecs(1); t = t.addSecs(1))
                times.append(ClockTime(t.time()));
            QVERIFY2(times.contains(row.at(3)), qPrintable(row.at(3)));
        }
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\", \"3\" FROM \"History\" "
                                             "ORDER BY \"ID\""),
                 (QList<QStringList>{{"S1", "5"}, {"S2", ""}, {"S1", "2"}}));
        // The sheet stays the subject's current one: the latest answers.
        for (int item = 1; item <= 14; ++item)
            QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), item), second.at(item - 1));
    }

    // The answers of every item on the sheet the window shows, read through
    // the window as the subject sees them (the chosen option of each item).
    static QStringList shownSheet(FrmTest* t) {
        QStringList shown;
        for (int item = 1; item <= ItemCount; ++item) {
            t->Text6->setText(QString::number(item));
            const int value = checkedValue(t);
            shown.append(value ? QString::number(value) : QString());
        }
        t->Text6->setText(QStringLiteral("1"));
        return shown;
    }

    // The launch asks only when the subject's sheet was completed and kept:
    // a sheet never answered and an interrupted sheet go on unasked.
    void launchOffersANewAdministrationOnlyForAKeptSheet_data() {
        QTest::addColumn<QStringList>("sheet"); // the stored sheet
        QTest::addColumn<QStringList>("kept");  // the newest administration; empty: none
        QTest::addColumn<bool>("asked");        // whether the launch asks
        QTest::addColumn<int>("answer");        // the operator's answer when asked
        QTest::addColumn<QStringList>("shown"); // the sheet the window shows; empty: no run
        const QStringList none(ItemCount, QString());
        const QStringList full = {"5", "4", "3", "2", "1", "5", "4",
                                  "3", "2", "1", "5", "4", "3", "2"};
        QStringList partial = none;
        partial[0] = "4";
        partial[1] = "2";
        QStringList changed = full;
        changed[6] = "1";
        QTest::newRow("no sheet") << none << QStringList() << false << 0 << none;
        QTest::newRow("interrupted, nothing kept")
            << partial << QStringList() << false << 0 << partial;
        QTest::newRow("interrupted after a kept one") << changed << full << false << 0 << changed;
        QTest::newRow("kept, go on") << full << full << true << int(QMessageBox::No) << full;
        QTest::newRow("kept, new administration")
            << full << full << true << int(QMessageBox::Yes) << none;
        QTest::newRow("kept, cancel")
            << full << full << true << int(QMessageBox::Cancel) << QStringList();
        // An empty sheet saved and kept has nothing to give again.
        QTest::newRow("empty sheet kept") << none << none << false << 0 << none;
    }
    void launchOffersANewAdministrationOnlyForAKeptSheet() {
        QFETCH(QStringList, sheet);
        QFETCH(QStringList, kept);
        QFETCH(bool, asked);
        QFETCH(int, answer);
        QFETCH(QStringList, shown);
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), sheet);
        if (!kept.isEmpty())
            ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", kept);
        openMain();
        m_folder->platform().clear();
        if (asked)
            m_folder->platform().messageAnswers.enqueue(QMessageBox::StandardButton(answer));
        if (shown.isEmpty()) {
            m_folder->platform().inputAnswers.enqueue(QStringLiteral("S1"));
            click(m_main->Command2);
            QVERIFY(!FrmTest::instance() || !FrmTest::instance()->isVisible());
        } else {
            launch(QStringLiteral("S1"), [&](FrmTest* t) {
                click(t->Command1);
                QCOMPARE(shownSheet(t), shown);
                click(t->Command2);
            });
        }
        const auto boxes = m_folder->platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(boxes.first().owner, m_main);
            QCOMPARE(boxes.first().icon, QMessageBox::Question);
            QCOMPARE(boxes.first().buttons,
                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QVERIFY(boxes.first().text.contains(QStringLiteral("سوابق آزمون")));
        }
        // Launching and leaving changes nothing stored, whatever was chosen.
        for (int item = 1; item <= ItemCount; ++item)
            QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), item), sheet.at(item - 1));
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT COUNT(*) FROM \"History\""),
                 QString::number(kept.isEmpty() ? 0 : 1));
    }

    // A new administration replaces the kept sheet only with its first stored
    // answer: left before that, the subject keeps the sheet of before (and is
    // asked again next time); left after it, the new sheet is an interrupted
    // one that goes on unasked; saved, it is kept beside the earlier one.
    void aNewAdministrationNeverLeavesTheSubjectWithoutASheet() {
        const QStringList earlier(ItemCount, QStringLiteral("5"));
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), earlier);
        ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", earlier);
        openMain();
        const auto storedSheet = [] {
            QStringList answers;
            for (int item = 1; item <= ItemCount; ++item)
                answers.append(ProgramFolder::storedAnswer(QStringLiteral("S1"), item));
            return answers;
        };
        const auto administrations = [] {
            return ProgramFolder::rows(Sheets, "SELECT \"1\", \"2\", \"3\", \"14\" FROM "
                                               "\"History\" ORDER BY \"ID\"");
        };

        // Through the items without an answer, then away: nothing changes.
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            QVERIFY(t->startsNewAdministration());
            click(t->CmdNext);
            click(t->CmdNext);
            QCOMPARE(checkedValue(t), 0);
            t->close();
        });
        QCOMPARE(storedSheet(), earlier);
        QCOMPARE(administrations(), (QList<QStringList>{{"5", "5", "5", "5"}}));

        // Asked again; the first answer stores the whole empty sheet with it.
        m_folder->platform().clear();
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            choose(t, 2);
            click(t->CmdNext);
            QVERIFY(!t->startsNewAdministration());
            choose(t, 3);
            click(t->Command2);
        });
        QCOMPARE(m_folder->platform().ofKind("messageBox").size(), 1);
        QStringList begun(ItemCount, QString());
        begun[0] = QStringLiteral("2");
        QCOMPARE(storedSheet(), begun);
        QCOMPARE(administrations(), (QList<QStringList>{{"5", "5", "5", "5"}}));

        // Interrupted: it goes on unasked, and saving keeps it beside the first.
        m_folder->platform().clear();
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            QCOMPARE(checkedValue(t), 2);
            click(t->CmdNext);
            QCOMPARE(checkedValue(t), 0);
            choose(t, 1);
            click(t->Command5);
        });
        QVERIFY(m_folder->platform().ofKind("messageBox").isEmpty());
        begun[1] = QStringLiteral("1");
        QCOMPARE(storedSheet(), begun);
        QCOMPARE(administrations(), (QList<QStringList>{{"5", "5", "5", "5"}, {"2", "1", "", ""}}));
    }

    // Save-and-exit of a new administration with no answer stores the
    // registration and nothing else: no empty administration, no lost sheet.
    void savingANewAdministrationWithoutAnswersKeepsTheSheet() {
        const QStringList earlier(ItemCount, QStringLiteral("4"));
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), earlier);
        ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", earlier);
        openMain();
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [](FrmTest* t) {
            click(t->Command1);
            t->Text3->setText(QStringLiteral("Maryam"));
            click(t->Command5);
            QVERIFY(!t->isVisible());
        });
        for (int item = 1; item <= ItemCount; ++item)
            QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), item), QStringLiteral("4"));
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT \"FName\" FROM \"IDE\""),
                 QStringLiteral("Maryam"));
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT COUNT(*) FROM \"History\""),
                 QStringLiteral("1"));
    }

    // The sheet changed after the launch (another workstation stored answers
    // on it): the new administration does not overwrite them, says so and
    // leaves the run open.
    void aNewAdministrationDoesNotOverwriteASheetChangedMeanwhile() {
        const QStringList earlier(ItemCount, QStringLiteral("3"));
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), earlier);
        ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", earlier);
        openMain();
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [this](FrmTest* t) {
            click(t->Command1);
            ProgramFolder::exec(Sheets, "UPDATE \"Answer\" SET \"9\" = '1'");
            choose(t, 5);
            m_folder->platform().clear();
            click(t->CmdNext);
            QCOMPARE(m_folder->platform().messageTexts().size(), 1);
            QVERIFY(t->isVisible());
            QCOMPARE(t->Text6->text(), QStringLiteral("1"));
            click(t->Command5);
            QCOMPARE(m_folder->platform().messageTexts().size(), 2);
            QVERIFY(t->isVisible());
            click(t->Command2);
        });
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QStringLiteral("3"));
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 9), QStringLiteral("1"));
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT COUNT(*) FROM \"History\""),
                 QStringLiteral("1"));
    }

    // The sheet became someone else's after the launch (a restore at another
    // workstation gave its row to another subject): the new administration's
    // first answer reaches nobody's sheet, stays on the screen, and the
    // operator hears why.
    void aNewAdministrationTakesNothingFromASheetReplacedElsewhere() {
        const QStringList earlier(ItemCount, QStringLiteral("3"));
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), earlier);
        ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", earlier);
        openMain();
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [this](FrmTest* t) {
            click(t->Command1);
            for (const char* table : {"IDE", "Answer"})
                ProgramFolder::exec(
                    Sheets,
                    QStringLiteral("UPDATE \"%1\" SET \"Code\" = 'S4'").arg(QLatin1String(table)));
            ProgramFolder::exec(Sheets, "UPDATE \"Answer\" SET \"1\" = '1'");
            choose(t, 5);
            m_folder->platform().clear();
            click(t->CmdNext);
            QCOMPARE(m_folder->platform().messageTexts().size(), 1);
            const QString message = m_folder->platform().messageTexts().first();
            QVERIFY2(message.contains(QStringLiteral("جايگزين شده است")), qPrintable(message));
            QVERIFY(t->isVisible());
            QCOMPARE(t->Text6->text(), QStringLiteral("1"));
            QCOMPARE(checkedValue(t), 5);
            QVERIFY(t->startsNewAdministration());
            click(t->Command2);
        });
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\", \"1\", \"2\" FROM \"Answer\""),
                 (QList<QStringList>{{"S4", "1", "3"}}));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\", \"1\" FROM \"History\""),
                 (QList<QStringList>{{"S1", "3"}}));
    }

    // Another workstation tested the subject to the end and kept it after this
    // launch: the new administration goes on over that sheet (which the
    // history holds), all three administrations are kept, and the operator is
    // told at the end.
    void aNewAdministrationBesideOneKeptElsewhereKeepsBoth() {
        const QStringList earlier(ItemCount, QStringLiteral("3"));
        const QStringList elsewhere(ItemCount, QStringLiteral("1"));
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::setAnswers(QStringLiteral("S1"), earlier);
        ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/05", "10:15", earlier);
        openMain();
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        launch(QStringLiteral("S1"), [this, &elsewhere](FrmTest* t) {
            click(t->Command1);
            ProgramFolder::setAnswers(QStringLiteral("S1"), elsewhere);
            ProgramFolder::addAdministration(QStringLiteral("S1"), "1403/01/06", "09:00",
                                             elsewhere);
            choose(t, 2);
            m_folder->platform().clear();
            click(t->CmdNext);
            QVERIFY(m_folder->platform().messageTexts().isEmpty()); // the subject goes on
            QCOMPARE(t->Text6->text(), QStringLiteral("2"));
            choose(t, 4);
            click(t->Command5);
            QVERIFY(!t->isVisible());
        });
        const QStringList messages = m_folder->platform().messageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QStringLiteral("ايستگاه ديگري")),
                 qPrintable(messages.first()));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"1\", \"2\", \"3\" FROM \"Answer\""),
                 (QList<QStringList>{{"2", "4", ""}}));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"1\", \"2\", \"3\" FROM \"History\" "
                                             "ORDER BY \"ID\""),
                 (QList<QStringList>{{"3", "3", "3"}, {"1", "1", "1"}, {"2", "4", ""}}));
    }

    // The administration belongs to the save: when it cannot be kept, neither
    // the sheet nor the registration row changes, the operator is told and
    // the run stays open; the next save-and-exit stores all of it.
    void anAdministrationThatCannotBeKeptStoresNothing() {
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"));
        ProgramFolder::refuseInserts(QStringLiteral("History"),
                                     QStringLiteral("no room for history"));
        openMain();
        launch(QStringLiteral("S1"), [this](FrmTest* t) {
            click(t->Command1);
            choose(t, 4);
            t->Text3->setText(QStringLiteral("Maryam"));
            click(t->Command5);
            QVERIFY(t->isVisible());
            QCOMPARE(m_folder->platform().messageTexts().size(), 1);
            QVERIFY2(m_folder->platform().messageTexts().first().contains("no room for history"),
                     qPrintable(m_folder->platform().messageTexts().first()));
            QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QString());
            QCOMPARE(ProgramFolder::value(Sheets, "SELECT \"FName\" FROM \"IDE\""),
                     QStringLiteral("Mina"));
            QCOMPARE(t->Text3->text(), QStringLiteral("Maryam"));
            ProgramFolder::allowInserts(QStringLiteral("History"));
            click(t->Command5);
            QVERIFY(!t->isVisible());
        });
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("S1"), 1), QStringLiteral("4"));
        QCOMPARE(ProgramFolder::value(Sheets, "SELECT \"FName\" FROM \"IDE\""),
                 QStringLiteral("Maryam"));
        QCOMPARE(ProgramFolder::rows(Sheets, "SELECT \"Code\", \"1\", \"2\" FROM \"History\""),
                 (QList<QStringList>{{"S1", "4", ""}}));
    }
};

VELMORA_TEST_MAIN(TestTestLaunch)
#include "tst_testlaunch.moc"
