#include "access/Audit.h"
#include "access/Passwords.h"
#include "access/Session.h"
#include "access/SignIn.h"
#include "data/AuditTrail.h"
#include "data/CodeKeys.h"
#include "data/Operators.h"
#include "data/SubjectStore.h"
#include "registry/Correction.h"
#include "registry/FrmCode.h"
#include "registry/SubjectCorrection.h"
#include "scoring/FrmkLID.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace velmora;

namespace {

const QString Subjects = QStringLiteral("DBM/DB2.mdb");
const QStringList Answers = {"5", "4", "3", "2", "1", "5", "4", "3", "2", "1", "5", "4", "3", "2"};

QString trailFile() {
    return ProgramFolder::onServer() ? Subjects : AuditTrail::fileName();
}

// Every row of the subject tables that holds a subject's data, in a fixed
// order: what "nothing changed" is compared with.
QList<QStringList> everyRow() {
    QList<QStringList> rows;
    rows += ProgramFolder::rows(Subjects, "SELECT 'IDE', \"ID\", \"Code\", \"FName\", \"LName\", "
                                          "\"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", \"Group\", "
                                          "\"Date\", \"Time\" FROM \"IDE\" ORDER BY \"ID\"");
    rows += ProgramFolder::rows(Subjects, "SELECT 'Answer', \"ID\", \"Code\", \"Group\", \"1\" "
                                          "FROM \"Answer\" ORDER BY \"ID\"");
    rows += ProgramFolder::rows(Subjects, "SELECT 'History', \"ID\", \"Code\", \"Date\" FROM "
                                          "\"History\" ORDER BY \"ID\"");
    rows += ProgramFolder::rows(Subjects, "SELECT 'CodeKey', \"ID\", COALESCE(\"Key\", 'NULL') "
                                          "FROM \"CodeKey\" ORDER BY \"ID\"");
    return rows;
}

// The rows of the subject tables that belong to the subject with IDE key id.
QList<QStringList> rowsOf(const QString& code) {
    return ProgramFolder::rows(Subjects,
                               "SELECT \"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", "
                               "\"Taahol\", \"Tahsil\", \"Group\" FROM \"IDE\" WHERE \"Code\" = ?",
                               {code}) +
           ProgramFolder::rows(
               Subjects, "SELECT \"Code\", \"Group\", \"1\" FROM \"Answer\" WHERE \"Code\" = ?",
               {code}) +
           ProgramFolder::rows(Subjects,
                               "SELECT \"Code\", \"Date\" FROM \"History\" WHERE \"Code\" = ? "
                               "ORDER BY \"ID\"",
                               {code});
}

// The trail's entries of the correction: action, code, outcome, detail.
QList<QStringList> corrections() {
    return ProgramFolder::rows(trailFile(),
                               "SELECT \"Action\", \"Code\", \"Outcome\", \"Detail\" FROM "
                               "\"Audit\" WHERE \"Action\" = 'correct' ORDER BY \"Seq\"");
}

// A trail that takes no more entries, as a full disk or a server gone would.
void refuseEntries() {
    if (ProgramFolder::onServer())
        ProgramFolder::refuseInserts(QStringLiteral("Audit"), QStringLiteral("disk full"));
    else
        ProgramFolder::exec(AuditTrail::fileName(),
                            "CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"Audit\" BEGIN SELECT "
                            "RAISE(ABORT, 'disk full'); END");
}

const QString Password = QStringLiteral("correct horse");

// A whole server of our own: the operators' group roles belong to the whole
// server, and operators made here must not reach another test program's
// databases.
PgTestServer& ownServer() {
    static PgTestServer server(PgTestServer::Kind::Private);
    return server;
}

bool psqlAsAdmin(const QStringList& arguments) {
    return PgTestServer::psqlAsAdmin(ProgramFolder::caseDatabase(), arguments);
}

// The boxes of the window as the operator fills them; an empty text leaves
// a box as it is.
struct Typed {
    QString code, firstName, lastName, gender, age, marital, group, education;
};

void fill(SubjectCorrection* w, const Typed& typed) {
    const auto text = [](QLineEdit* box, const QString& value) {
        if (value.isEmpty())
            return;
        box->selectAll();
        box->del();
        box->insert(value);
    };
    const auto choose = [](QComboBox* list, const QString& value) {
        if (value.isEmpty())
            return;
        const int index = list->findText(value);
        QVERIFY2(index >= 0, qPrintable(value));
        list->setCurrentIndex(index);
    };
    text(w->codeBox, typed.code);
    text(w->firstNameBox, typed.firstName);
    text(w->lastNameBox, typed.lastName);
    choose(w->genderList, typed.gender);
    text(w->ageBox, typed.age);
    choose(w->maritalList, typed.marital);
    choose(w->groupList, typed.group);
    text(w->educationBox, typed.education);
}

} // namespace

Q_DECLARE_METATYPE(Typed)

// A registration corrected after the fact: from the code lookup and from the
// scoring window, every row that holds the subject's code or group follows,
// in one transaction with its audit entry, and nothing is written over a
// change another workstation made meanwhile.
class TestCorrection : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FrmCode> m_lookup;
    QString m_hash;
    QMap<Role, QString> m_operators;
    int m_case = 0;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    // Opens the correction of code from entrance ("lookup" or "scoring") and
    // runs act on its window; true when the window opened.
    bool correct(const QString& entrance, const QString& code,
                 const std::function<void(SubjectCorrection*)>& act) {
        // Watches for the window for as long as this call lasts, and no
        // longer: a refusal opens none.
        bool opened = false;
        QTimer watch;
        watch.setInterval(10);
        connect(&watch, &QTimer::timeout, this, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window)
                return;
            watch.stop();
            auto* correction = qobject_cast<SubjectCorrection*>(window);
            if (!correction) {
                window->close();
                return;
            }
            opened = true;
            act(correction);
            // A window a refusal left open is closed as the operator would.
            if (correction->isVisible())
                correction->cancelCorrection->click();
        });
        watch.start();
        if (entrance == QLatin1String("lookup")) {
            m_lookup = std::make_unique<FrmCode>();
            m_lookup->show();
            QTableView* grid = m_lookup->DataGrid1->table();
            while (grid->model()->canFetchMore(QModelIndex()))
                grid->model()->fetchMore(QModelIndex());
            for (int row = 0; row < grid->model()->rowCount(); ++row)
                if (grid->model()->index(row, 0).data().toString() == code) {
                    const QModelIndex cell = grid->model()->index(row, 1);
                    grid->scrollTo(cell);
                    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                                      grid->visualRect(cell).center());
                }
            m_lookup->correctButton->click();
        } else {
            FrmkLID* scoring = FrmkLID::showWindow();
            platform().inputAnswers.enqueue(code);
            scoring->Command1->click();
            if (!scoring->correctButton->isVisible())
                return false;
            scoring->correctButton->click();
        }
        watch.stop();
        return opened;
    }

    FrmkLID* scoringWindow() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* scoring = qobject_cast<FrmkLID*>(w))
                return scoring;
        return nullptr;
    }

    QStringList lookupCodes() const {
        QAbstractItemModel* model = m_lookup->DataGrid1->table()->model();
        while (model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        QStringList codes;
        for (int row = 0; row < model->rowCount(); ++row)
            codes.append(model->index(row, 0).data().toString() + QLatin1Char('/') +
                         model->index(row, 1).data().toString());
        return codes;
    }

    // An operator of each role, on the store's own terms: the file's table,
    // or the server's login roles under the roles script the clinic runs.
    void makeOperators() {
        ++m_case;
        for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
            m_operators[role] = QStringLiteral("corr%1_%2_%3")
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(m_case)
                                    .arg(roleKey(role));
        if (ProgramFolder::onServer()) {
            QStringList statements;
            for (auto it = m_operators.cbegin(); it != m_operators.cend(); ++it)
                statements.append(
                    QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE %3, %4;")
                        .arg(it.value(), Password, ServerOperators::groupRole(it.key()),
                             PgTestServer::passwordGroup()));
            QVERIFY(
                psqlAsAdmin({QStringLiteral("-f"),
                             QStringLiteral(VELMORA_ASSETS_DIR "/../packaging/velmora-server.sql"),
                             QStringLiteral("-c"), statements.join(u' ')}));
            return;
        }
        for (auto it = m_operators.cbegin(); it != m_operators.cend(); ++it) {
            Operator op;
            op.name = it.value();
            op.role = it.key();
            op.passwordHash = m_hash;
            QString error;
            QVERIFY2(OperatorTable::add(op, &error), qPrintable(error));
        }
    }

private slots:
    void initTestCase() {
        if (ProgramFolder::onServer()) {
            VELMORA_REQUIRE_PG(ownServer());
            return;
        }
        QString error;
        QVERIFY2(Passwords::hash(Password, &m_hash, &error), qPrintable(error));
    }

    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        ProgramFolder::addSubject(QStringLiteral("A-1"), QStringLiteral("Sara"),
                                  QStringLiteral("Karimi"), QStringLiteral("A"));
        ProgramFolder::addSubject(QStringLiteral("A-2"), QStringLiteral("Ali"),
                                  QStringLiteral("Ahmadi"), QStringLiteral("B"));
        ProgramFolder::exec(Subjects,
                            "UPDATE \"IDE\" SET \"Jens\" = 'زن', \"Sen\" = '41', \"Taahol\" = "
                            "'متأهل', \"Tahsil\" = 'ليسانس' WHERE \"Code\" = 'A-1'");
        ProgramFolder::setAnswers(QStringLiteral("A-1"), Answers);
        ProgramFolder::addAdministration(QStringLiteral("A-1"), QStringLiteral("1403/01/10"),
                                         QStringLiteral("10:00:00"), Answers);
        ProgramFolder::addAdministration(QStringLiteral("A-1"), QStringLiteral("1403/02/10"),
                                         QStringLiteral("11:00:00"), Answers);
        ProgramFolder::addAdministration(QStringLiteral("A-2"), QStringLiteral("1403/03/10"),
                                         QStringLiteral("12:00:00"), Answers);
        // Every code key worked out, as the first look-alike check leaves them.
        QString error;
        QVERIFY2(CodeKeys::fillMissing(SubjectStore::current(), &error), qPrintable(error));
    }

    void cleanup() {
        m_lookup.reset();
        m_folder.reset();
        Session::reset();
        if (ProgramFolder::onServer() && !m_operators.isEmpty()) {
            QStringList statements;
            for (const QString& name : std::as_const(m_operators))
                statements.append(QStringLiteral("DROP ROLE IF EXISTS %1;").arg(name));
            QProcess psql;
            psql.start(QStringLiteral("psql"),
                       {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-U"),
                        PgTestServer::adminUser(), QStringLiteral("-d"), QStringLiteral("postgres"),
                        QStringLiteral("-c"), statements.join(u' ')});
            psql.waitForFinished(60000);
        }
        m_operators.clear();
    }

    void theWindowShowsTheStoredRegistration() {
        QVERIFY(correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [](SubjectCorrection* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("اصلاح مشخصات آزمودني"));
            QCOMPARE(w->codeBox->text(), QStringLiteral("A-1"));
            QCOMPARE(w->firstNameBox->text(), QStringLiteral("Sara"));
            QCOMPARE(w->lastNameBox->text(), QStringLiteral("Karimi"));
            QCOMPARE(w->genderList->currentText(), QStringLiteral("زن"));
            QCOMPARE(w->ageBox->text(), QStringLiteral("41"));
            QCOMPARE(w->maritalList->currentText(), QStringLiteral("متأهل"));
            QCOMPARE(w->groupList->currentText(), QStringLiteral("A"));
            QCOMPARE(w->educationBox->text(), QStringLiteral("ليسانس"));
            // Named as the registration's captions name its fields, in its order.
            QCOMPARE(w->lastNameBox->accessibleName(), QStringLiteral("نام خانوادگي"));
            // The keyboard walks the fields in the registration's order.
            w->codeBox->setFocus();
            for (QWidget* next :
                 {static_cast<QWidget*>(w->firstNameBox), static_cast<QWidget*>(w->lastNameBox),
                  static_cast<QWidget*>(w->genderList), static_cast<QWidget*>(w->ageBox),
                  static_cast<QWidget*>(w->maritalList), static_cast<QWidget*>(w->groupList),
                  static_cast<QWidget*>(w->educationBox), static_cast<QWidget*>(w->saveCorrection),
                  static_cast<QWidget*>(w->cancelCorrection)}) {
                pressKey(w, Qt::Key_Tab);
                QCOMPARE(w->focusWidget(), next);
            }
        }));
        QCOMPARE(corrections(), QList<QStringList>());
    }

    // Each field and the code, from both windows: the subject's every row
    // follows, the other subject's rows do not move, and the window that
    // opened the correction shows the corrected row.
    void everyTableFollows_data() {
        QTest::addColumn<QString>("entrance");
        QTest::addColumn<Typed>("typed");
        QTest::addColumn<QStringList>("registration"); // IDE afterwards
        QTest::addColumn<QString>("sheetGroup");
        const QStringList asRead = {"A-1", "Sara", "Karimi", "زن", "41", "متأهل", "ليسانس", "A"};
        const auto with = [&](std::initializer_list<std::pair<int, const char*>> changes) {
            QStringList row = asRead;
            for (const auto& [i, value] : changes)
                row[i] = QString::fromUtf8(value);
            return row;
        };
        for (const char* entrance : {"lookup", "scoring"}) {
            QTest::addRow("fields from the %s", entrance)
                << QString::fromLatin1(entrance)
                << Typed{{}, "Sarah", "Karimi-Nouri", "مرد", "42", "مجرد", "C", "فوق ليسانس"}
                << with({{1, "Sarah"},
                         {2, "Karimi-Nouri"},
                         {3, "مرد"},
                         {4, "42"},
                         {5, "مجرد"},
                         {6, "فوق ليسانس"},
                         {7, "C"}})
                << "C";
            QTest::addRow("code from the %s", entrance)
                << QString::fromLatin1(entrance) << Typed{"A-10", {}, {}, {}, {}, {}, {}, {}}
                << with({{0, "A-10"}}) << "A";
            QTest::addRow("code and group from the %s", entrance)
                << QString::fromLatin1(entrance) << Typed{"B-7", "Sarah", {}, {}, {}, {}, "B", {}}
                << with({{0, "B-7"}, {1, "Sarah"}, {7, "B"}}) << "B";
        }
    }
    void everyTableFollows() {
        QFETCH(QString, entrance);
        QFETCH(Typed, typed);
        QFETCH(QStringList, registration);
        QFETCH(QString, sheetGroup);
        const QString newCode = registration.first();
        const QString id =
            ProgramFolder::value(Subjects, "SELECT \"ID\" FROM \"IDE\" WHERE \"Code\" = 'A-1'");
        const QList<QStringList> other = rowsOf(QStringLiteral("A-2"));
        const QString otherKey = ProgramFolder::value(
            Subjects, "SELECT \"Key\" FROM \"CodeKey\" JOIN \"IDE\" USING (\"ID\") WHERE "
                      "\"Code\" = 'A-2'");

        QVERIFY(correct(entrance, QStringLiteral("A-1"), [&](SubjectCorrection* w) {
            fill(w, typed);
            w->saveCorrection->click();
            QVERIFY(!w->isVisible());
        }));

        QCOMPARE(platform().messageTexts(), QStringList());
        const QList<QStringList> rows = rowsOf(newCode);
        QCOMPARE(rows.value(0), registration);
        QCOMPARE(rows.value(1), (QStringList{newCode, sheetGroup, "5"}));
        QCOMPARE(rows.mid(2),
                 (QList<QStringList>{{newCode, "1403/01/10"}, {newCode, "1403/02/10"}}));
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"ID\" FROM \"IDE\" WHERE \"Code\" = ?",
                                      {newCode}),
                 id);
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"Key\" FROM \"CodeKey\" WHERE \"ID\" = ?",
                                      {id}),
                 codeKey(newCode));
        if (newCode != QLatin1String("A-1"))
            QCOMPARE(rowsOf(QStringLiteral("A-1")), QList<QStringList>());
        QCOMPARE(rowsOf(QStringLiteral("A-2")), other);
        QCOMPARE(ProgramFolder::value(Subjects,
                                      "SELECT \"Key\" FROM \"CodeKey\" JOIN \"IDE\" USING "
                                      "(\"ID\") WHERE \"Code\" = 'A-2'"),
                 otherKey);
        QCOMPARE(corrections().size(), 1);
        QCOMPARE(corrections().first().mid(0, 3), (QStringList{"correct", newCode, "done"}));

        // The window it was opened from shows the corrected row.
        if (entrance == QLatin1String("lookup")) {
            QVERIFY2(lookupCodes().contains(newCode + QLatin1Char('/') + registration.at(1)),
                     qPrintable(lookupCodes().join(u' ')));
            QVERIFY(!lookupCodes().contains(QStringLiteral("A-1/Sara")) ||
                    registration.at(1) == QLatin1String("Sara"));
        } else {
            FrmkLID* scoring = scoringWindow();
            QVERIFY(scoring);
            QCOMPARE(scoring->Text15->text(), newCode);
            QCOMPARE(scoring->Text3[3]->text(), registration.at(1));
            QCOMPARE(scoring->Text12->text(), registration.at(2));
            QCOMPARE(scoring->Text6->text(), registration.at(4));
            QCOMPARE(scoring->Txt3[1]->text(), QStringLiteral("5"));
            // The scores go on: the report follows the subject's new code.
            QCOMPARE(scoring->Text5->text(), newCode);
        }
    }

    // The same code written another way (its Arabic yeh as the Persian one)
    // is the subject's own: correcting it is no look-alike of anybody.
    void theCodeWrittenAnotherWayIsTheSubjectsOwn() {
        const QString arabic = QStringLiteral("مري") + QChar(0x064A) + QStringLiteral("-3");
        const QString persian = QStringLiteral("مري") + QChar(0x06CC) + QStringLiteral("-3");
        ProgramFolder::addSubject(arabic);
        QVERIFY(correct(QStringLiteral("lookup"), arabic, [&](SubjectCorrection* w) {
            fill(w, Typed{persian, {}, {}, "مرد", {}, "مجرد", {}, {}});
            w->saveCorrection->click();
        }));
        QCOMPARE(platform().messageTexts(), QStringList());
        QCOMPARE(rowsOf(persian).size(), 2);
        QCOMPARE(rowsOf(arabic), QList<QStringList>());
    }

    // A new code that another row holds, or that reads as another subject's
    // code reads, is refused as at registration; nothing changes.
    void takenCodesAreRefused_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("notice");  // the notice that refuses it, or
        QTest::addColumn<QString>("message"); // the message that does
        const QString duplicate = QStringLiteral("فردديگري با اين کد ثبت شده");
        QTest::newRow("another subject's code") << "A-2" << QString() << duplicate << QString();
        QTest::newRow("a sheet without a registration")
            << "S-9"
            << "INSERT INTO \"Answer\" (\"Code\") VALUES ('S-9')" << duplicate << QString();
        QTest::newRow("administrations without a registration")
            << "H-9"
            << "INSERT INTO \"History\" (\"Code\", \"Date\") VALUES ('H-9', '1400/01/01')"
            << duplicate << QString();
        QTest::newRow("a direction mark in another's code")
            << QStringLiteral("A-") + QChar(0x200F) + QStringLiteral("2") << QString() << QString()
            << QStringLiteral("کد «") + QChar(0x2068) + QStringLiteral("A-2");
        QTest::newRow("Persian digits in another's code")
            << QStringLiteral("A-") + QChar(0x06F2) << QString() << QString()
            << QStringLiteral("کد «") + QChar(0x2068) + QStringLiteral("A-2");
    }
    void takenCodesAreRefused() {
        QFETCH(QString, code);
        QFETCH(QString, fixture);
        QFETCH(QString, notice);
        QFETCH(QString, message);
        if (!fixture.isEmpty())
            ProgramFolder::exec(Subjects, fixture);
        const QList<QStringList> before = everyRow();
        QVERIFY(
            correct(QStringLiteral("scoring"), QStringLiteral("A-1"), [&](SubjectCorrection* w) {
                fill(w, Typed{code, "Sarah", {}, {}, {}, {}, "C", {}});
                w->saveCorrection->click();
                // The window stays, with what the operator typed.
                QVERIFY(w->isVisible());
                QCOMPARE(w->codeBox->text(), code);
                QCOMPARE(w->firstNameBox->text(), QStringLiteral("Sarah"));
            }));
        if (!notice.isEmpty())
            QCOMPARE(platform().noticeTexts(), QStringList{notice});
        if (!message.isEmpty()) {
            QCOMPARE(platform().messageTexts().size(), 1);
            QVERIFY2(platform().messageTexts().first().startsWith(message),
                     qPrintable(platform().messageTexts().first()));
        }
        QCOMPARE(everyRow(), before);
        QCOMPARE(corrections(), QList<QStringList>());
        QCOMPARE(scoringWindow()->Text15->text(), QStringLiteral("A-1"));
    }

    // The registration's checks: every field is required, the age is digits.
    void anEmptiedFieldIsAskedFor_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("notice");
        QTest::newRow("code") << "codeBox"
                              << "کد آزمودني را وارد کنيد";
        QTest::newRow("last name") << "lastNameBox"
                                   << "نام خانوادگي آزمودني را وارد کنيد";
        QTest::newRow("age") << "ageBox"
                             << "سن آزمودني را وارد کنيد";
        QTest::newRow("education") << "educationBox"
                                   << "ميزان تحصيلات آزمودني را وارد کنيد";
    }
    void anEmptiedFieldIsAskedFor() {
        QFETCH(QString, box);
        QFETCH(QString, notice);
        const QList<QStringList> before = everyRow();
        QVERIFY(correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [&](SubjectCorrection* w) {
            auto* field = w->findChild<QLineEdit*>(box);
            QVERIFY(field);
            field->clear();
            QTest::keyClicks(w->ageBox, QStringLiteral("x"));
            w->saveCorrection->click();
            QVERIFY(w->isVisible());
            QCOMPARE(w->focusWidget(), field);
        }));
        QVERIFY(platform().noticeTexts().contains(notice));
        QCOMPARE(everyRow(), before);
    }

    // Another workstation writes the row after the window read it: the
    // correction is refused in plain words and the other change stays.
    void aRaceWithAnotherWorkstationIsRefused_data() {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QString>("message");
        const QString changed = QStringLiteral("مشخصات اين آزمودني پس از باز شدن اين پنجره در "
                                               "ايستگاه ديگري تغيير کرده است.");
        const QString replaced =
            QStringLiteral("اين آزمودني پس از باز شدن اين پنجره در ايستگاه ديگري برداشته يا "
                           "جايگزين شده است.");
        QTest::newRow("a field changed")
            << "UPDATE \"IDE\" SET \"Sen\" = '55' WHERE \"Code\" = 'A-1'" << changed;
        QTest::newRow("the same field changed")
            << "UPDATE \"IDE\" SET \"FName\" = 'Sahar' WHERE \"Code\" = 'A-1'" << changed;
        QTest::newRow("a field emptied")
            << "UPDATE \"IDE\" SET \"Tahsil\" = NULL WHERE \"Code\" = 'A-1'" << changed;
        QTest::newRow("the code changed")
            << "UPDATE \"IDE\" SET \"Code\" = 'Z-1' WHERE \"Code\" = 'A-1'" << replaced;
        QTest::newRow("the row erased") << "DELETE FROM \"IDE\" WHERE \"Code\" = 'A-1'" << replaced;
    }
    void aRaceWithAnotherWorkstationIsRefused() {
        QFETCH(QString, elsewhere);
        QFETCH(QString, message);
        QList<QStringList> afterElsewhere;
        QVERIFY(correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [&](SubjectCorrection* w) {
            fill(w, Typed{"A-10", "Sarah", {}, {}, {}, {}, "C", {}});
            ProgramFolder::exec(Subjects, elsewhere);
            afterElsewhere = everyRow();
            w->saveCorrection->click();
            QVERIFY(w->isVisible());
        }));
        QCOMPARE(platform().messageTexts().size(), 1);
        QVERIFY2(platform().messageTexts().first().startsWith(message),
                 qPrintable(platform().messageTexts().first()));
        QVERIFY(platform().messageTexts().first().contains(
            QStringLiteral("اصلاح ذخيره نشد و هيچ چيز تغيير نکرد.")));
        QCOMPARE(everyRow(), afterElsewhere);
        QCOMPARE(corrections(), QList<QStringList>());
    }

    // The entry names the fields that changed and keeps the values they had,
    // except for the names: of those only that they changed.
    void theEntryKeepsOldValuesAndNoNames() {
        QVERIFY(correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [](SubjectCorrection* w) {
            fill(w, Typed{"A-10", "Sarah", "Nouri", "مرد", "42", "مجرد", "C", "ديپلم"});
            w->saveCorrection->click();
        }));
        const QList<QStringList> entries = corrections();
        QCOMPARE(entries.size(), 1);
        const QString iso = QString(QChar(0x2068)), pdi = QString(QChar(0x2069));
        QCOMPARE(entries.first(),
                 (QStringList{
                     "correct", "A-10", "done",
                     QStringLiteral("اصلاح: نام، نام خانوادگي، جنس (پيشين: ") + iso +
                         QStringLiteral("زن") + pdi + QStringLiteral(")، سن (پيشين: ") + iso +
                         QStringLiteral("41") + pdi + QStringLiteral(")، تاهل (پيشين: ") + iso +
                         QStringLiteral("متأهل") + pdi + QStringLiteral(")، گروه (پيشين: ") + iso +
                         QStringLiteral("A") + pdi + QStringLiteral(")، تحصيلات (پيشين: ") + iso +
                         QStringLiteral("ليسانس") + pdi + QStringLiteral(")، کد (پيشين: ") + iso +
                         QStringLiteral("A-1") + pdi + QStringLiteral(")")}));
        // No name, old or new, anywhere in the trail.
        for (const char* name : {"Sara", "Karimi", "Nouri"})
            QCOMPARE(ProgramFolder::value(trailFile(),
                                          "SELECT COUNT(*) FROM \"Audit\" WHERE \"Detail\" LIKE ? "
                                          "OR \"Code\" LIKE ?",
                                          {QStringLiteral("%%1%").arg(QLatin1String(name)),
                                           QStringLiteral("%%1%").arg(QLatin1String(name))}),
                     QStringLiteral("0"));
    }

    // Unchanged boxes store nothing and record nothing.
    void savingWhatWasReadStoresNothing() {
        const QList<QStringList> before = everyRow();
        QVERIFY(correct(QStringLiteral("scoring"), QStringLiteral("A-1"),
                        [](SubjectCorrection* w) { w->saveCorrection->click(); }));
        QCOMPARE(everyRow(), before);
        QCOMPARE(corrections(), QList<QStringList>());
    }

    // A correction whose entry cannot be written is not stored.
    void anUnwritableTrailFailsTheCorrection() {
        const QList<QStringList> before = everyRow();
        QVERIFY(correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [](SubjectCorrection* w) {
            fill(w, Typed{"A-10", "Sarah", {}, {}, "42", {}, "C", {}});
            refuseEntries();
            w->saveCorrection->click();
            QVERIFY(w->isVisible());
        }));
        QCOMPARE(platform().messageTexts().size(), 1);
        const QString text = platform().messageTexts().first();
        QVERIFY2(text.contains(Audit::unrecordedText()) &&
                     text.contains(QStringLiteral("disk full")),
                 qPrintable(text));
        QCOMPARE(everyRow(), before);
        QVERIFY(lookupCodes().contains(QStringLiteral("A-1/Sara")));
    }

    // Clinician and admin may correct; reception is refused, and the refusal
    // is recorded.
    void onlyClinicianAndAdminMayCorrect_data() {
        QTest::addColumn<int>("role");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("reception") << int(Role::Reception) << false;
        QTest::newRow("clinician") << int(Role::Clinician) << true;
        QTest::newRow("admin") << int(Role::Admin) << true;
    }
    void onlyClinicianAndAdminMayCorrect() {
        QFETCH(int, role);
        QFETCH(bool, allowed);
        makeOperators();
        QString error;
        QVERIFY2(Session::refresh(&error), qPrintable(error));
        QVERIFY(Session::inForce());
        const SignIn::Attempt signedIn =
            SignIn::attempt(m_operators.value(static_cast<Role>(role)), Password);
        QVERIFY2(signedIn.result == SignIn::Result::Done, qPrintable(signedIn.message));
        const QList<QStringList> before = everyRow();
        // The code too: every table the correction writes, under the
        // operator's own grants on a server.
        const bool opened =
            correct(QStringLiteral("lookup"), QStringLiteral("A-1"), [](SubjectCorrection* w) {
                fill(w, Typed{"A-10", "Sarah", {}, {}, {}, {}, "C", {}});
                w->saveCorrection->click();
            });
        QCOMPARE(opened, allowed);
        if (allowed) {
            QCOMPARE(platform().messageTexts(), QStringList());
            QCOMPARE(corrections().value(0).mid(0, 3), (QStringList{"correct", "A-10", "done"}));
            QCOMPARE(rowsOf(QStringLiteral("A-10")).size(), 4);
            return;
        }
        QCOMPARE(platform().messageTexts().size(), 1);
        QVERIFY(platform().messageTexts().first().contains(QStringLiteral("«درمانگر» و «مدير»")));
        QCOMPARE(corrections(), (QList<QStringList>{{"correct", "A-1", "refused", ""}}));
        QCOMPARE(everyRow(), before);
    }

    // The lookup corrects the subject selected in its list, and asks for one.
    void theLookupAsksForASelectedSubject() {
        m_lookup = std::make_unique<FrmCode>();
        m_lookup->show();
        m_lookup->correctButton->click();
        QCOMPARE(platform().noticeTexts(),
                 QStringList{QStringLiteral("ابتدا آزمودني را در فهرست انتخاب کنيد")});
        QVERIFY(!QApplication::activeModalWidget());
    }
};

VELMORA_TEST_MAIN(TestCorrection)
#include "tst_correction.moc"
