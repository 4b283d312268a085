#include "access/Lock.h"
#include "access/Session.h"
#include "access/SignIn.h"
#include "access/SignInWindow.h"
#include "app/App.h"
#include "app/Frm1.h"
#include "data/DataControl.h"
#include "data/Operators.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "registry/RegistrationPanel.h"
#include "support/ProgramFolder.h"

#include <QAccessible>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Trail = QStringLiteral("DBM/Audit.db");
const QString Password = QStringLiteral("correct horse");

void addOperator(const QString& name, Role role, bool enabled = true) {
    QString error;
    if (!OperatorAdmin::add(name, role, Password, &error))
        qFatal("add: %s", qPrintable(error));
    if (!enabled && !OperatorAdmin::setEnabled(name, false, &error))
        qFatal("disable: %s", qPrintable(error));
}

// The sign-in window that opens next is filled in as an operator types:
// name, Tab, password, Return. An empty name presses its leave button.
void answerSignIn(const QString& name, const QString& password = Password) {
    whenModal([name, password](QWidget* window) {
        auto* signIn = qobject_cast<SignInWindow*>(window);
        if (!signIn) {
            qWarning("expected the sign-in window, got %s", qPrintable(window->objectName()));
            window->close();
            return;
        }
        if (name.isEmpty()) {
            signIn->leaveButton->click();
            return;
        }
        // Whatever else fails, the window is left, so the test goes on to say so.
        if (!QTest::qWaitForWindowActive(signIn))
            qWarning("the sign-in window was never active");
        if (!signIn->nameBox->hasFocus()) {
            qWarning("the name box does not have the keyboard");
            signIn->leaveButton->click();
            return;
        }
        typeKeys(signIn, name);
        pressKey(signIn, Qt::Key_Tab);
        typeKeys(signIn, password);
        pressKey(signIn, Qt::Key_Return);
        if (signIn->isVisible()) {
            qWarning("the sign-in was refused");
            signIn->leaveButton->click();
        }
    });
}

// The last entries of the trail: action, code, outcome, operator.
QList<QStringList> lastEntries(int count) {
    QList<QStringList> rows = ProgramFolder::rows(
        Trail,
        QStringLiteral("SELECT \"Action\", \"Code\", \"Outcome\", \"Operator\" FROM \"Audit\" "
                       "ORDER BY \"Seq\" DESC LIMIT %1")
            .arg(count));
    std::reverse(rows.begin(), rows.end());
    return rows;
}

QString lastDetail() {
    return ProgramFolder::value(Trail,
                                "SELECT \"Detail\" FROM \"Audit\" ORDER BY \"Seq\" DESC LIMIT 1");
}

// Whatever shows text in any window now.
QStringList textsInView() {
    QStringList texts;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        for (QLineEdit* box : window->findChildren<QLineEdit*>())
            if (box->isVisible() && !box->text().isEmpty())
                texts.append(box->text());
    }
    return texts;
}

} // namespace

// Signing in, the lock and the guarded test: who may come to the program,
// and what they find there.
class TestSignIn : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    Frm1* startSignedInAs(const QString& name) {
        answerSignIn(name);
        if (!startVelmora())
            return nullptr;
        return Frm1::instance();
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    // Opt-in: a clinic without an admin starts as it always did; once one
    // exists, every start asks first.
    void theStartSignsInOnceAnAdminExists() {
        addOperator(QStringLiteral("reza"), Role::Reception);
        QVERIFY2(startVelmora(), qPrintable(m_folder->platform().messageTexts().join(u'|')));
        QVERIFY(Frm1::instance() && Frm1::instance()->isVisible());
        QVERIFY(!Session::inForce());
        QCOMPARE(lastEntries(1),
                 (QList<QStringList>{{"start", "", "done", Session::accountName()}}));
        deleteAllWindows();

        addOperator(QStringLiteral("mina"), Role::Admin);
        Frm1* main = startSignedInAs(QStringLiteral("mina"));
        QVERIFY(main && main->isVisible());
        QVERIFY(Session::inForce());
        QCOMPARE(Session::operatorName(), QStringLiteral("mina"));
        QCOMPARE(Session::role(), Role::Admin);
        QCOMPARE(lastEntries(2), (QList<QStringList>{{"start", "", "done", Session::accountName()},
                                                     {"sign-in", "", "done", "mina"}}));
        QVERIFY(!ProgramFolder::value(Trail, "SELECT \"LastSignIn\" FROM \"Operator\" WHERE "
                                             "\"Name\" = 'mina'")
                     .isEmpty());
        deleteAllWindows();

        // Leaving the sign-in ends the run before any window.
        answerSignIn(QString());
        QVERIFY(!startVelmora());
        QVERIFY(!Frm1::instance());
        QCOMPARE(lastEntries(1).first().first(), QStringLiteral("end"));
    }

    // Never a hint of which part was wrong; always a note in the trail of
    // which it was, and the password box emptied for the next try.
    void refusedSignIns_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::newRow("wrong password")
            << "mina"
            << "wrong horse" << QStringLiteral("نام کاربر يا رمز نادرست است.")
            << QStringLiteral("رمز نادرست");
        QTest::newRow("unknown name")
            << "nima" << Password.toUtf8().constData()
            << QStringLiteral("نام کاربر يا رمز نادرست است.") << QStringLiteral("نام ناشناخته");
        QTest::newRow("disabled operator")
            << "leila" << Password.toUtf8().constData()
            << QStringLiteral("اين کاربر غيرفعال است و نمي تواند وارد شود.")
            << QStringLiteral("کاربر غيرفعال");
        QTest::newRow("disabled operator, wrong password")
            << "leila"
            << "wrong horse" << QStringLiteral("نام کاربر يا رمز نادرست است.")
            << QStringLiteral("رمز نادرست");
    }
    void refusedSignIns() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        addOperator(QStringLiteral("mina"), Role::Admin);
        addOperator(QStringLiteral("leila"), Role::Clinician, false);
        SignInWindow window(SignInWindow::Purpose::Start);
        window.show();
        window.nameBox->setText(name);
        window.passwordBox->setText(password);
        window.signInButton->click();
        QVERIFY(window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(m_folder->platform().messageTexts(), QStringList{message});
        QCOMPARE(window.passwordBox->text(), QString());
        QVERIFY(window.passwordBox->hasFocus() || !window.isActiveWindow());
        QVERIFY(!Session::signedIn());
        QCOMPARE(lastEntries(1).first().mid(0, 3), (QStringList{"sign-in", "", "refused"}));
        QVERIFY2(lastDetail().contains(detail), qPrintable(lastDetail()));
        QVERIFY(lastDetail().contains(name));
        // The password itself is never kept anywhere.
        for (const QString& file : {Trail, QStringLiteral("DBM/DB.mdb")}) {
            QFile f(m_folder->file(file));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(!f.readAll().contains(password.toUtf8()));
        }
        QVERIFY(ProgramFolder::value(Trail, "SELECT \"Password\" FROM \"Operator\" WHERE \"Name\" "
                                            "= 'mina'")
                    .startsWith(QStringLiteral("$argon2id$")));
    }

    // Failures in a row make the next try wait longer, for that name only;
    // a try in the wait is not even checked.
    void failuresSlowTheNextTries() {
        QCOMPARE(SignIn::delaySeconds(0), 0);
        QCOMPARE(SignIn::delaySeconds(1), 1);
        QCOMPARE(SignIn::delaySeconds(2), 2);
        QCOMPARE(SignIn::delaySeconds(3), 4);
        QCOMPARE(SignIn::delaySeconds(12), 300);
        addOperator(QStringLiteral("mina"), Role::Admin);
        addOperator(QStringLiteral("reza"), Role::Reception);
        QCOMPARE(SignIn::attempt(QStringLiteral("mina"), QStringLiteral("x1")).result,
                 SignIn::Result::Refused);
        // Straight after: the right password waits too.
        SignIn::Attempt early = SignIn::attempt(QStringLiteral("MINA"), Password);
        QCOMPARE(early.result, SignIn::Result::Waiting);
        QVERIFY(early.waitSeconds >= 1);
        QVERIFY(!Session::signedIn());
        // Another name is not held up.
        QCOMPARE(SignIn::attempt(QStringLiteral("reza"), Password).result, SignIn::Result::Done);
        Session::signOut();
        // Each failure doubles the wait.
        const auto backdate = [] {
            ProgramFolder::exec(
                "DBM/DB.mdb", "UPDATE \"SignInDelay\" SET \"Last\" = ?",
                {QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODateWithMs)});
        };
        for (int failures = 2; failures <= 4; ++failures) {
            backdate();
            QCOMPARE(SignIn::attempt(QStringLiteral("mina"), QStringLiteral("x")).result,
                     SignIn::Result::Refused);
            const SignIn::Attempt held = SignIn::attempt(QStringLiteral("mina"), Password);
            QCOMPARE(held.result, SignIn::Result::Waiting);
            QVERIFY2(held.waitSeconds > SignIn::delaySeconds(failures - 1),
                     qPrintable(QString::number(held.waitSeconds)));
        }
        QCOMPARE(ProgramFolder::value("DBM/DB.mdb", "SELECT \"Failures\" FROM \"SignInDelay\" "
                                                    "WHERE \"Name\" = 'mina'"),
                 QString("4"));
        // Once the wait is over the right password signs in, and the count starts again.
        backdate();
        QCOMPARE(SignIn::attempt(QStringLiteral("mina"), Password).result, SignIn::Result::Done);
        QCOMPARE(ProgramFolder::value("DBM/DB.mdb", "SELECT COUNT(*) FROM \"SignInDelay\" WHERE "
                                                    "\"Name\" = 'mina'"),
                 QString("0"));
        // Every try was recorded, the held ones too.
        QCOMPARE(ProgramFolder::value(Trail, "SELECT COUNT(*) FROM \"Audit\" WHERE \"Action\" = "
                                             "'sign-in' AND \"Outcome\" = 'refused'"),
                 QString("8"));
    }

    // Ctrl+L covers every window; the same role goes on with what was typed.
    void theLockKeepsWhatWasTypedForTheSameRole() {
        addOperator(QStringLiteral("mina"), Role::Admin);
        addOperator(QStringLiteral("sara"), Role::Clinician);
        addOperator(QStringLiteral("omid"), Role::Clinician);
        Frm1* main = startSignedInAs(QStringLiteral("sara"));
        QVERIFY(main);
        main->Command1->click();
        main->Frame10->Text11->setText(QStringLiteral("K-1"));
        main->Frame10->Text6->setText(QStringLiteral("Parisa"));
        bool covered = false;
        whenModal([&covered, main](QWidget* window) {
            // While the sign-in waits, nothing of the window behind it shows.
            auto* cover = main->findChild<QWidget*>(QStringLiteral("LockCover"));
            covered = cover && cover->isVisible() && cover->geometry() == main->rect();
            QCOMPARE(qobject_cast<SignInWindow*>(window)->purpose(), SignInWindow::Purpose::Unlock);
            auto* signIn = qobject_cast<SignInWindow*>(window);
            signIn->nameBox->setText(QStringLiteral("omid"));
            signIn->passwordBox->setText(Password);
            signIn->signInButton->click();
        });
        pressKey(main->Frame10->Text6, Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(Session::operatorName() == QLatin1String("omid") && !Lock::isLocked());
        QVERIFY(covered);
        QVERIFY(!main->findChild<QWidget*>(QStringLiteral("LockCover")));
        QVERIFY(main->Frame10->isVisible());
        QCOMPARE(main->Frame10->Text11->text(), QStringLiteral("K-1"));
        QCOMPARE(main->Frame10->Text6->text(), QStringLiteral("Parisa"));
        QCOMPARE(lastEntries(2), (QList<QStringList>{{"lock", "", "done", "sara"},
                                                     {"unlock", "", "done", "omid"}}));
        // The new operator stores it as their own.
        main->Frame10->Text4->setText(QStringLiteral("L"));
        main->Frame10->Combo2->setCurrentIndex(0);
        main->Frame10->Text5->setText(QStringLiteral("30"));
        main->Frame10->Combo1->setCurrentIndex(0);
        main->Frame10->Combo3->setCurrentIndex(0);
        main->Frame10->Text7->setText(QStringLiteral("x"));
        main->Frame10->Command8->click();
        QCOMPARE(lastEntries(1), (QList<QStringList>{{"register", "K-1", "done", "omid"}}));
    }

    // A lower role finds no trace of what the one before typed or opened;
    // a role as high goes on with it.
    void aLowerRoleDoesNotSeeTheTypedData() {
        addOperator(QStringLiteral("mina"), Role::Admin);
        addOperator(QStringLiteral("reza"), Role::Reception);
        ProgramFolder::addSubject(QStringLiteral("K-7"), QStringLiteral("Shirin"));
        Frm1* main = startSignedInAs(QStringLiteral("mina"));
        QVERIFY(main);
        main->Command1->click();
        main->Frame10->Text11->setText(QStringLiteral("K-2"));
        main->Frame10->Text6->setText(QStringLiteral("Parisa"));
        answerSignIn(QStringLiteral("reza"));
        QVERIFY(Lock::lockNow());
        QCOMPARE(Session::operatorName(), QStringLiteral("reza"));
        QVERIFY(!main->Frame10->isVisible());
        // Opening the panel again starts empty.
        main->Command1->click();
        QCOMPARE(main->Frame10->Text11->text(), QString());
        QCOMPARE(main->Frame10->Text6->text(), QString());
        main->Frame10->Command10->click();

        // A search typed in the lookup is the first operator's too.
        answerSignIn(QStringLiteral("mina"));
        QVERIFY(Lock::lockNow());
        bool lookupOpen = false;
        whenModal([&lookupOpen](QWidget* window) {
            auto* lookup = qobject_cast<FrmCode*>(window);
            QVERIFY(lookup);
            lookup->DataCombo6->setEditText(QStringLiteral("Shirin"));
            answerSignIn(QStringLiteral("reza"));
            QVERIFY(Lock::lockNow());
            lookupOpen = lookup->isVisible();
        });
        main->Command4->click();
        QVERIFY(!lookupOpen);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        const QStringList seen = textsInView();
        for (const QString& typed :
             {QStringLiteral("Parisa"), QStringLiteral("K-2"), QStringLiteral("Shirin")})
            QVERIFY2(!seen.contains(typed), qPrintable(seen.join(u',')));
    }

    // Nobody at the keyboard: the program locks on its own.
    void idleTimeLocks() {
        addOperator(QStringLiteral("mina"), Role::Admin);
        Frm1* main = startSignedInAs(QStringLiteral("mina"));
        QVERIFY(main);
        QCOMPARE(Lock::idleMilliseconds(), WorkstationSettings::DefaultLockMinutes * 60 * 1000);
        answerSignIn(QStringLiteral("mina"));
        Lock::setIdle(200);
        QTRY_VERIFY_WITH_TIMEOUT(lastEntries(1).value(0).value(0) == QLatin1String("unlock"),
                                 10000);
        Lock::setIdle(0);
        QCOMPARE(lastEntries(2).first().first(), QStringLiteral("lock"));
        // Leaving the lock's sign-in ends the program, still covered.
        answerSignIn(QString());
        QVERIFY(Lock::lockNow());
        QVERIFY(m_folder->platform().programEnded());
    }

    // The subject at the desk cannot leave the test for the rest of the
    // program: an operator signs in to let go; saved and left, it locks.
    void theTestWindowAsksForAnOperatorBeforeItIsLeft() {
        addOperator(QStringLiteral("mina"), Role::Admin);
        addOperator(QStringLiteral("reza"), Role::Reception);
        ProgramFolder::addSubject(QStringLiteral("T-1"));
        Frm1* main = startSignedInAs(QStringLiteral("reza"));
        QVERIFY(main);
        int asked = 0;
        bool stayed = false;
        m_folder->platform().inputAnswers.enqueue(QStringLiteral("T-1"));
        whenModal([&](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            QVERIFY(test);
            test->Command1->click();
            // Exit, then back to the test: it stays, and no one signed in.
            whenModal([&](QWidget* signIn) {
                ++asked;
                QCOMPARE(qobject_cast<SignInWindow*>(signIn)->purpose(),
                         SignInWindow::Purpose::LeaveTest);
                qobject_cast<SignInWindow*>(signIn)->leaveButton->click();
            });
            test->Command2->click();
            stayed = test->isVisible();
            // The close box asks too; an operator signs in and it closes.
            whenModal([&](QWidget* signIn) {
                ++asked;
                auto* s = qobject_cast<SignInWindow*>(signIn);
                s->nameBox->setText(QStringLiteral("mina"));
                s->passwordBox->setText(Password);
                s->signInButton->click();
            });
            test->close();
        });
        main->Command2->click();
        QCOMPARE(asked, 2);
        QVERIFY(stayed);
        QVERIFY(!Lock::isLocked());
        QCOMPARE(Session::operatorName(), QStringLiteral("mina"));
        QCOMPARE(lastEntries(3), (QList<QStringList>{{"test", "T-1", "done", "reza"},
                                                     {"sign-in", "", "done", "mina"},
                                                     {"test-left", "T-1", "done", "mina"}}));

        // Saved and left by the subject: the next person signs in.
        m_folder->platform().inputAnswers.enqueue(QStringLiteral("T-1"));
        bool lockedAfter = false;
        whenModal([&](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            test->Command1->click();
            test->Option1->click();
            whenModal([&](QWidget* signIn) {
                lockedAfter =
                    qobject_cast<SignInWindow*>(signIn)->purpose() == SignInWindow::Purpose::Unlock;
                auto* s = qobject_cast<SignInWindow*>(signIn);
                s->nameBox->setText(QStringLiteral("reza"));
                s->passwordBox->setText(Password);
                s->signInButton->click();
            });
            test->Command5->click();
        });
        main->Command2->click();
        QVERIFY(lockedAfter);
        QCOMPARE(ProgramFolder::storedAnswer(QStringLiteral("T-1"), 1), QStringLiteral("5"));
        QCOMPARE(lastEntries(3), (QList<QStringList>{{"test-saved", "T-1", "done", "mina"},
                                                     {"lock", "", "done", "mina"},
                                                     {"unlock", "", "done", "reza"}}));
    }

    // A screen reader hears what each box is for.
    void theSignInWindowIsNamedForAScreenReader() {
        SignInWindow window(SignInWindow::Purpose::Start);
        window.show();
        QCOMPARE(window.nameBox->accessibleName(), QStringLiteral("نام کاربر"));
        QCOMPARE(window.passwordBox->accessibleName(), QStringLiteral("رمز"));
        QCOMPARE(window.passwordBox->echoMode(), QLineEdit::Password);
        QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
        // Tab goes from the name to the password, then to signing in.
        const auto nextTab = [](QWidget* from) {
            QWidget* next = from->nextInFocusChain();
            while (next != from && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextTab(window.nameBox), window.passwordBox);
        QCOMPARE(nextTab(window.passwordBox), window.signInButton);
    }
};

VELMORA_TEST_MAIN(TestSignIn)
#include "tst_signin.moc"
