// Operators on a shared server: the group roles and grants of
// packaging/velmora-server.sql, the sign-in as a server role, and the
// operator commands. Always on a PostgreSQL server of the test's own: the
// roles belong to the whole server.
#include "access/Session.h"
#include "access/SignIn.h"
#include "access/SignInWindow.h"
#include "app/App.h"
#include "app/Frm1.h"
#include "data/Database.h"
#include "data/Operators.h"
#include "data/ServerStore.h"
#include "data/SubjectStore.h"
#include "support/Command.h"
#include "support/PgSession.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <memory>

using namespace velmora;

Q_DECLARE_METATYPE(velmora::Role)

namespace {

const QString Password = QStringLiteral("correct horse");

PgTestServer& ownServer() {
    static PgTestServer server(PgTestServer::Kind::Private);
    return server;
}

bool psqlAsAdmin(const QStringList& arguments) {
    return PgTestServer::psqlAsAdmin(ProgramFolder::caseDatabase(), arguments);
}

bool asAdmin(const QString& sql) {
    return psqlAsAdmin({QStringLiteral("-c"), sql});
}

// One statement in a session of its own as role, rolled back; its SQLSTATE
// ("" when it ran).
QString tryAs(const QString& role, const QString& password, const QString& sql) {
    const QString name = QStringLiteral("try-as");
    QString state;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(ProgramFolder::caseDatabase());
        db.setUserName(role);
        db.setPassword(password);
        if (!db.open())
            qFatal("%s cannot log in: %s", qPrintable(role), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        if (!q.exec(sql))
            state = q.lastError().nativeErrorCode();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return state;
}

QString scriptPath() {
    return QStringLiteral(VELMORA_ASSETS_DIR "/../packaging/velmora-server.sql");
}

} // namespace

class TestServerRoles : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    QMap<Role, QString> m_names;
    QStringList m_made;
    int m_case = 0;

    QString makeRole(const QString& suffix, const QString& attributes) {
        const QString name = QStringLiteral("sr%1_%2_%3")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(m_case)
                                 .arg(suffix);
        if (!asAdmin(QStringLiteral("CREATE ROLE %1 %2").arg(name, attributes)))
            qFatal("cannot make role %s", qPrintable(name));
        m_made.append(name);
        return name;
    }

private slots:
    void initTestCase() {
        qputenv("VELMORA_TEST_STORE", "postgresql");
        VELMORA_REQUIRE_PG(ownServer());
    }

    void init() {
        ++m_case;
        m_folder = std::make_unique<ProgramFolder>();
        QVERIFY(psqlAsAdmin({QStringLiteral("-f"), scriptPath()}));
        // Running it again changes nothing and fails nowhere.
        QVERIFY(psqlAsAdmin({QStringLiteral("-f"), scriptPath()}));
        for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
            m_names[role] =
                makeRole(roleKey(role), QStringLiteral("LOGIN PASSWORD '%1' IN ROLE "
                                                       "%2, %3")
                                            .arg(Password, ServerOperators::groupRole(role),
                                                 PgTestServer::passwordGroup()));
        QString error;
        QVERIFY2(Session::refresh(&error), qPrintable(error));
        QVERIFY(Session::inForce());
    }

    void cleanup() {
        m_folder.reset();
        for (const QString& name : std::as_const(m_made))
            asAdmin(QStringLiteral("DROP ROLE IF EXISTS %1").arg(name));
        m_made.clear();
    }

    // Where the grants can refuse, the server refuses, whatever the program
    // would have said; the trail takes entries from everyone and changes
    // from nobody.
    void theServerRefusesWhatARoleMayNotDo_data() {
        QTest::addColumn<Role>("role");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("refused");
        const QString readHistory = QStringLiteral("SELECT * FROM \"History\"");
        const QString readTrail = QStringLiteral("SELECT * FROM \"Audit\"");
        const QString removeSubjects = QStringLiteral("DELETE FROM \"IDE\"");
        const QString addAdministration = QStringLiteral(
            "INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\") VALUES ('x', 'd', 't')");
        const QString storeAnswer = QStringLiteral("UPDATE \"Answer\" SET \"1\" = '3'");
        const QString addEntry = QStringLiteral(
            "INSERT INTO \"Audit\" (\"Workstation\", \"Action\", \"Code\", \"Outcome\", "
            "\"Detail\") VALUES ('ws', 'lock', '', 'done', '')");
        QTest::newRow("reception reads history") << Role::Reception << readHistory << true;
        QTest::newRow("reception reads the trail") << Role::Reception << readTrail << true;
        QTest::newRow("reception removes subjects") << Role::Reception << removeSubjects << true;
        QTest::newRow("reception adds an administration")
            << Role::Reception << addAdministration << false;
        QTest::newRow("reception stores an answer") << Role::Reception << storeAnswer << false;
        QTest::newRow("clinician reads history") << Role::Clinician << readHistory << false;
        // A corrected code takes the subject's administrations along, and
        // nothing else of an administration changes.
        const QString moveAdministrations =
            QStringLiteral("UPDATE \"History\" SET \"Code\" = 'S-2' WHERE \"Code\" = 'S-1'");
        const QString changeAdministration = QStringLiteral("UPDATE \"History\" SET \"1\" = '3'");
        QTest::newRow("reception moves administrations to a corrected code")
            << Role::Reception << moveAdministrations << true;
        QTest::newRow("clinician moves administrations to a corrected code")
            << Role::Clinician << moveAdministrations << false;
        QTest::newRow("clinician changes an administration")
            << Role::Clinician << changeAdministration << true;
        QTest::newRow("admin changes an administration")
            << Role::Admin << changeAdministration << true;
        QTest::newRow("clinician reads the trail") << Role::Clinician << readTrail << true;
        QTest::newRow("clinician removes subjects") << Role::Clinician << removeSubjects << true;
        QTest::newRow("admin reads the trail") << Role::Admin << readTrail << false;
        QTest::newRow("admin removes subjects (a restore)")
            << Role::Admin << removeSubjects << false;
        for (Role role : {Role::Reception, Role::Clinician, Role::Admin}) {
            const QByteArray who = roleKey(role).toLatin1();
            QTest::addRow("%s adds an entry", who.constData()) << role << addEntry << false;
            QTest::addRow("%s changes an entry", who.constData())
                << role << QStringLiteral("UPDATE \"Audit\" SET \"Detail\" = 'x'") << true;
            QTest::addRow("%s removes an entry", who.constData())
                << role << QStringLiteral("DELETE FROM \"Audit\"") << true;
            QTest::addRow("%s empties the trail", who.constData())
                << role << QStringLiteral("TRUNCATE \"Audit\"") << true;
        }
    }
    void theServerRefusesWhatARoleMayNotDo() {
        QFETCH(Role, role);
        QFETCH(QString, sql);
        QFETCH(bool, refused);
        QString error;
        ProgramFolder::addSubject(QStringLiteral("S-1"));
        ProgramFolder::exec("DBM/DB2.mdb", "INSERT INTO \"Audit\" (\"Workstation\", \"Action\", "
                                           "\"Code\", \"Outcome\", \"Detail\") VALUES ('ws', "
                                           "'start', '', 'done', '')");
        const QString state = tryAs(m_names.value(role), Password, sql);
        QCOMPARE(state, refused ? QStringLiteral("42501") : QString());
    }

    // Not even the tables' owner changes an entry: a trigger refuses.
    void theOwnerCannotChangeTheTrailEither() {
        ProgramFolder::exec("DBM/DB2.mdb", "INSERT INTO \"Audit\" (\"Workstation\", \"Action\", "
                                           "\"Code\", \"Outcome\", \"Detail\") VALUES ('ws', "
                                           "'start', '', 'done', '')");
        for (const QString& sql :
             {QStringLiteral("UPDATE \"Audit\" SET \"Detail\" = 'x'"),
              QStringLiteral("DELETE FROM \"Audit\""), QStringLiteral("TRUNCATE \"Audit\"")})
            QCOMPARE(tryAs(qEnvironmentVariable("PGUSER"), QString(), sql),
                     QStringLiteral("42501"));
        // An entry's operator is the session's, whatever the program says.
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Operator\" FROM \"Audit\""),
                 qEnvironmentVariable("PGUSER"));
    }

    // A restore as reception fails on the server itself, and leaves every
    // table as it was.
    void aRestoreByReceptionIsRefusedByTheServer() {
        ProgramFolder::addSubject(QStringLiteral("S-1"));
        const QString backup = m_folder->file(QStringLiteral("Back/b.mdbB"));
        QString error;
        QDir().mkpath(m_folder->file(QStringLiteral("Back")));
        {
            std::unique_ptr<StoreSnapshot> snapshot = SubjectStore::current().snapshot(
                m_folder->file(QStringLiteral("Back")), {}, &error);
            QVERIFY2(snapshot, qPrintable(error));
            QVERIFY(QFile::copy(snapshot->path(), backup));
        }
        const QString again = m_folder->file(QStringLiteral("Back/again.mdbB"));
        QVERIFY(QFile::copy(backup, again));
        ProgramFolder::addSubject(QStringLiteral("S-2"));
        QCOMPARE(SignIn::attempt(m_names.value(Role::Reception), Password).result,
                 SignIn::Result::Done);
        QVERIFY(!SubjectStore::current().replaceWith(backup, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("permission denied")), qPrintable(error));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM \"IDE\""), QString("2"));
        QCOMPARE(SignIn::attempt(m_names.value(Role::Admin), Password).result,
                 SignIn::Result::Done);
        QVERIFY2(SubjectStore::current().replaceWith(again, {}, &error), qPrintable(error));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM \"IDE\""), QString("1"));
    }

    // The sign-in logs in to the server; the server's own groups say who is
    // who. The program keeps no password of a server operator.
    void signingInToTheServer_data() {
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        QTest::newRow("clinician") << "clinician" << Password << int(SignIn::Result::Done);
        QTest::newRow("wrong password") << "clinician"
                                        << "wrong horse" << int(SignIn::Result::Refused);
        QTest::newRow("unknown name") << "nobody" << Password << int(SignIn::Result::Refused);
        QTest::newRow("a role of no group")
            << "outsider" << Password << int(SignIn::Result::NotOperator);
        QTest::newRow("disabled") << "disabled" << Password << int(SignIn::Result::Disabled);
    }
    void signingInToTheServer() {
        QFETCH(QString, who);
        QFETCH(QString, password);
        QFETCH(int, result);
        QString name = who == QLatin1String("clinician") ? m_names.value(Role::Clinician)
                                                         : QStringLiteral("nobody_here");
        if (who == QLatin1String("outsider"))
            name = makeRole(QStringLiteral("outsider"),
                            QStringLiteral("LOGIN PASSWORD '%1' IN ROLE %2")
                                .arg(Password, PgTestServer::passwordGroup()));
        if (who == QLatin1String("disabled"))
            name = makeRole(QStringLiteral("disabled"),
                            QStringLiteral("NOLOGIN PASSWORD '%1' IN ROLE velmora_reception, %2")
                                .arg(Password, PgTestServer::passwordGroup()));
        const SignIn::Attempt attempt = SignIn::attempt(name, password);
        QCOMPARE(int(attempt.result), result);
        if (attempt.result == SignIn::Result::Done) {
            QCOMPARE(Session::role(), Role::Clinician);
            QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Operator\" FROM \"Audit\" "
                                                         "ORDER BY \"Seq\" DESC LIMIT 1"),
                     name);
            QCOMPARE(dynamic_cast<ServerStore&>(SubjectStore::current()).loginUrl().user, name);
        } else {
            QVERIFY(!Session::signedIn());
            // The failure is recorded through the workstation's own login.
            QCOMPARE(dynamic_cast<ServerStore&>(SubjectStore::current()).loginUrl().user,
                     QString());
            QVERIFY(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Detail\" FROM \"Audit\" ORDER "
                                                        "BY \"Seq\" DESC LIMIT 1")
                        .contains(name));
        }
    }

    // A server that lets nobody in without a password: the sign-in comes
    // before everything and opens the store with the operator's login.
    void aServerThatWantsAPasswordSignsInFirst() {
        StoreUrl url;
        url.database = ProgramFolder::caseDatabase();
        url.user = m_names.value(Role::Admin);
        Database::closeAll();
        SubjectStore::install(SubjectStore::server(url));
        Session::reset();
        whenModal([this](QWidget* window) {
            auto* signIn = qobject_cast<SignInWindow*>(window);
            QVERIFY(signIn);
            signIn->nameBox->setText(m_names.value(Role::Admin));
            signIn->passwordBox->setText(Password);
            signIn->signInButton->click();
        });
        QVERIFY(startVelmora());
        QVERIFY(Frm1::instance());
        QCOMPARE(Session::role(), Role::Admin);
        QCOMPARE(Session::operatorName(), m_names.value(Role::Admin));
    }

    // The commands create and change server roles only for a role the
    // server lets do so; passwords reach the server as SCRAM verifiers.
    void theOperatorCommandsOnTheServer() {
        const QString url = QStringLiteral("postgresql:///") + ProgramFolder::caseDatabase();
        const CommandResult refused =
            runCommand({QStringLiteral("--add-operator"), QStringLiteral("newcomer"),
                        QStringLiteral("--role"), QStringLiteral("clinician")},
                       "a new password\n", url);
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("CREATEROLE")), qPrintable(refused.err));

        // An admin operator whom the server's owner let create roles.
        const QString manager =
            makeRole(QStringLiteral("manager"),
                     QStringLiteral("LOGIN CREATEROLE PASSWORD '%1' IN ROLE velmora_admin, %2")
                         .arg(Password, PgTestServer::passwordGroup()));
        const QStringList asManager{QStringLiteral("--operator"), manager};
        const QByteArray signIn = (Password + QStringLiteral("\n")).toUtf8();
        const QString newcomer = manager + QStringLiteral("_new");
        m_made.append(newcomer);
        const CommandResult added = runCommand(
            asManager + QStringList{QStringLiteral("--add-operator"), newcomer,
                                    QStringLiteral("--role"), QStringLiteral("clinician")},
            signIn + "a new password\n");
        QVERIFY2(added.status == 0, qPrintable(added.err));
        QVERIFY2(added.err.isEmpty(), qPrintable(added.err));
        // Into the password group by hand, as the test server wants it.
        QVERIFY(
            asAdmin(QStringLiteral("GRANT %1 TO %2").arg(PgTestServer::passwordGroup(), newcomer)));
        QCOMPARE(SignIn::attempt(newcomer, QStringLiteral("a new password")).result,
                 SignIn::Result::Done);
        QCOMPARE(Session::role(), Role::Clinician);
        {
            PgSession admin(ProgramFolder::caseDatabase(), QStringLiteral("pg-admin"),
                            PgTestServer::adminUser());
            const QString verifier =
                admin.value("SELECT rolpassword FROM pg_authid WHERE rolname = ?", {newcomer});
            QVERIFY(verifier.startsWith(QStringLiteral("SCRAM-SHA-256$")));
            QVERIFY(!verifier.contains(QStringLiteral("a new password")));
        }

        const CommandResult listed =
            runCommand(asManager + QStringList{QStringLiteral("--list-operators")}, signIn);
        QCOMPARE(listed.status, 0);
        QVERIFY2(listed.out.contains(newcomer + QStringLiteral("\tclinician\tenabled")),
                 qPrintable(listed.out));
        QVERIFY(listed.out.contains(m_names.value(Role::Admin) + QStringLiteral("\tadmin\t")));

        QCOMPARE(runCommand(asManager + QStringList{QStringLiteral("--disable-operator"), newcomer},
                            signIn)
                     .status,
                 0);
        QCOMPARE(SignIn::attempt(newcomer, QStringLiteral("a new password")).result,
                 SignIn::Result::Disabled);
        QCOMPARE(runCommand(asManager + QStringList{QStringLiteral("--enable-operator"), newcomer},
                            signIn)
                     .status,
                 0);
        QCOMPARE(runCommand(asManager + QStringList{QStringLiteral("--reset-password"), newcomer},
                            signIn + "another password\n")
                     .status,
                 0);
        // The disabled try above holds the name back a second; that has passed.
        ProgramFolder::exec("DBM/DB.mdb", "DELETE FROM \"SignInDelay\"");
        QCOMPARE(SignIn::attempt(newcomer, QStringLiteral("another password")).result,
                 SignIn::Result::Done);
        // Another admin may go; the last admin that may sign in stays.
        QCOMPARE(runCommand(asManager + QStringList{QStringLiteral("--disable-operator"),
                                                    m_names.value(Role::Admin)},
                            signIn)
                     .status,
                 0);
        const CommandResult last = runCommand(
            asManager + QStringList{QStringLiteral("--disable-operator"), manager}, signIn);
        QCOMPARE(last.status, 1);
        QVERIFY2(last.err.contains(QStringLiteral("آخرين مدير فعال")), qPrintable(last.err));
        // Every change is in the trail under the manager's login.
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb",
                                      "SELECT COUNT(*) FROM \"Audit\" WHERE \"Action\" = "
                                      "'operators' AND \"Outcome\" = 'done' AND \"Operator\" = ?",
                                      {manager}),
                 QString("5"));
    }
};

VELMORA_TEST_MAIN(TestServerRoles)
#include "tst_serverroles.moc"
