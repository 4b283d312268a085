#include "access/Lock.h"
#include "access/OperatorsWindow.h"
#include "access/Session.h"
#include "access/SignIn.h"
#include "data/AuditTrail.h"
#include "data/Operators.h"
#include "support/ProgramFolder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Trail = QStringLiteral("DBM/Audit.db");

QStringList gridRow(OperatorsWindow& w, const QString& name) {
    for (int row = 0; row < w.operatorsGrid->rowCount(); ++row)
        if (w.operatorsGrid->item(row, 0)->text() == name) {
            QStringList cells;
            for (int column = 0; column < w.operatorsGrid->columnCount(); ++column)
                cells.append(w.operatorsGrid->item(row, column)->text());
            return cells;
        }
    return {};
}

void choose(OperatorsWindow& w, const QString& name) {
    for (int row = 0; row < w.operatorsGrid->rowCount(); ++row)
        if (w.operatorsGrid->item(row, 0)->text() == name)
            w.operatorsGrid->setCurrentCell(row, 0);
}

QStringList lastEntry() {
    return ProgramFolder::rows(Trail, "SELECT \"Action\", \"Outcome\", \"Detail\", \"Operator\" "
                                      "FROM \"Audit\" ORDER BY \"Seq\" DESC LIMIT 1")
        .value(0);
}

} // namespace

// The operators window: an admin adds, disables, enables and gives new
// passwords, each change in the trail, and sets this computer's lock.
class TestOperatorsWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        QString error;
        QVERIFY(OperatorAdmin::add(QStringLiteral("mina"), Role::Admin,
                                   QStringLiteral("first password"), &error));
        QCOMPARE(SignIn::attempt(QStringLiteral("mina"), QStringLiteral("first password")).result,
                 SignIn::Result::Done);
    }
    void cleanup() { m_folder.reset(); }

    void anAdminKeepsTheOperators() {
        OperatorsWindow w;
        w.show();
        QCOMPARE(w.objectName(), QStringLiteral("OperatorsWindow"));
        QCOMPARE(w.nameBox->accessibleName(), QStringLiteral("نام"));
        QCOMPARE(w.roleList->accessibleName(), QStringLiteral("نقش"));
        QCOMPARE(gridRow(w, "mina").mid(0, 3),
                 (QStringList{"mina", QStringLiteral("مدير"), QStringLiteral("فعال")}));
        QVERIFY(gridRow(w, "mina").at(3) != QLatin1String("-")); // signed in just now

        // Added, with the password typed twice in secret boxes.
        w.nameBox->setText(QStringLiteral("reza"));
        w.roleList->setCurrentIndex(0);
        platform().secretAnswers.enqueue(QStringLiteral("reza password"));
        platform().secretAnswers.enqueue(QStringLiteral("reza password"));
        w.addButton->click();
        QCOMPARE(gridRow(w, "reza"),
                 (QStringList{"reza", QStringLiteral("پذيرش"), QStringLiteral("فعال"), "-"}));
        QCOMPARE(w.nameBox->text(), QString());
        QCOMPARE(lastEntry(), (QStringList{"operators", "done",
                                           QStringLiteral("افزودن «reza» با نقش پذيرش"), "mina"}));

        // Disabled: the sign-in refuses; enabled again: it lets in.
        choose(w, "reza");
        w.disableButton->click();
        QCOMPARE(gridRow(w, "reza").at(2), QStringLiteral("غيرفعال"));
        QCOMPARE(SignIn::attempt(QStringLiteral("reza"), QStringLiteral("reza password")).result,
                 SignIn::Result::Disabled);
        ProgramFolder::exec("DBM/DB.mdb", "DELETE FROM \"SignInDelay\"");
        choose(w, "reza");
        w.enableButton->click();
        QCOMPARE(gridRow(w, "reza").at(2), QStringLiteral("فعال"));

        // A new password replaces the old one.
        choose(w, "reza");
        platform().secretAnswers.enqueue(QStringLiteral("second password"));
        platform().secretAnswers.enqueue(QStringLiteral("second password"));
        w.passwordButton->click();
        QCOMPARE(SignIn::attempt(QStringLiteral("reza"), QStringLiteral("reza password")).result,
                 SignIn::Result::Refused);
        ProgramFolder::exec("DBM/DB.mdb", "DELETE FROM \"SignInDelay\"");
        QCOMPARE(SignIn::attempt(QStringLiteral("reza"), QStringLiteral("second password")).result,
                 SignIn::Result::Done);
        QCOMPARE(ProgramFolder::value(Trail, "SELECT COUNT(*) FROM \"Audit\" WHERE \"Action\" = "
                                             "'operators' AND \"Outcome\" = 'done'"),
                 QString("5")); // mina, reza, disabled, enabled, new password
    }

    void whatIsRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QString>("said");
        QTest::newRow("a name taken") << "MINA" << QStringList{"long enough", "long enough"}
                                      << QStringLiteral("کاربري به نام «mina» از پيش هست.");
        QTest::newRow("a short password") << "leila" << QStringList{"short", "short"}
                                          << QStringLiteral("رمز بايد دست کم 8 نويسه باشد.");
        QTest::newRow("two passwords that differ")
            << "leila" << QStringList{"long enough", "long enougH"}
            << QStringLiteral("دو رمز يکي نيستند.");
        QTest::newRow("a name the server keeps")
            << "pg_reader" << QStringList{} << QStringLiteral("براي سرور نگه داشته شده اند");
        QTest::newRow("a blank at the end")
            << "leila " << QStringList{} << QStringLiteral("با فاصله شروع يا تمام مي شود");
    }
    void whatIsRefused() {
        QFETCH(QString, name);
        QFETCH(QStringList, passwords);
        QFETCH(QString, said);
        OperatorsWindow w;
        w.show();
        const int before = w.operatorsGrid->rowCount();
        w.nameBox->setText(name);
        for (const QString& password : passwords)
            platform().secretAnswers.enqueue(password);
        w.addButton->click();
        QCOMPARE(w.operatorsGrid->rowCount(), before);
        const QStringList told = platform().messageTexts() + platform().noticeTexts();
        QVERIFY2(std::any_of(told.begin(), told.end(),
                             [&said](const QString& text) { return text.contains(said); }),
                 qPrintable(told.join(u'|')));
        QCOMPARE(ProgramFolder::value(Trail, "SELECT COUNT(*) FROM \"Operator\""), QString("1"));
    }

    // Nothing is left without an admin who may sign in.
    void theLastAdminStays() {
        OperatorsWindow w;
        w.show();
        choose(w, "mina");
        w.disableButton->click();
        QCOMPARE(gridRow(w, "mina").at(2), QStringLiteral("فعال"));
        QVERIFY(platform().messageTexts().value(0).contains(QStringLiteral("آخرين مدير فعال")));
        // Nothing chosen: the operator is asked to choose.
        w.operatorsGrid->setCurrentCell(-1, -1);
        w.disableButton->click();
        QCOMPARE(platform().noticeTexts(),
                 QStringList{QStringLiteral("نخست کاربري را در فهرست انتخاب کنيد")});
    }

    // The minutes of this computer's lock, kept and recorded.
    void theLockMinutes() {
        OperatorsWindow w;
        w.show();
        QCOMPARE(w.lockBox->text(), QStringLiteral("10"));
        w.lockBox->setText(QStringLiteral("3"));
        w.lockButton->click();
        QCOMPARE(WorkstationSettings::lockMinutes(), 3);
        QCOMPARE(Lock::idleMilliseconds(), 3 * 60 * 1000);
        QCOMPARE(lastEntry().mid(0, 3),
                 (QStringList{"settings", "done", QStringLiteral("قفل خودکار پس از 3 دقيقه")}));
        OperatorsWindow again;
        QCOMPARE(again.lockBox->text(), QStringLiteral("3"));
    }
};

VELMORA_TEST_MAIN(TestOperatorsWindow)
#include "tst_operatorswindow.moc"
