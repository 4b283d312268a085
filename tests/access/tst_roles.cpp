#include "access/AuditWindow.h"
#include "access/OperatorsWindow.h"
#include "access/Passwords.h"
#include "access/Roles.h"
#include "access/Session.h"
#include "access/SignIn.h"
#include "app/Frm1.h"
#include "data/AuditTrail.h"
#include "data/Operators.h"
#include "dialogs/exitpro.h"
#include "registry/FrmCode.h"
#include "scoring/FrmkLID.h"
#include "settings/SettingsPanel.h"
#include "support/Command.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

Q_DECLARE_METATYPE(velmora::Role)

namespace {

const QString Password = QStringLiteral("correct horse");

// The trail's last entry: action, outcome.
QStringList lastEntry() {
    const QString sql = QStringLiteral("SELECT \"Action\", \"Outcome\" FROM \"Audit\" ORDER BY "
                                       "\"Seq\" DESC LIMIT 1");
    return ProgramFolder::rows(ProgramFolder::onServer() ? QStringLiteral("DBM/DB2.mdb")
                                                         : AuditTrail::fileName(),
                               sql)
        .value(0);
}

// A whole server of our own: Velmora's group roles belong to the whole
// server, and operators made here must not reach another test program's
// databases.
PgTestServer& ownServer() {
    static PgTestServer server(PgTestServer::Kind::Private);
    return server;
}

bool psqlAsAdmin(const QStringList& arguments) {
    return PgTestServer::psqlAsAdmin(ProgramFolder::caseDatabase(), arguments);
}

QString serverScript() {
    return QStringLiteral(VELMORA_ASSETS_DIR "/../packaging/velmora-server.sql");
}

} // namespace

// Each role may do what its row of the table says and nothing more, at every
// entrance: the main window's buttons, the windows' own commands, and the
// command line; on the file store and on a server. A refusal says in Persian
// which roles may, and is recorded.
class TestRoles : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    QString m_hash;
    QMap<Role, QString> m_names;
    int m_case = 0;

    // An admin (so operators are in force) and one operator of each role.
    void makeOperators() {
        m_names.clear();
        ++m_case;
        for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
            m_names[role] = QStringLiteral("op%1_%2_%3")
                                .arg(QCoreApplication::applicationPid())
                                .arg(m_case)
                                .arg(roleKey(role));
        if (ProgramFolder::onServer()) {
            // One psql for the script and the roles: each start of it costs.
            QStringList statements;
            for (auto it = m_names.cbegin(); it != m_names.cend(); ++it)
                statements.append(
                    QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE %3, %4;")
                        .arg(it.value(), Password, ServerOperators::groupRole(it.key()),
                             PgTestServer::passwordGroup()));
            QVERIFY(psqlAsAdmin({QStringLiteral("-f"), serverScript(), QStringLiteral("-c"),
                                 statements.join(u' ')}));
            return;
        }
        for (auto it = m_names.cbegin(); it != m_names.cend(); ++it) {
            Operator op;
            op.name = it.value();
            op.role = it.key();
            op.passwordHash = m_hash;
            QString error;
            QVERIFY2(OperatorTable::add(op, &error), qPrintable(error));
        }
    }

    void dropServerOperators() {
        if (!ProgramFolder::onServer())
            return;
        QStringList statements;
        for (const QString& name : std::as_const(m_names))
            statements.append(QStringLiteral("DROP ROLE IF EXISTS %1;").arg(name));
        psqlAsAdmin({QStringLiteral("-c"), statements.join(u' ')});
    }

    // Runs one entrance as the signed-in operator; true when it went ahead.
    bool enter(const QString& entrance, bool willOpen) {
        Frm1* main = Frm1::showMain();
        const auto closeWhenOpen = [willOpen] {
            if (willOpen)
                whenModal([](QWidget* window) { window->close(); });
        };
        if (entrance == QLatin1String("register")) {
            main->Command1->click();
            return main->Frame10->isVisible();
        }
        if (entrance == QLatin1String("test")) {
            main->Command2->click();
            return !m_folder->platform().ofKind(QStringLiteral("inputBox")).isEmpty();
        }
        if (entrance == QLatin1String("lookup")) {
            bool opened = false;
            if (willOpen)
                whenModal([&opened](QWidget* window) {
                    opened = qobject_cast<FrmCode*>(window);
                    window->close();
                });
            main->Command4->click();
            return opened;
        }
        if (entrance == QLatin1String("scores")) {
            main->Command3->click();
            const auto windows = QApplication::topLevelWidgets();
            return std::any_of(windows.begin(), windows.end(), [](QWidget* w) {
                return qobject_cast<FrmkLID*>(w) && w->isVisible();
            });
        }
        if (entrance == QLatin1String("export-csv")) {
            // The lookup is reception's too; its export is not.
            bool asked = false;
            whenModal([this, &asked](QWidget* window) {
                qobject_cast<FrmCode*>(window)->exportButton->click();
                asked = !m_folder->platform().ofKind(QStringLiteral("saveFileName")).isEmpty();
                window->close();
            });
            main->Command4->click();
            return asked;
        }
        if (entrance == QLatin1String("erase")) {
            // The lookup is reception's too; erasing a subject from it is the
            // admin's. Allowed, it asks for the code (none typed: nothing goes).
            bool asked = false;
            whenModal([this, &asked](QWidget* window) {
                auto* lookup = qobject_cast<FrmCode*>(window);
                QTableView* grid = lookup->DataGrid1->table();
                grid->selectionModel()->select(grid->model()->index(0, 0),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
                lookup->findChild<QPushButton*>(QStringLiteral("eraseButton"))->click();
                asked = !m_folder->platform().ofKind(QStringLiteral("inputBox")).isEmpty();
                window->close();
            });
            main->Command4->click();
            return asked;
        }
        if (entrance == QLatin1String("settings")) {
            main->Command9->click();
            return main->Frame8->isVisible();
        }
        if (entrance == QLatin1String("backup")) {
            exitpro* exit = exitpro::showWindow();
            exit->Check1->setChecked(true);
            exit->k2_Click();
            return !exit->isVisible();
        }
        if (entrance == QLatin1String("operators")) {
            closeWhenOpen();
            main->operatorsButton->click();
            return m_folder->platform().messageTexts().isEmpty();
        }
        if (entrance == QLatin1String("audit")) {
            closeWhenOpen();
            main->auditButton->click();
            return m_folder->platform().messageTexts().isEmpty();
        }
        // The scoring window's own commands, reached without the main
        // window's button.
        auto* scoring = new FrmkLID;
        scoring->show();
        scoring->Text3[2]->setText(QStringLiteral("3"));
        scoring->Text5->setText(QStringLiteral("R-1"));
        if (entrance == QLatin1String("chart")) {
            closeWhenOpen();
            scoring->Command2_Click();
        } else if (entrance == QLatin1String("report")) {
            scoring->Command6_Click();
            return !m_folder->platform().ofKind(QStringLiteral("printPreview")).isEmpty();
        }
        return m_folder->platform().messageTexts().isEmpty();
    }

private slots:
    void initTestCase() {
        QString error;
        QVERIFY(Passwords::hash(Password, &m_hash, &error));
        if (ProgramFolder::onServer())
            VELMORA_REQUIRE_PG(ownServer());
    }

    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        ProgramFolder::addSubject(QStringLiteral("R-1"));
        makeOperators();
        QString error;
        QVERIFY2(Session::refresh(&error), qPrintable(error));
        QVERIFY(Session::inForce());
    }

    void cleanup() {
        m_folder.reset();
        dropServerOperators();
    }

    void everyEntranceAsksTheRole_data() {
        QTest::addColumn<QString>("entrance");
        QTest::addColumn<Role>("role");
        QTest::addColumn<bool>("allowed");
        const QList<QPair<const char*, Role>> entrances = {
            {"register", Role::Reception},   {"test", Role::Reception},
            {"lookup", Role::Reception},     {"scores", Role::Clinician},
            {"chart", Role::Clinician},      {"report", Role::Clinician},
            {"export-csv", Role::Clinician}, {"settings", Role::Admin},
            {"backup", Role::Admin},         {"operators", Role::Admin},
            {"audit", Role::Admin},          {"erase", Role::Admin}};
        for (const auto& [entrance, least] : entrances)
            for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
                QTest::addRow("%s as %s", entrance, qPrintable(roleKey(role)))
                    << QString::fromLatin1(entrance) << role
                    << (static_cast<int>(role) >= static_cast<int>(least));
    }
    void everyEntranceAsksTheRole() {
        QFETCH(QString, entrance);
        QFETCH(Role, role);
        QFETCH(bool, allowed);
        const SignIn::Attempt signedIn = SignIn::attempt(m_names.value(role), Password);
        QVERIFY2(signedIn.result == SignIn::Result::Done, qPrintable(signedIn.message));
        QCOMPARE(Session::role(), role);
        m_folder->platform().clear();
        QCOMPARE(enter(entrance, allowed), allowed);
        const QStringList refusals = m_folder->platform().messageTexts();
        if (allowed) {
            QCOMPARE(refusals, QStringList());
            return;
        }
        QCOMPARE(refusals.size(), 1);
        const QString who =
            role == Role::Reception && entrance != QLatin1String("settings") &&
                    entrance != QLatin1String("backup") && entrance != QLatin1String("operators") &&
                    entrance != QLatin1String("audit") && entrance != QLatin1String("erase")
                ? QStringLiteral("«درمانگر» و «مدير»")
                : QStringLiteral("فقط کار نقش «مدير»");
        QVERIFY2(refusals.first().contains(who), qPrintable(refusals.first()));
        QVERIFY(refusals.first().contains(Roles::roleName(role)));
        QCOMPARE(lastEntry().value(1), QStringLiteral("refused"));
    }

    // The command line asks the same of whoever --operator names.
    void theCommandLineAsksTheRole_data() {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<Role>("role");
        QTest::addColumn<bool>("allowed");
        const QList<QPair<QStringList, Role>> commands = {
            {{"--export-csv", "out.csv"}, Role::Clinician},
            {{"--export-research", "out.sav"}, Role::Clinician},
            {{"--export-research", "named.sav", "--identified"}, Role::Admin},
            {{"--verify-audit"}, Role::Admin},
            {{"--export-audit", "trail.csv"}, Role::Admin},
            {{"--erase-subject", "R-1", "--yes"}, Role::Admin}};
        for (const auto& [command, least] : commands)
            for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
                QTest::addRow("%s as %s", qPrintable(command.join(u' ')), qPrintable(roleKey(role)))
                    << command << role << (static_cast<int>(role) >= static_cast<int>(least));
    }
    void theCommandLineAsksTheRole() {
        QFETCH(QStringList, command);
        QFETCH(Role, role);
        QFETCH(bool, allowed);
        const CommandResult result =
            runCommand(QStringList{QStringLiteral("--operator"), m_names.value(role)} + command,
                       (Password + QStringLiteral("\n")).toUtf8());
        QCOMPARE(result.status, allowed ? 0 : 1);
        if (command.first() == QLatin1String("--erase-subject"))
            QCOMPARE(ProgramFolder::value(QStringLiteral("DBM/DB2.mdb"),
                                          QStringLiteral("SELECT COUNT(*) FROM \"IDE\"")),
                     allowed ? QStringLiteral("0") : QStringLiteral("1"));
        else if (command.size() > 1)
            QCOMPARE(QFileInfo::exists(m_folder->file(command.at(1))), allowed);
        if (!allowed) {
            QVERIFY2(result.err.contains(QStringLiteral("refused: this needs the role")),
                     qPrintable(result.err));
            QCOMPARE(lastEntry().value(1), QStringLiteral("refused"));
        }
        // Without a name nobody is signed in, and nothing is allowed.
        const CommandResult nobody = runCommand(command);
        if (!ProgramFolder::onServer()) {
            QCOMPARE(nobody.status, 1);
            QVERIFY(nobody.err.contains(QStringLiteral("--operator NAME")));
        }
    }
};

VELMORA_TEST_MAIN(TestRoles)
#include "tst_roles.moc"
