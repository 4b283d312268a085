#include "app/Frm1.h"
#include "calendar/SolarCalendar.h"
#include "data/Database.h"
#include "registry/Registration.h"
#include "support/ProgramFolder.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString SubjectDb = QStringLiteral("DBM/DB2.mdb");

const QStringList MissingNotices = {QStringLiteral("کد آزمودني را وارد کنيد"),
                                    QStringLiteral("نام آزمودني را وارد کنيد"),
                                    QStringLiteral("نام خانوادگي آزمودني را وارد کنيد"),
                                    QStringLiteral("جنسيت آزمودني را مشخص کنيد"),
                                    QStringLiteral("سن آزمودني را وارد کنيد"),
                                    QStringLiteral("وضعيت تاهل آزمودني را مشخص کنيد"),
                                    QStringLiteral("گروه را مشخص کنيد"),
                                    QStringLiteral("ميزان تحصيلات آزمودني را وارد کنيد")};
const QString DuplicateNotice = QStringLiteral("فردديگري با اين کد ثبت شده");
const QString DigitsNotice = QStringLiteral("شما بايد عدد وارد كنيد");
const QString Single = QStringLiteral("مجرد");
const QString Married = QStringLiteral("متأهل");
const QString Man = QStringLiteral("مرد");
const QString Woman = QStringLiteral("زن");

// Types text the way the keyboard would, one key per character.
void type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Chooses an item of a drop-down list with the arrow keys.
void choose(QComboBox* list, const QString& item) {
    const int wanted = list->findText(item);
    QVERIFY2(wanted >= 0, qPrintable(item));
    list->setFocus();
    while (list->currentIndex() < wanted)
        QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > wanted)
        QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(list->currentText(), item);
}

struct Subject {
    QString code = QStringLiteral("S-1");
    QString firstName = QStringLiteral("Sara");
    QString lastName = QStringLiteral("Karimi");
    QString gender = Woman;
    QString age = QStringLiteral("34");
    QString marital = Married;
    QString group = QStringLiteral("B");
    QString education = QStringLiteral("BSc");
};

void fillTexts(Frm1* w, const Subject& s) {
    type(w->Frame10->Text11, s.code);
    type(w->Frame10->Text6, s.firstName);
    type(w->Frame10->Text4, s.lastName);
    type(w->Frame10->Text5, s.age);
    type(w->Frame10->Text7, s.education);
}

void fill(Frm1* w, const Subject& s) {
    fillTexts(w, s);
    choose(w->Frame10->Combo2, s.gender);
    choose(w->Frame10->Combo1, s.marital);
    choose(w->Frame10->Combo3, s.group);
}

int count(const QString& table, const QString& code) {
    return ProgramFolder::value(
               SubjectDb,
               QStringLiteral("SELECT COUNT(*) FROM \"%1\" WHERE \"Code\" = ?").arg(table), {code})
        .toInt();
}

int count(const QString& table) {
    return ProgramFolder::value(SubjectDb, QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table))
        .toInt();
}

} // namespace

class TestRegistration : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> m_folder;
    Frm1* m_main = nullptr;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    Frm1* openPanel() {
        m_main->Command1->click();
        return m_main;
    }

    void save() { QTest::mouseClick(m_main->Frame10->Command8, Qt::LeftButton); }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        m_main = Frm1::showMain();
        QApplication::setActiveWindow(m_main);
        QVERIFY(QTest::qWaitForWindowActive(m_main));
    }
    void cleanup() {
        m_main = nullptr;
        m_folder.reset();
    }

    // --- The order of the checks, without a window ---

    void firstMissing_data() {
        QTest::addColumn<QList<int>>("empty");
        QTest::addColumn<int>("expected"); // -1: nothing missing
        QTest::newRow("nothing missing") << QList<int>{} << -1;
        QTest::newRow("all missing") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 0;
        QTest::newRow("gender before age") << QList<int>{3, 4, 5, 6, 7} << 3;
        QTest::newRow("age before marital status") << QList<int>{4, 5} << 4;
        QTest::newRow("group before education") << QList<int>{6, 7} << 6;
        QTest::newRow("education last") << QList<int>{7} << 7;
    }
    void firstMissing() {
        QFETCH(QList<int>, empty);
        QFETCH(int, expected);
        Registration::FieldTexts texts;
        texts.fill(QStringLiteral("x"));
        for (int i : empty)
            texts[i].clear();
        const auto missing = Registration::firstMissing(texts);
        QCOMPARE(missing.has_value() ? static_cast<int>(*missing) : -1, expected);
        if (missing)
            QCOMPARE(Registration::missingNotice(*missing), MissingNotices.at(expected));
    }

    void blanksAreNotMissing() {
        Registration::FieldTexts texts;
        texts.fill(QStringLiteral(" "));
        QVERIFY(!Registration::firstMissing(texts).has_value());
    }

    // --- The panel ---

    void openingStartsAnEmptyRecord() {
        ProgramFolder::addSubject(QStringLiteral("OLD"), QStringLiteral("Ali"));
        delete m_main;
        m_main = Frm1::showMain();
        QApplication::setActiveWindow(m_main);
        QVERIFY(QTest::qWaitForWindowActive(m_main));
        // The boxes show the first stored subject until a new record starts.
        QCOMPARE(m_main->Frame10->Text11->text(), QStringLiteral("OLD"));

        const QTime before = QTime::currentTime();
        openPanel();
        const QTime after = QTime::currentTime();
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(m_main->Frame10->geometry(), QRect(100, 52, 445, 193));
        for (QLineEdit* box :
             {m_main->Frame10->Text11, m_main->Frame10->Text6, m_main->Frame10->Text4,
              m_main->Frame10->Text5, m_main->Frame10->Text7, m_main->Frame10->Text15,
              m_main->Frame10->Text16, m_main->Frame10->Text17})
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        QCOMPARE(m_main->Frame10->Text8->text(), SolarDate(QDate::currentDate(), 0));
        QStringList times;
        for (QTime t = before.addMSecs(-before.msec()); t <= after; t = t.addSecs(1))
            times.append(Registration::timeText(t));
        QVERIFY2(times.contains(m_main->Frame10->Text9->text()),
                 qPrintable(m_main->Frame10->Text9->text()));
        QCOMPARE(QApplication::focusWidget(), m_main->Frame10->Text11);
        for (QComboBox* list :
             {m_main->Frame10->Combo1, m_main->Frame10->Combo2, m_main->Frame10->Combo3})
            QCOMPARE(list->currentText(), QString());
    }

    void tabOrder() {
        openPanel();
        const QStringList expected = {"Text11", "Text6",    "Text4",     "Text5",
                                      "Combo1", "Text8",    "Combo2",    "Combo3",
                                      "Text7",  "Command8", "Command10", "Text9"};
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, expected);
    }

    void labelsStandRightOfTheirFields_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("caption");
        QTest::newRow("code") << "SkinLbl"
                              << "Text11" << QStringLiteral(" :کد");
        QTest::newRow("first name") << "SkinLabel3"
                                    << "Text6" << QStringLiteral(" :نام");
        QTest::newRow("last name") << "SkinLabel21(0)"
                                   << "Text4" << QStringLiteral(" :نام خانوادگي");
        QTest::newRow("age") << "SkinLabel21(3)"
                             << "Text5" << QStringLiteral(" :سن");
        QTest::newRow("marital status") << "SkinLabel21(4)"
                                        << "Combo1" << QStringLiteral(" :تاهل");
        QTest::newRow("date") << "SkinLabel21(6)"
                              << "Text8" << QStringLiteral(" :تاريخ");
        QTest::newRow("gender") << "SkinLabel21(2)"
                                << "Combo2" << QStringLiteral(" :جنس");
        QTest::newRow("group") << "SkinLabel21(1)"
                               << "Combo3" << QStringLiteral(" :گروه");
        QTest::newRow("education") << "SkinLabel21(5)"
                                   << "Text7" << QStringLiteral(" :تحصيلات");
        QTest::newRow("time") << "SkinLabel21(7)"
                              << "Text9" << QStringLiteral(" :ساعت");
    }
    void labelsStandRightOfTheirFields() {
        QFETCH(QString, label);
        QFETCH(QString, field);
        QFETCH(QString, caption);
        openPanel();
        auto* l = m_main->Frame10->findChild<QLabel*>(label);
        auto* f = m_main->Frame10->findChild<QWidget*>(field);
        QVERIFY(l && f);
        QCOMPARE(l->text(), caption);
        QVERIFY(l->geometry().left() >= f->geometry().right());
        // Nothing of the caption is cut off, and it stays inside the panel.
        QVERIFY(l->fontMetrics().horizontalAdvance(caption) <= l->width());
        QVERIFY(m_main->Frame10->rect().contains(l->geometry()));
    }

    void emptySaveAsksForTheCodeOnly() {
        openPanel();
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{MissingNotices.at(0)});
        QCOMPARE(QApplication::focusWidget(), m_main->Frame10->Text11);
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(count("IDE"), 0);
        QCOMPARE(count("Answer"), 0);
    }

    // Pressing save again and again: each time the next missing field in the
    // fixed order is named and focused, until everything is there.
    void missingFieldsOneAtATime() {
        openPanel();
        const Subject s;
        const QList<std::function<void()>> fixes = {
            [&] { type(m_main->Frame10->Text11, s.code); },
            [&] { type(m_main->Frame10->Text6, s.firstName); },
            [&] { type(m_main->Frame10->Text4, s.lastName); },
            [&] { choose(m_main->Frame10->Combo2, s.gender); },
            [&] { type(m_main->Frame10->Text5, s.age); },
            [&] { choose(m_main->Frame10->Combo1, s.marital); },
            [&] { choose(m_main->Frame10->Combo3, s.group); },
            [&] { type(m_main->Frame10->Text7, s.education); },
        };
        const QList<QWidget*> focus = {m_main->Frame10->Text11, m_main->Frame10->Text6,
                                       m_main->Frame10->Text4,  m_main->Frame10->Combo2,
                                       m_main->Frame10->Text5,  m_main->Frame10->Combo1,
                                       m_main->Frame10->Combo3, m_main->Frame10->Text7};
        for (int i = 0; i < fixes.size(); ++i) {
            platform().clear();
            save();
            QCOMPARE(platform().noticeTexts(), QStringList{MissingNotices.at(i)});
            QCOMPARE(QApplication::focusWidget(), focus.at(i));
            QCOMPARE(count("IDE"), 0);
            fixes.at(i)();
        }
        platform().clear();
        save();
        QVERIFY(platform().noticeTexts().isEmpty());
        QCOMPARE(count("IDE"), 1);
        QVERIFY(!m_main->Frame10->isVisible());
    }

    void missingGenderComesBeforeAge() {
        openPanel();
        Subject s;
        type(m_main->Frame10->Text11, s.code);
        type(m_main->Frame10->Text6, s.firstName);
        type(m_main->Frame10->Text4, s.lastName);
        type(m_main->Frame10->Text7, s.education);
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{MissingNotices.at(3)});
        QCOMPARE(QApplication::focusWidget(), m_main->Frame10->Combo2);
        // Everything typed is still there.
        QCOMPARE(m_main->Frame10->Text6->text(), s.firstName);
        QCOMPARE(m_main->Frame10->Text7->text(), s.education);
    }

    void storesTheSubjectAndAnEmptySheet() {
        openPanel();
        Subject s;
        s.firstName = QStringLiteral("Reza");
        fill(m_main, s);
        const QString date = m_main->Frame10->Text8->text();
        const QString time = m_main->Frame10->Text9->text();
        save();
        QVERIFY(platform().interactions.isEmpty());
        QVERIFY(!m_main->Frame10->isVisible());

        const QList<QStringList> ide = ProgramFolder::rows(
            SubjectDb, "SELECT \"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", "
                       "\"Tahsil\", \"Group\", \"Date\", \"Time\" FROM \"IDE\"");
        const QList<QStringList> expected = {{s.code, s.firstName, s.lastName, s.gender, s.age,
                                              s.marital, s.education, s.group, date, time}};
        QCOMPARE(ide, expected);
        // Unanswered items are the empty text, not NULL.
        QString answers = QStringLiteral("SELECT \"Code\", \"Group\"");
        for (int item = 1; item <= 14; ++item)
            answers += QStringLiteral(", %1 || ':' || \"%2\"")
                           .arg(ProgramFolder::typeOf(QStringLiteral("\"%1\"").arg(item)))
                           .arg(item);
        const QList<QStringList> sheet =
            ProgramFolder::rows(SubjectDb, answers + " FROM \"Answer\"");
        QCOMPARE(sheet.size(), 1);
        QCOMPARE(sheet.first(), (QStringList{s.code, s.group} + QStringList(14, "text:")));
    }

    void blanksOnlyCodeIsStoredAsTyped() {
        openPanel();
        Subject s;
        s.code = QStringLiteral("   ");
        fill(m_main, s);
        save();
        QVERIFY(platform().noticeTexts().isEmpty());
        QCOMPARE(count("IDE", s.code), 1);
        QCOMPARE(count("Answer", s.code), 1);
    }

    void duplicateRefusedThenAcceptedWithAnotherCode() {
        openPanel();
        Subject first;
        fill(m_main, first);
        save();
        QCOMPARE(count("IDE"), 1);

        // A moment later, in the same window, the same code again.
        openPanel();
        Subject second;
        second.firstName = QStringLiteral("Nima");
        second.lastName = QStringLiteral("Rahimi");
        second.gender = Man;
        second.age = QStringLiteral("7");
        second.marital = Single;
        second.group = QStringLiteral("G");
        second.education = QStringLiteral("School");
        fill(m_main, second);
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{DuplicateNotice});
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(count("IDE"), 1);
        QCOMPARE(count("Answer"), 1);

        platform().clear();
        m_main->Frame10->Text11->selectAll();
        type(m_main->Frame10->Text11, QStringLiteral("S-2"));
        save();
        QVERIFY(platform().noticeTexts().isEmpty());
        const QList<QStringList> stored = ProgramFolder::rows(
            SubjectDb,
            "SELECT \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", \"Group\" "
            "FROM \"IDE\" WHERE \"Code\" = 'S-2'");
        const QList<QStringList> expected = {{second.firstName, second.lastName, second.gender,
                                              second.age, second.marital, second.education,
                                              second.group}};
        QCOMPARE(stored, expected);
        QCOMPARE(ProgramFolder::value(SubjectDb,
                                      "SELECT \"Group\" FROM \"Answer\" WHERE \"Code\" = 'S-2'"),
                 second.group);
        QCOMPARE(count("IDE"), 2);
        QCOMPARE(count("Answer"), 2);
    }

    void codeStoredElsewhereIsADuplicate() {
        openPanel();
        // Another workstation registers the code while this panel is open.
        ProgramFolder::addSubject(QStringLiteral("S-1"));
        fill(m_main, Subject());
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{DuplicateNotice});
        QCOMPARE(count("IDE"), 1);
        QCOMPARE(count("Answer"), 1);
    }

    void codesDifferingInCaseOrBlanksAreDifferent() {
        ProgramFolder::addSubject(QStringLiteral("ab"));
        for (const QString& code : {QStringLiteral("AB"), QStringLiteral("ab ")}) {
            openPanel();
            Subject s;
            s.code = code;
            fill(m_main, s);
            save();
            QVERIFY2(platform().noticeTexts().isEmpty(), qPrintable(code));
            QCOMPARE(count("IDE", code), 1);
        }
    }

    void lookAlikeCodesAreRefusedNamingTheStoredOne_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("registered"); // through this panel, else by an older program
        // Written with escapes: the differences are invisible or nearly so.
        const QString ali = QStringLiteral("\u0639\u0644\u06CC"); // Persian yeh
        for (const bool registered : {false, true}) {
            const char* how = registered ? " (registered here)" : " (older file)";
            QTest::newRow(qPrintable(QStringLiteral("right-to-left marks") + how))
                << "12" << QStringLiteral("\u200F12\u200F") << registered;
            QTest::newRow(qPrintable(QStringLiteral("Arabic yeh") + how))
                << ali << QStringLiteral("\u0639\u0644\u064A") << registered;
        }
        QTest::newRow("marks in the stored code") << QStringLiteral("\u200E12") << "12" << false;
        QTest::newRow("zero-width non-joiner")
            << QStringLiteral("AB-12") << QStringLiteral("AB-\u200C12") << false;
        QTest::newRow("Arabic kaf")
            << QStringLiteral("\u06A9-7") << QStringLiteral("\u0643-7") << false;
        QTest::newRow("Persian digits") << "12" << QStringLiteral("\u06F1\u06F2") << false;
        QTest::newRow("Arabic-Indic and Persian digits")
            << QStringLiteral("\u06F4") << QStringLiteral("\u0664") << false;
    }
    void lookAlikeCodesAreRefusedNamingTheStoredOne() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, registered);
        if (registered) {
            openPanel();
            Subject first;
            fill(m_main, first);
            m_main->Frame10->Text11->setText(stored);
            save();
            QVERIFY(platform().interactions.isEmpty());
        } else {
            ProgramFolder::addSubject(stored);
        }
        openPanel();
        Subject s;
        s.firstName = QStringLiteral("Other");
        fill(m_main, s);
        m_main->Frame10->Text11->setText(typed); // as pasted
        save();

        const auto boxes = platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, Registration::lookAlikeCodeMessage(stored));
        QVERIFY(boxes.first().text.contains(stored));
        QCOMPARE(boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(count("IDE"), 1);
        QCOMPARE(count("Answer"), 1);
        QCOMPARE(count("IDE", typed), 0);
        // The panel still holds what was typed; another code is stored.
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(m_main->Frame10->Text11->text(), typed);
        QCOMPARE(m_main->Frame10->Text6->text(), s.firstName);
        platform().clear();
        m_main->Frame10->Text11->setText(QStringLiteral("S-9"));
        save();
        QVERIFY(platform().interactions.isEmpty());
        QCOMPARE(count("IDE", QStringLiteral("S-9")), 1);
        QCOMPARE(count("Answer", QStringLiteral("S-9")), 1);
    }

    void codesThatReadDifferentlyAreBothStored() {
        // Exactly as typed otherwise: case, blanks and visible letters count.
        const QString ali = QStringLiteral("\u0639\u0644\u06CC");
        ProgramFolder::addSubject(ali);
        ProgramFolder::addSubject(QStringLiteral("ab"));
        for (const QString& code :
             {QStringLiteral("\u0639\u0644\u06CC\u06CC"), QStringLiteral("AB"),
              QStringLiteral("a b"), QStringLiteral("\u200Fab-1")}) {
            openPanel();
            Subject s;
            fill(m_main, s);
            m_main->Frame10->Text11->setText(code);
            save();
            QVERIFY2(platform().interactions.isEmpty(), qPrintable(code));
            QCOMPARE(count("IDE", code), 1);
        }
    }

    void anEarlierSheetIsKeptWithItsAnswers() {
        // A sheet of an older file: answers, but no registration.
        ProgramFolder::exec(SubjectDb,
                            "INSERT INTO \"Answer\" (\"Code\", \"Group\", \"1\", \"2\", \"14\") "
                            "VALUES ('S-1', 'A', '5', '4', '1')");
        openPanel();
        Subject s; // code S-1, group B
        fill(m_main, s);
        save();

        QVERIFY(platform().noticeTexts().isEmpty());
        const auto boxes = platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, Registration::earlierSheetMessage());
        QCOMPARE(boxes.first().icon, QMessageBox::Information);
        QVERIFY(!m_main->Frame10->isVisible());
        QCOMPARE(count("IDE", s.code), 1);
        QCOMPARE(ProgramFolder::rows(SubjectDb, "SELECT \"Code\", \"Group\", \"1\", \"2\", "
                                                "\"3\", \"14\" FROM \"Answer\""),
                 (QList<QStringList>{{s.code, s.group, "5", "4", "", "1"}}));
        QCOMPARE(ProgramFolder::storedAnswer(s.code, 1), QStringLiteral("5"));

        // A second registration with the code is an ordinary duplicate.
        platform().clear();
        openPanel();
        fill(m_main, s);
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{DuplicateNotice});
        QCOMPARE(count("IDE"), 1);
    }

    void codeWithAnApostrophe() {
        Subject s;
        s.code = QStringLiteral("O'Brien");
        openPanel();
        fill(m_main, s);
        save();
        QVERIFY(platform().interactions.isEmpty());
        QCOMPARE(count("IDE", s.code), 1);
        QCOMPARE(count("Answer", s.code), 1);

        openPanel();
        fill(m_main, s);
        save();
        QCOMPARE(platform().noticeTexts(), QStringList{DuplicateNotice});
        QCOMPARE(count("IDE"), 1);
        QCOMPARE(count("Answer"), 1);
    }

    void cancelLeavesTheTablesUnchanged() {
        ProgramFolder::addSubject(QStringLiteral("K"));
        openPanel();
        fill(m_main, Subject());
        QTest::mouseClick(m_main->Frame10->Command10, Qt::LeftButton);
        QVERIFY(!m_main->Frame10->isVisible());
        QCOMPARE(count("IDE"), 1);
        QCOMPARE(count("Answer"), 1);
        QCOMPARE(count("IDE", QStringLiteral("S-1")), 0);
        // The dropped record does not come back with the next one.
        openPanel();
        QVERIFY(m_main->Frame10->Text11->text().isEmpty());
        QVERIFY(m_main->Frame10->Text6->text().isEmpty());
    }

    void listsKeepTheirChoices() {
        openPanel();
        Subject first;
        fill(m_main, first);
        save();

        openPanel();
        QCOMPARE(m_main->Frame10->Combo1->currentText(), first.marital);
        QCOMPARE(m_main->Frame10->Combo2->currentText(), first.gender);
        QCOMPARE(m_main->Frame10->Combo3->currentText(), first.group);
        Subject second;
        second.code = QStringLiteral("S-2");
        fillTexts(m_main, second);
        save();
        QVERIFY(platform().noticeTexts().isEmpty());
        QCOMPARE(ProgramFolder::rows(SubjectDb, "SELECT \"Jens\", \"Taahol\", \"Group\" FROM "
                                                "\"IDE\" WHERE \"Code\" = 'S-2'"),
                 (QList<QStringList>{{first.gender, first.marital, first.group}}));
    }

    // --- Both records or neither ---

    void failedStoreKeepsNeither_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("duplicate");
        // The same obstacles as triggers of either engine.
        const bool server = ProgramFolder::onServer();
        const auto trigger = [server](const char* when, const char* table, const char* body) {
            return server
                       ? QStringLiteral("CREATE FUNCTION \"fail\"() RETURNS trigger LANGUAGE "
                                        "plpgsql AS $$ BEGIN %3; RETURN NEW; END $$; CREATE "
                                        "TRIGGER \"fail\" %1 INSERT ON \"%2\" FOR EACH ROW "
                                        "EXECUTE FUNCTION \"fail\"()")
                             .arg(QLatin1String(when), QLatin1String(table), QLatin1String(body))
                       : QStringLiteral("CREATE TRIGGER \"fail\" %1 INSERT ON \"%2\" BEGIN "
                                        "%3; END")
                             .arg(QLatin1String(when), QLatin1String(table), QLatin1String(body));
        };
        QTest::newRow("the subject record fails after the sheet")
            << trigger("BEFORE", "IDE",
                       server ? "RAISE EXCEPTION 'disk full'" : "SELECT RAISE(ABORT, 'disk full')")
            << false;
        // (A sheet already there before the store is the subject's: see
        // anEarlierSheetIsKeptWithItsAnswers.)
        QTest::newRow("an answer sheet with the code is stored during the store")
            << trigger("AFTER", "IDE", "INSERT INTO \"Answer\" (\"Code\") VALUES (NEW.\"Code\")")
            << true;
        QTest::newRow("the code is stored between the check and the store")
            << trigger("AFTER", "Answer", "INSERT INTO \"IDE\" (\"Code\") VALUES (NEW.\"Code\")")
            << true;
    }
    void failedStoreKeepsNeither() {
        QFETCH(QString, sql);
        QFETCH(bool, duplicate);
        ProgramFolder::exec(SubjectDb, sql);
        const int sheetsBefore = count("Answer");
        openPanel();
        const Subject s;
        fill(m_main, s);
        const QString date = m_main->Frame10->Text8->text();
        save();

        QCOMPARE(count("IDE"), 0);
        QCOMPARE(count("Answer"), sheetsBefore);
        if (duplicate) {
            QCOMPARE(platform().noticeTexts(), QStringList{DuplicateNotice});
            QVERIFY(platform().messageTexts().isEmpty());
        } else {
            QCOMPARE(platform().messageTexts().size(), 1);
            QVERIFY(platform().messageTexts().first().contains(QStringLiteral("disk full")));
            QVERIFY(platform().noticeTexts().isEmpty());
        }
        // The panel is still open with everything typed.
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(m_main->Frame10->Text11->text(), s.code);
        QCOMPARE(m_main->Frame10->Text6->text(), s.firstName);
        QCOMPARE(m_main->Frame10->Text4->text(), s.lastName);
        QCOMPARE(m_main->Frame10->Text5->text(), s.age);
        QCOMPARE(m_main->Frame10->Text7->text(), s.education);
        QCOMPARE(m_main->Frame10->Text8->text(), date);
        QCOMPARE(m_main->Frame10->Combo3->currentText(), s.group);

        // Once the obstacle is gone the same record is stored, once.
        ProgramFolder::exec(SubjectDb,
                            ProgramFolder::onServer()
                                ? QStringLiteral("DROP FUNCTION IF EXISTS \"fail\" CASCADE")
                                : QStringLiteral("DROP TRIGGER IF EXISTS \"fail\""));
        ProgramFolder::exec(SubjectDb, "DELETE FROM \"Answer\"");
        platform().clear();
        save();
        QVERIFY(platform().interactions.isEmpty());
        QCOMPARE(count("IDE", s.code), 1);
        QCOMPARE(count("Answer", s.code), 1);
        QCOMPARE(ProgramFolder::value(SubjectDb, "SELECT \"Date\" FROM \"IDE\""), date);
    }

    void lockedDatabaseIsReportedAndKeepsTheForm() {
        if (ProgramFolder::onServer())
            QSKIP("a lock on the subject file; the server's row locks are another matter");
        openPanel();
        const Subject s;
        fill(m_main, s);
        {
            // Another program holds the write lock on the subject file.
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
            other.setDatabaseName(m_folder->file(SubjectDb));
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY2(lock.exec("BEGIN IMMEDIATE"), qPrintable(lock.lastError().text()));
            save();
            QVERIFY(lock.exec("ROLLBACK"));
            lock.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase("other-program");

        QCOMPARE(platform().messageTexts().size(), 1);
        QVERIFY(platform().messageTexts().first().contains(QStringLiteral("DBM/DB2.mdb")));
        QCOMPARE(count("IDE"), 0);
        QCOMPARE(count("Answer"), 0);
        QVERIFY(m_main->Frame10->isVisible());
        QCOMPARE(m_main->Frame10->Text11->text(), s.code);
        QCOMPARE(m_main->Frame10->Text6->text(), s.firstName);

        platform().clear();
        save();
        QVERIFY(platform().interactions.isEmpty());
        QCOMPARE(count("IDE", s.code), 1);
        QCOMPARE(count("Answer", s.code), 1);
    }

    // --- The age box ---

    void ageBoxTakesOnlyDigits_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("refused");
        QTest::newRow("two digits") << "42"
                                    << "42" << 0;
        QTest::newRow("a third digit") << "123"
                                       << "12" << 0;
        QTest::newRow("a letter") << "a"
                                  << "" << 1;
        QTest::newRow("a letter between digits") << "4x2"
                                                 << "42" << 1;
        QTest::newRow("a blank and a minus") << " -"
                                             << "" << 2;
        // The number row of a Persian keyboard: its digits become 0 to 9.
        QTest::newRow("Persian digits") << QStringLiteral("۱۲") << "12" << 0;
        QTest::newRow("Arabic-Indic digits") << QStringLiteral("٤٥") << "45" << 0;
        QTest::newRow("a third Persian digit") << QStringLiteral("۱۲۳") << "12" << 0;
        QTest::newRow("a Persian letter") << QStringLiteral("۱ی") << "1" << 1;
        // A zero-width non-joiner, typed by Shift+Space on a Persian keyboard.
        QTest::newRow("zero-width non-joiner") << QString(QChar(0x200C)) << "" << 1;
    }
    void ageBoxTakesOnlyDigits() {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(int, refused);
        openPanel();
        type(m_main->Frame10->Text5, typed);
        QCOMPARE(m_main->Frame10->Text5->text(), expected);
        QCOMPARE(platform().beeps, refused);
        QCOMPARE(platform().noticeTexts(), QStringList(refused, DigitsNotice));
    }

    void anAgeTypedInPersianDigitsIsStoredInDigits() {
        openPanel();
        Subject s;
        s.age = QStringLiteral("۳۴");
        fill(m_main, s);
        save();
        QVERIFY(platform().interactions.isEmpty());
        QCOMPARE(ProgramFolder::value(SubjectDb, "SELECT \"Sen\" FROM \"IDE\""), QString("34"));
    }

    void ageBoxRefusesAltLetters() {
        openPanel();
        QTest::keyClick(m_main->Frame10->Text5, Qt::Key_A, Qt::AltModifier);
        QVERIFY(m_main->Frame10->Text5->text().isEmpty());
        QCOMPARE(platform().beeps, 1);
        QCOMPARE(platform().noticeTexts(), QStringList(DigitsNotice));
    }

    void ageBoxBackspaceAndEnterPass() {
        openPanel();
        type(m_main->Frame10->Text5, QStringLiteral("35"));
        QTest::keyClick(m_main->Frame10->Text5, Qt::Key_Backspace);
        QTest::keyClick(m_main->Frame10->Text5, Qt::Key_Return);
        QCOMPARE(m_main->Frame10->Text5->text(), QStringLiteral("3"));
        QCOMPARE(platform().beeps, 0);
    }

    void ageBoxRefusesPastedNonDigits_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("digit and letter") << ""
                                          << "1a"
                                          << "";
        QTest::newRow("letter and digit") << ""
                                          << "a1"
                                          << "";
        QTest::newRow("three digits") << ""
                                      << "123"
                                      << "12";
        QTest::newRow("letters after a digit") << "3"
                                               << "ab"
                                               << "3";
        QTest::newRow("Persian digits") << "" << QStringLiteral("۳۴") << "34";
        QTest::newRow("Arabic-Indic digit after a digit") << "3" << QStringLiteral("٤") << "34";
        QTest::newRow("Persian digit and letter") << "" << QStringLiteral("۳ی") << "";
    }
    void ageBoxRefusesPastedNonDigits() {
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        openPanel();
        type(m_main->Frame10->Text5, before);
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(m_main->Frame10->Text5, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_main->Frame10->Text5->text(), expected);
    }
};

VELMORA_TEST_MAIN(TestRegistration)
#include "tst_registration.moc"
