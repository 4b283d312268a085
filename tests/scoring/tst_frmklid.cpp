#include "app/Frm1.h"
#include "data/DataControl.h"
#include "scoring/FrmkLID.h"
#include "scoring/HistoryWindow.h"
#include "scoring/Scales.h"
#include "support/ProgramFolder.h"
#include "ui/Skins.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString AnswerDb = QStringLiteral("DBM/DB2.mdb");
const QString SettingsDb = QStringLiteral("DBM/DB.mdb");

QStringList scores(const FrmkLID* w) {
    QStringList texts;
    for (const Scale& scale : scales())
        texts.append(w->Text3[scale.scoreBox]->text());
    return texts;
}

} // namespace

// The scoring window: search by code, unanswered items, the seven scores.
class TestFrmkLID : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    void search(FrmkLID* w, const QString& code) {
        platform().inputAnswers.enqueue(code);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
    }

    // Keeps a picture of the window when VELMORA_PICTURES names a folder.
    static void keepPicture(QWidget* window, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            window->grab().save(folder + "/" + name);
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void asksForTheCode() {
        ProgramFolder::addSubject(QStringLiteral("1001"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1001"));
        const auto asked = platform().ofKind(QStringLiteral("inputBox"));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().title,
                 QStringLiteral(" کد آزمودني ") + QStringLiteral("را وارد کنيد"));
        QCOMPARE(asked.first().text, QStringLiteral(" Enter Number "));
        QCOMPARE(asked.first().defaultName, QString());
        QCOMPARE(asked.first().owner, w);
    }

    void neverTestedSubjectListsEveryItem() {
        ProgramFolder::addSubject(QStringLiteral("1001"));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1001"));

        const auto boxes = platform().ofKind(QStringLiteral("messageBox"));
        QCOMPARE(boxes.size(), 1);
        QString list;
        for (int i = 1; i <= 14; ++i)
            list += QStringLiteral(" %1  ").arg(i);
        QCOMPARE(list.left(8), QStringLiteral(" 1   2  "));
        QCOMPARE(boxes.first().text, QStringLiteral("شما به سوالات زير پاسخ نداده ايد") +
                                         QStringLiteral("\r\n\r\n") + list);
        QCOMPARE(boxes.first().title, QStringLiteral("خطا"));
        QCOMPARE(boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(boxes.first().owner, w);
        QCOMPARE(scores(w), QStringList(7, QStringLiteral("0")));
        QCOMPARE(w->Text5->text(), QStringLiteral("1001"));
        QVERIFY(platform().noticeTexts().isEmpty());
    }

    void fullSheets_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all 5") << "5" << QStringList{"10", "15", "10", "10", "10", "10", "5"};
        QTest::newRow("all 1") << "1" << QStringList{"2", "3", "2", "2", "2", "2", "1"};
    }
    void fullSheets() {
        QFETCH(QString, answer);
        ProgramFolder::addSubject(QStringLiteral("A-7"));
        ProgramFolder::setAnswers(QStringLiteral("A-7"), QStringList(14, answer));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("A-7"));
        QTEST(scores(w), "expected");
        QVERIFY(platform().ofKind(QStringLiteral("messageBox")).isEmpty());
    }

    void onlyItemNineMissing() {
        ProgramFolder::addSubject(QStringLiteral("9"));
        QStringList answers(14, QStringLiteral("2"));
        answers[2] = QStringLiteral("4");
        answers[3] = QStringLiteral("5");
        answers[8] = QString();
        ProgramFolder::setAnswers(QStringLiteral("9"), answers);
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("9"));
        QCOMPARE(platform().messageTexts(),
                 QStringList{QStringLiteral("شما به سوالات زير پاسخ نداده ايد") +
                             QStringLiteral("\r\n\r\n 9  ")});
        QCOMPARE(w->Text3[1]->text(), QStringLiteral("9"));
        QCOMPARE(scores(w), (QStringList{"4", "9", "4", "4", "4", "4", "2"}));
    }

    void scoresFollowTheUnansweredList() {
        // The list comes before the scores: while it is open, the previous
        // scores still stand.
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* w = FrmkLID::showWindow();
        QStringList during;
        platform().onModal = [&](const ScriptedPlatform::Interaction&) { during = scores(w); };
        search(w, QStringLiteral("1"));
        QCOMPARE(during, QStringList(7, QString()));
        QCOMPARE(scores(w), QStringList(7, QStringLiteral("0")));
    }

    void showsTheSearchedSubject() {
        ProgramFolder::addSubject(QStringLiteral("11"), QStringLiteral("Ann"),
                                  QStringLiteral("Smith"), QStringLiteral("B"));
        ProgramFolder::addSubject(QStringLiteral("22"), QStringLiteral("Bob"),
                                  QStringLiteral("Jones"), QStringLiteral("D"));
        ProgramFolder::setAnswers(QStringLiteral("11"), QStringList(14, QStringLiteral("5")));
        ProgramFolder::setAnswers(QStringLiteral("22"), QStringList(14, QStringLiteral("1")));
        FrmkLID* w = FrmkLID::showWindow();

        search(w, QStringLiteral("22"));
        QCOMPARE(w->Text15->text(), QStringLiteral("22"));
        QCOMPARE(w->Text3[3]->text(), QStringLiteral("Bob"));
        QCOMPARE(w->Text12->text(), QStringLiteral("Jones"));
        QCOMPARE(w->Text6->text(), QStringLiteral("30"));
        QCOMPARE(w->Text8->text(), QStringLiteral("1393/08/11"));
        QCOMPARE(w->Text9->text(), QStringLiteral("10:00:00"));
        QCOMPARE(scores(w), (QStringList{"2", "3", "2", "2", "2", "2", "1"}));

        // Another existing code replaces every score and the whole frame.
        search(w, QStringLiteral("11"));
        QCOMPARE(w->Text15->text(), QStringLiteral("11"));
        QCOMPARE(w->Text3[3]->text(), QStringLiteral("Ann"));
        QCOMPARE(w->Text12->text(), QStringLiteral("Smith"));
        QCOMPARE(scores(w), (QStringList{"10", "15", "10", "10", "10", "10", "5"}));
        QCOMPARE(w->Text5->text(), QStringLiteral("11"));
    }

    void failedSearchKeepsTheEarlierResult_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("sheetFilterMoved");
        QTest::newRow("unknown code")
            << "404" << QStringLiteral("فردي با اين مشخصات وجود ندارد") << true;
        QTest::newRow("empty input")
            << "" << QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد") << false;
        QTest::newRow("typed with a blank")
            << " 11" << QStringLiteral("فردي با اين مشخصات وجود ندارد") << true;
    }
    void failedSearchKeepsTheEarlierResult() {
        QFETCH(QString, code);
        QFETCH(bool, sheetFilterMoved);
        ProgramFolder::addSubject(QStringLiteral("11"), QStringLiteral("Ann"));
        ProgramFolder::setAnswers(QStringLiteral("11"), QStringList(14, QStringLiteral("4")));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("11"));
        const QStringList before = scores(w);
        platform().clear();

        search(w, code);
        const auto notices = platform().ofKind(QStringLiteral("notice"));
        QCOMPARE(notices.size(), 1);
        QTEST(notices.first().text, "notice");
        QCOMPARE(notices.first().interval, 1000);
        QCOMPARE(notices.first().owner, w);
        QVERIFY(platform().ofKind(QStringLiteral("messageBox")).isEmpty());
        QCOMPARE(scores(w), before);
        QCOMPARE(w->Text5->text(), QStringLiteral("11"));
        QCOMPARE(w->Text3[3]->text(), QStringLiteral("Ann"));
        // The sheet filter already points at the code that was not found.
        QCOMPARE(w->Txt3[1]->text().isEmpty(), sheetFilterMoved);
    }

    void codeWithAnApostropheIsJustText() {
        ProgramFolder::addSubject(QStringLiteral("O'Neil"), QStringLiteral("Pat"));
        ProgramFolder::setAnswers(QStringLiteral("O'Neil"), QStringList(14, QStringLiteral("3")));
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("O'Neil"));
        QCOMPARE(w->Text3[3]->text(), QStringLiteral("Pat"));
        QCOMPARE(scores(w), (QStringList{"6", "9", "6", "6", "6", "6", "3"}));
        QVERIFY(platform().messageTexts().isEmpty());
    }

    void opensWithoutASearch() {
        ProgramFolder::addSubject(QStringLiteral("first"), QStringLiteral("Ann"));
        ProgramFolder::addSubject(QStringLiteral("second"), QStringLiteral("Bob"));
        ProgramFolder::setAnswers(QStringLiteral("first"), {QStringLiteral("5")});
        FrmkLID* w = FrmkLID::showWindow();
        QCOMPARE(w->objectName(), QStringLiteral("FrmkLID"));
        QCOMPARE(w->windowTitle(), QStringLiteral("کليد گذاري"));
        QCOMPARE(w->Text15->text(), QStringLiteral("first"));
        QCOMPARE(w->Text3[3]->text(), QStringLiteral("Ann"));
        QCOMPARE(w->Txt3[1]->text(), QStringLiteral("5"));
        QCOMPARE(scores(w), QStringList(7, QString()));
        QCOMPARE(w->Text5->text(), QString());
        QCOMPARE(w->pos(), QPoint(156, 51));
        for (const Scale& scale : scales()) {
            QLineEdit* box =
                w->findChild<QLineEdit*>(QStringLiteral("Text3(%1)").arg(scale.scoreBox));
            QVERIFY(box);
            QVERIFY(box->isReadOnly());
        }
        // The copy of the answer sheet is never seen.
        for (int item = 1; item <= 14; ++item) {
            QLineEdit* box = w->findChild<QLineEdit*>(QStringLiteral("Txt3(%1)").arg(item));
            QVERIFY(box);
            QVERIFY(!w->Frame3->rect().intersects(box->geometry()));
        }
    }

    void holdsTheClinicAndTheTheme() {
        ProgramFolder::exec(SettingsDb, "UPDATE Theme SET TH = '10', Name = ?, Adress = ?",
                            {QStringLiteral("Hope Clinic"), QStringLiteral("12 Park Road")});
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* w = FrmkLID::showWindow();
        QCOMPARE(w->Text13->text(), QStringLiteral("Hope Clinic"));
        QCOMPARE(w->Text16->text(), QStringLiteral("12 Park Road"));
        QVERIFY(!w->Text13->isVisible());
        QCOMPARE(w->Skin1->loadedFile(), QStringLiteral("winaqua.skn"));
    }

    void scoringStoresNothing() {
        ProgramFolder::addSubject(QStringLiteral("1"), QStringLiteral("Ann"));
        ProgramFolder::setAnswers(QStringLiteral("1"), {QStringLiteral("5"), QStringLiteral("4")});
        const auto sheets =
            ProgramFolder::rows(AnswerDb, "SELECT * FROM \"Answer\" ORDER BY \"ID\"");
        const auto subjects =
            ProgramFolder::rows(AnswerDb, "SELECT * FROM \"IDE\" ORDER BY \"ID\"");
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("1"));
        w->Text3[3]->setText(QStringLiteral("Changed"));
        search(w, QStringLiteral("1"));
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(ProgramFolder::rows(AnswerDb, "SELECT * FROM \"Answer\" ORDER BY \"ID\""), sheets);
        QCOMPARE(ProgramFolder::rows(AnswerDb, "SELECT * FROM \"IDE\" ORDER BY \"ID\""), subjects);
    }

    void closingShowsTheMainWindowAgain_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("exit button") << "button";
        QTest::newRow("close box") << "frame";
        QTest::newRow("escape key") << "escape";
    }
    void closingShowsTheMainWindowAgain() {
        QFETCH(QString, way);
        ProgramFolder::addSubject(QStringLiteral("1"));
        Frm1* main = Frm1::showMain();
        // The load steps set the unload flag to "2": a flag that still reads
        // otherwise afterwards shows they did not run again.
        main->Text3->setText(QStringLiteral("3"));
        QTest::mouseClick(main->Command3, Qt::LeftButton);
        QVERIFY(!main->isVisible());
        QPointer<FrmkLID> w;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* scoring = qobject_cast<FrmkLID*>(top))
                w = scoring;
        QVERIFY(w);
        QVERIFY(w->isVisible());

        if (way == "frame")
            w->close();
        else if (way == "button")
            QTest::mouseClick(w->Command4, Qt::LeftButton);
        else
            pressKey(w, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w);
        QCOMPARE(Frm1::instance(), main);
        QVERIFY(main->isVisible());
        QCOMPARE(main->Text3->text(), QStringLiteral("3"));
    }

    void eachOpeningStartsAfresh() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        FrmkLID* first = FrmkLID::showWindow();
        search(first, QStringLiteral("1"));
        first->close();
        FrmkLID* second = FrmkLID::showWindow();
        QCOMPARE(second->Text5->text(), QString());
        QCOMPARE(scores(second), QStringList(7, QString()));
        QVERIFY(!second->historyButton->isVisible());
    }

    // The searched subject's administrations, newest first, each with its
    // date, time and the seven scores of its sheet; another subject's are not
    // among them.
    void pastResultsNewestFirst() {
        ProgramFolder::addSubject(QStringLiteral("7"));
        ProgramFolder::addSubject(QStringLiteral("8"));
        const QStringList someUnanswered = {"5", "4", "",  "2", "1", "",  "3",
                                            "3", "",  "4", "5", "",  "1", "2"};
        ProgramFolder::addAdministration("7", "1402/01/05", "09:00:00",
                                         QStringList(14, QStringLiteral("5")));
        ProgramFolder::addAdministration("8", "1402/03/01", "12:00:00",
                                         QStringList(14, QStringLiteral("3")));
        ProgramFolder::addAdministration("7", "1403/02/06", "10:30:00",
                                         QStringList(14, QStringLiteral("1")));
        ProgramFolder::addAdministration("7", "1403/02/06", "16:45:10", someUnanswered);
        ProgramFolder::setAnswers("7", someUnanswered);
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("7"));
        QVERIFY(w->historyButton->isVisible());
        QCOMPARE(w->historyButton->text(), QStringLiteral("سوابق آزمون"));

        QList<QStringList> shown;
        QStringList captions;
        whenModal([&](QWidget* modal) {
            auto* history = qobject_cast<HistoryWindow*>(modal);
            QVERIFY(history);
            QAbstractItemModel* grid = history->historyGrid->model();
            for (int c = 0; c < grid->columnCount(); ++c)
                captions.append(grid->headerData(c, Qt::Horizontal).toString());
            for (int r = 0; r < grid->rowCount(); ++r) {
                QStringList row;
                for (int c = 0; c < grid->columnCount(); ++c)
                    row.append(grid->index(r, c).data().toString());
                shown.append(row);
            }
            keepPicture(history, QStringLiteral("scoring-history-window.png"));
            QTest::mouseClick(history->closeButton, Qt::LeftButton);
        });
        QTest::mouseClick(w->historyButton, Qt::LeftButton);
        QCOMPARE(captions, (QStringList{"تاريخ", "ساعت", "پرخاشگرانه", "ساده بيني", "برنامه ريزي",
                                        "برخوردعاطفي", "ريسک پذيري", "منفي نگري", "استعداد ويژه"}));
        QCOMPARE(shown, (QList<QStringList>{
                            {"1403/02/06", "16:45:10", "9", "2", "1", "6", "4", "3", "5"},
                            {"1403/02/06", "10:30:00", "2", "3", "2", "2", "2", "2", "1"},
                            {"1402/01/05", "09:00:00", "10", "15", "10", "10", "10", "10", "5"},
                        }));
        // The newest administration is the sheet the window scored.
        QCOMPARE(scores(w), shown.first().mid(2));
        QVERIFY(w->isVisible());
    }

    // The button is there only while the frame shows a subject with
    // administrations kept: a subject with none shows nothing new, and a
    // failed search leaves the earlier subject in place, button and all.
    void pastResultsFollowTheSearchedSubject() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        ProgramFolder::addSubject(QStringLiteral("2"));
        ProgramFolder::addAdministration("2", "1403/01/01", "08:00:00",
                                         QStringList(14, QStringLiteral("4")));
        FrmkLID* w = FrmkLID::showWindow();
        QVERIFY(!w->historyButton->isVisible());
        search(w, QStringLiteral("1"));
        QVERIFY(!w->historyButton->isVisible());
        search(w, QStringLiteral("2"));
        QVERIFY(w->historyButton->isVisible());
        search(w, QStringLiteral("nobody"));
        QVERIFY(w->historyButton->isVisible());
        search(w, QStringLiteral("1"));
        QVERIFY(!w->historyButton->isVisible());
    }

    // The button stands where the window has room: inside the window and
    // clear of every control of the scoring window.
    void pastResultsButtonCoversNothing() {
        ProgramFolder::addSubject(QStringLiteral("2"));
        ProgramFolder::addAdministration("2", "1403/01/01", "08:00:00", {});
        FrmkLID* w = FrmkLID::showWindow();
        search(w, QStringLiteral("2"));
        const QRect button = w->historyButton->geometry();
        QVERIFY(w->rect().contains(button));
        for (QWidget* child : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child == w->historyButton || !child->isVisible())
                continue;
            QVERIFY2(!child->geometry().intersects(button), qPrintable(child->objectName()));
        }
        keepPicture(w, QStringLiteral("scoring-history.png"));
    }
};

VELMORA_TEST_MAIN(TestFrmkLID)
#include "tst_frmklid.moc"
