// A clinic with two workstations on one server: each is a program of its
// own, in its own folder with its own settings file, and what one stores the
// other finds. The second workstation is this executable started again in a
// child mode (see runWorkstation), driving its windows with the scripted
// platform as an operator would; this process is the testing room.
#include "app/App.h"
#include "app/Frm1.h"
#include "backup/Frmbackup.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/ServerStore.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "registry/RegistrationPanel.h"
#include "scoring/FrmkLID.h"
#include "support/PgSession.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace velmora;

namespace {

const QString DuplicateNotice = QStringLiteral("فردديگري با اين کد ثبت شده");

// ------------------------------------------------------- the other workstation --

// One line of the child's report on standard output.
void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The keyboard, one key per character (QTest's keyClicks takes Latin-1 only).
void type(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(box, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// An item of a drop-down list chosen with the arrow keys.
bool choose(QComboBox* list, const QString& item) {
    const int wanted = list->findText(item);
    if (wanted < 0)
        return false;
    list->setFocus();
    while (list->currentIndex() < wanted)
        QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > wanted)
        QTest::keyClick(list, Qt::Key_Up);
    return list->currentText() == item;
}

template <typename T> T* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

// Fills the registration panel; with a go file, says "ready" and presses
// Command8 only once the file is there, so that two workstations press it
// together.
int registerSubject(Frm1* main, const QStringList& args) {
    const QString code = args.value(0);
    const QString firstName = args.value(1);
    const QString group = args.value(2);
    const QString goFile = args.value(3);
    QTest::mouseClick(main->Command1, Qt::LeftButton);
    RegistrationPanel* panel = main->Frame10;
    type(panel->Text11, code);
    type(panel->Text6, firstName);
    type(panel->Text4, QStringLiteral("کريمي"));
    type(panel->Text5, QStringLiteral("34"));
    type(panel->Text7, QStringLiteral("BA"));
    if (!choose(panel->Combo2, QStringLiteral("زن")) ||
        !choose(panel->Combo1, QStringLiteral("متأهل")) || !choose(panel->Combo3, group)) {
        std::fputs("workstation: a list lacks the item\n", stderr);
        return 3;
    }
    if (!goFile.isEmpty()) {
        say(QStringLiteral("ready"));
        const QDeadlineTimer deadline(60000);
        while (!QFile::exists(goFile)) {
            if (deadline.hasExpired()) {
                std::fputs("workstation: never told to go\n", stderr);
                return 3;
            }
            QThread::usleep(500);
        }
    }
    QTest::mouseClick(panel->Command8, Qt::LeftButton);
    say(QStringLiteral("panel\t") +
        (panel->isVisible() ? QStringLiteral("open") : QStringLiteral("closed")));
    return 0;
}

// Opens the scoring window from the main window and searches the code.
int scoreSubject(Frm1* main, ScriptedPlatform& platform, const QStringList& args) {
    QTest::mouseClick(main->Command3, Qt::LeftButton);
    FrmkLID* scoring = visibleWindow<FrmkLID>();
    if (!scoring) {
        std::fputs("workstation: the scoring window did not open\n", stderr);
        return 3;
    }
    platform.inputAnswers.enqueue(args.value(0));
    QTest::mouseClick(scoring->Command1, Qt::LeftButton);
    QStringList scores;
    for (int box : {0, 1, 2, 4, 5, 6, 7})
        scores.append(scoring->Text3[size_t(box)]->text());
    say(QStringLiteral("name\t") + scoring->Text3[3]->text());
    say(QStringLiteral("scores\t") + scores.join(u'\t'));
    return 0;
}

// Restores the backup file through the backup window, confirming every
// question, and reports the other workstations the window named.
int restoreBackup(ScriptedPlatform& platform, const QStringList& args) {
    Frmbackup* window = Frmbackup::showWindow();
    window->Text2->setText(args.value(0));
    for (int i = 0; i < 3; ++i)
        platform.messageAnswers.enqueue(QMessageBox::Yes);
    QTest::mouseClick(window->VisualButtonEx3, Qt::LeftButton);
    say(QStringLiteral("restored\t") +
        (platform.programEnded() ? QStringLiteral("yes") : QStringLiteral("no")));
    return 0;
}

// tst_workstations --workstation register|score|restore FOLDER DATABASE CODE [...]:
// a workstation in FOLDER (made ready like a test's program folder, kept for a
// later run) with the subject tables in DATABASE of the server the libpq
// variables name. It reports every notice and message, one line each.
int runWorkstation(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    prepareApplication(app);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 6) {
        std::fputs("usage: --workstation register|score FOLDER DATABASE CODE [...]\n", stderr);
        return 2;
    }
    const QString mode = args.at(2);
    const QString folder = args.at(3);
    for (const auto& [from, to] : {std::pair{QStringLiteral("skins"), QString()},
                                   std::pair{QStringLiteral("help"), QStringLiteral("help")}}) {
        const QDir source(QStringLiteral(VELMORA_ASSETS_DIR "/") + from);
        const QDir target(QDir(folder).filePath(to));
        QDir().mkpath(target.path());
        for (const QString& name : source.entryList(QDir::Files))
            if (!target.exists(name))
                QFile::copy(source.filePath(name), target.filePath(name));
    }
    QDir(folder).mkpath(QStringLiteral("Back"));
    QDir::setCurrent(folder);
    ScriptedPlatform platform;
    setPlatform(&platform);
    StoreUrl url;
    url.database = args.at(4);
    SubjectStore::install(SubjectStore::server(url));
    int status = 2;
    if (!startVelmora()) {
        status = 1;
    } else if (mode == QLatin1String("register")) {
        status = registerSubject(Frm1::instance(), args.mid(5));
    } else if (mode == QLatin1String("score")) {
        status = scoreSubject(Frm1::instance(), platform, args.mid(5));
    } else if (mode == QLatin1String("restore")) {
        status = restoreBackup(platform, args.mid(5));
    }
    for (const ScriptedPlatform::Interaction& i : platform.interactions)
        if (i.kind == QLatin1String("notice") || i.kind == QLatin1String("messageBox"))
            say(i.kind + u'\t' + QString(i.text).replace(u'\n', QStringLiteral("\\n")));
    deleteAllWindows();
    Database::closeAll();
    releaseSingleInstance();
    setPlatform(nullptr);
    return status;
}

// ------------------------------------------------------------ the test side --

// A run of the other workstation, its report read line by line.
class OtherWorkstation {
public:
    OtherWorkstation(const QString& mode, const QString& folder, const QString& database,
                     const QStringList& rest) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Its subject tables are the database named here, not a case database of its own.
        env.remove(QStringLiteral("VELMORA_TEST_STORE"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(),
                        QStringList{QStringLiteral("--workstation"), mode, folder, database} +
                            rest);
    }
    ~OtherWorkstation() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Waits until the workstation has reported line (true) or ended (false).
    bool waitFor(const QString& line, int timeoutMs = 60000) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_lines.contains(line)) {
            if (!readLines() &&
                (m_process.state() == QProcess::NotRunning || deadline.hasExpired()))
                return false;
            if (m_process.state() != QProcess::NotRunning)
                m_process.waitForReadyRead(20);
        }
        return true;
    }
    bool running() {
        // The end of the process is noticed only while waiting on it.
        if (m_process.state() != QProcess::NotRunning)
            m_process.waitForFinished(0);
        readLines();
        return m_process.state() != QProcess::NotRunning;
    }
    // Ended by itself with status 0.
    bool finish(int timeoutMs = 60000) {
        // (Waiting on a process already seen to end reports a failure.)
        const bool ended =
            m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
        readLines();
        return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    QString report() const { return m_lines.join(u'\n'); }
    // The fields after kind of every line of that kind.
    QList<QStringList> lines(const QString& kind) const {
        QList<QStringList> found;
        for (const QString& line : m_lines) {
            QStringList fields = line.split(u'\t');
            if (fields.takeFirst() == kind)
                found.append(fields);
        }
        return found;
    }
    QStringList texts(const QString& kind) const {
        QStringList found;
        for (const QStringList& fields : lines(kind))
            found.append(fields.join(u'\t'));
        return found;
    }

private:
    bool readLines() {
        bool any = false;
        while (m_process.canReadLine()) {
            m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
            any = true;
        }
        return any;
    }
    QProcess m_process;
    QStringList m_lines;
};

QList<QStringList> gridRows(FrmCode* lookup) {
    QAbstractItemModel* model = lookup->DataGrid1->table()->model();
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    QList<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row.append(model->index(r, c).data().toString());
        rows.append(row);
    }
    return rows;
}

// A click on the circle of the option worth value (5 is Option1).
void chooseAnswer(FrmTest* test, int value) {
    auto* button = test->findChild<QRadioButton*>(QStringLiteral("Option%1").arg(6 - value));
    QTest::mouseClick(button, Qt::LeftButton, {},
                      QPoint(button->width() - 8, button->height() / 2));
}

// Runs action on the modal window a click on button opens, and closes it if
// action left it open. False when none opened: the watch is then waited out,
// so that it cannot act on a later window with what the caller has let go.
bool onModalFrom(QAbstractButton* button, const std::function<void(QWidget*)>& action,
                 int timeoutMs = 5000) {
    auto opened = std::make_shared<bool>(false);
    whenModal(
        [opened, action](QWidget* window) {
            *opened = true;
            action(window);
            if (window->isVisible())
                window->close();
        },
        timeoutMs);
    QTest::mouseClick(button, Qt::LeftButton);
    if (!*opened)
        QTest::qWait(timeoutMs + 100);
    return *opened;
}

const QString Code = QStringLiteral("ک'12");
const QString FirstName = QStringLiteral("سارا");

// The sheet answered in the testing room, items 1 to 14, and its scores
// worked out by hand: items 1+2 = 2, 3+4+9 = 15, 5+6 = 3, 7+8 = 4, 10+12 = 6,
// 13+14 = 8 and item 11 = 5, every scale a different number.
const QList<int> Sheet = {1, 1, 5, 5, 2, 1, 3, 1, 5, 4, 5, 2, 4, 4};
const QStringList SheetScores = {"2", "15", "3", "4", "6", "8", "5"};

} // namespace

class TestWorkstations : public QObject {
    Q_OBJECT
    PgTestServer m_server;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_others; // the other workstations' folders
    QString m_database;
    int m_case = 0;

    QString otherFolder(const QString& name) const { return m_others->filePath(name); }

    // The workstation's own settings file is there and no subject file.
    static bool keepsOnlyItsSettings(const QString& folder) {
        return QFile::exists(QDir(folder).filePath(QStringLiteral("DBM/DB.mdb"))) &&
               !QFile::exists(QDir(folder).filePath(QStringLiteral("DBM/DB2.mdb")));
    }

private slots:
    void initTestCase() { VELMORA_REQUIRE_PG(m_server); }

    void init() {
        m_folder = std::make_unique<ProgramFolder>(false);
        m_others = std::make_unique<QTemporaryDir>();
        m_database = QStringLiteral("velmora_clinic_%1_%2").arg(::getpid()).arg(++m_case);
        PgTestServer::createDatabase(m_database);
        StoreUrl url;
        url.database = m_database;
        SubjectStore::install(SubjectStore::server(url));
    }
    void cleanup() {
        m_folder.reset();
        SubjectStore::install(SubjectStore::file());
        m_others.reset();
        PgTestServer::dropDatabase(m_database);
    }

    // The testing room (this process) has S3's test window and the scoring
    // window open when the reception restores a backup that predates S3 and
    // registers S4, who gets S3's keys. Nothing typed here reaches S4, the
    // operator is told why, and the restoring workstation named this one.
    void aRestoreElsewhereReachesNoOtherSubjectThroughOpenWindows() {
        QVERIFY(startVelmora());
        Frm1* main = Frm1::instance();
        PgSession server(m_database);
        const auto addSubject = [&server](const QString& code) {
            server.run("INSERT INTO \"IDE\" (\"Code\", \"FName\") VALUES (?, 'F')", {code});
            server.run("INSERT INTO \"Answer\" (\"Code\") VALUES (?)", {code});
        };
        for (const QString& code : {QStringLiteral("S1"), QStringLiteral("S2")})
            addSubject(code);
        const QString backup = m_folder->file(QStringLiteral("Back/before S3.mdbB"));
        {
            QString error;
            std::unique_ptr<StoreSnapshot> snapshot = SubjectStore::current().snapshot(
                m_folder->file(QStringLiteral("Back")), {}, &error);
            QVERIFY2(snapshot && QFile::copy(snapshot->path(), backup), qPrintable(error));
        }
        addSubject(QStringLiteral("S3"));
        QCOMPARE(server.value("SELECT \"ID\" FROM \"Answer\" WHERE \"Code\" = 'S3'"),
                 QStringLiteral("3"));

        // S3's test, one answer stored already.
        FrmTest* test = FrmTest::loaded();
        QVERIFY(test->Adodc2->setFilter(QStringLiteral("code"), QStringLiteral("S3")));
        QVERIFY(test->Adodc3->setFilter(QStringLiteral("code"), QStringLiteral("S3")));
        test->show();
        QTest::mouseClick(test->Command1, Qt::LeftButton);
        chooseAnswer(test, 4);
        QTest::mouseClick(test->CmdNext, Qt::LeftButton);
        QCOMPARE(server.value("SELECT \"1\" FROM \"Answer\" WHERE \"Code\" = 'S3'"),
                 QStringLiteral("4"));
        // The scoring window is open too.
        QTest::mouseClick(main->Command3, Qt::LeftButton);
        FrmkLID* scoring = visibleWindow<FrmkLID>();
        QVERIFY(scoring);

        const QString reception = otherFolder(QStringLiteral("reception"));
        {
            OtherWorkstation restoring(QStringLiteral("restore"), reception, m_database, {backup});
            QVERIFY2(restoring.finish(), qPrintable(restoring.report()));
            QVERIFY2(restoring.texts(QStringLiteral("restored")) == QStringList{"yes"},
                     qPrintable(restoring.report()));
            const QStringList asked = restoring.texts(QStringLiteral("messageBox"));
            QVERIFY2(asked.size() >= 2 && asked.at(1).contains(ServerStore::workstationName()),
                     qPrintable(restoring.report()));
        }
        {
            OtherWorkstation registering(
                QStringLiteral("register"), reception, m_database,
                {QStringLiteral("S4"), QStringLiteral("سحر"), QStringLiteral("B")});
            QVERIFY2(registering.finish(), qPrintable(registering.report()));
        }
        QCOMPARE(server.value("SELECT \"ID\" FROM \"Answer\" WHERE \"Code\" = 'S4'"),
                 QStringLiteral("3"));

        // The scoring window's next search reads the tables as they are now,
        // and says why they changed.
        m_folder->platform().clear();
        m_folder->platform().inputAnswers.enqueue(QStringLiteral("S4"));
        QTest::mouseClick(scoring->Command1, Qt::LeftButton);
        QVERIFY2(
            m_folder->platform().messageTexts().join(u'\n').contains(QStringLiteral("بازيابي")),
            qPrintable(m_folder->platform().messageTexts().join(u'\n')));
        QCOMPARE(scoring->Text3[3]->text(), QStringLiteral("سحر"));

        // The test window, still at S3's item 2, stores nothing into S4's row.
        m_folder->platform().clear();
        chooseAnswer(test, 2);
        QTest::mouseClick(test->CmdNext, Qt::LeftButton);
        QTest::mouseClick(test->Command5, Qt::LeftButton);
        QVERIFY(test->isVisible());
        const QStringList told = m_folder->platform().messageTexts();
        QCOMPARE(told.size(), 2);
        QVERIFY2(told.first().contains(QStringLiteral("جايگزين")), qPrintable(told.first()));
        QCOMPARE(server.rows("SELECT \"Code\", \"1\", \"2\" FROM \"Answer\" WHERE \"ID\" = 3"),
                 (QList<QStringList>{{"S4", "", ""}}));
        QCOMPARE(server.value("SELECT COUNT(*) FROM \"History\""), QStringLiteral("0"));
        QTest::mouseClick(test->Command2, Qt::LeftButton);
    }

    // Registered at the reception, tested in the testing room (this process,
    // whose windows were open all along) and scored at the reception again.
    void registeredAtOneWorkstationTestedAtAnotherScoredAtTheFirst() {
        QVERIFY(startVelmora());
        Frm1* main = Frm1::instance();
        QVERIFY(main);
        // Nobody registered anywhere yet: the lookup opens nothing, and the
        // open registration panel stays.
        QTest::mouseClick(main->Command1, Qt::LeftButton);
        QTest::ignoreMessage(QtWarningMsg, "whenModal: no modal window appeared");
        QVERIFY(!onModalFrom(
            main->Command4, [](QWidget*) {}, 300));
        QVERIFY(main->Frame10->isVisible());
        QTest::mouseClick(main->Frame10->Command10, Qt::LeftButton);

        const QString reception = otherFolder(QStringLiteral("reception"));
        {
            OtherWorkstation registering(QStringLiteral("register"), reception, m_database,
                                         {Code, FirstName, QStringLiteral("D")});
            QVERIFY2(registering.finish(), qPrintable(registering.report()));
            QCOMPARE(registering.texts(QStringLiteral("panel")), QStringList{"closed"});
            QCOMPARE(registering.texts(QStringLiteral("notice")), QStringList());
            QCOMPARE(registering.texts(QStringLiteral("messageBox")), QStringList());
        }
        PgSession server(m_database, QStringLiteral("clinic-server"));
        QCOMPARE(server.rows("SELECT \"Code\", \"FName\", \"LName\", \"Group\" FROM \"IDE\""),
                 (QList<QStringList>{{Code, FirstName, QStringLiteral("کريمي"), "D"}}));
        QCOMPARE(server.rows("SELECT \"Code\", \"Group\", \"1\", \"14\" FROM \"Answer\""),
                 (QList<QStringList>{{Code, "D", "", ""}}));

        // The row stored elsewhere is listed once the lookup opens again.
        QList<QStringList> listed;
        QVERIFY(onModalFrom(main->Command4, [&listed](QWidget* window) {
            if (auto* lookup = qobject_cast<FrmCode*>(window))
                listed = gridRows(lookup);
        }));
        QCOMPARE(listed, (QList<QStringList>{{Code, FirstName, QStringLiteral("کريمي"), "D"}}));

        m_folder->platform().inputAnswers.enqueue(Code);
        bool tested = false;
        QVERIFY(onModalFrom(main->Command2, [&tested](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            if (!test)
                return;
            tested = test->Text1->text() == Code && test->Text3->text() == FirstName;
            QTest::mouseClick(test->Command1, Qt::LeftButton);
            for (int item = 1; item <= Sheet.size(); ++item) {
                chooseAnswer(test, Sheet.at(item - 1));
                if (item < Sheet.size())
                    QTest::mouseClick(test->CmdNext, Qt::LeftButton);
            }
            QTest::mouseClick(test->Command5, Qt::LeftButton);
            tested = tested && !test->isVisible();
        }));
        QVERIFY2(tested, "the test window did not show the subject, or did not close on save");
        QCOMPARE(m_folder->platform().messageTexts(), QStringList());
        QStringList answers;
        for (int value : Sheet)
            answers.append(QString::number(value));
        QString items;
        for (int item = 1; item <= Sheet.size(); ++item)
            items += QStringLiteral(", \"%1\"").arg(item);
        QCOMPARE(server.rows("SELECT \"Code\"" + items + " FROM \"Answer\""),
                 QList<QStringList>{QStringList{Code} + answers});
        QCOMPARE(server.rows("SELECT \"Code\"" + items + " FROM \"History\""),
                 QList<QStringList>{QStringList{Code} + answers});

        OtherWorkstation scoring(QStringLiteral("score"), reception, m_database, {Code});
        QVERIFY2(scoring.finish(), qPrintable(scoring.report()));
        QCOMPARE(scoring.texts(QStringLiteral("name")), QStringList{FirstName});
        QCOMPARE(scoring.lines(QStringLiteral("scores")), QList<QStringList>{SheetScores});
        QCOMPARE(scoring.texts(QStringLiteral("messageBox")), QStringList()); // all answered
        QVERIFY(keepsOnlyItsSettings(reception));
        QVERIFY(keepsOnlyItsSettings(m_folder->path()));
    }

    // Both workstations press Command8 for the same code together. A session
    // on the server holds every write to IDE (reads pass) until both are
    // storing, so both have passed the duplicate check and neither has seen
    // the other's subject: the server keeps one, and the other operator is told.
    void twoWorkstationsRegisteringOneCodeAtOnceStoreItOnce() {
        QString error;
        QVERIFY2(Database::openAll(&error), qPrintable(error)); // the tables, before anyone waits
        const QString go = m_others->filePath(QStringLiteral("go"));
        const QString code = QStringLiteral("R-1");
        const QStringList names = {QStringLiteral("Mina"), QStringLiteral("Nima")};
        const QStringList groups = {QStringLiteral("B"), QStringLiteral("F")};
        std::vector<std::unique_ptr<OtherWorkstation>> desks;
        for (int i = 0; i < 2; ++i)
            desks.push_back(std::make_unique<OtherWorkstation>(
                QStringLiteral("register"), otherFolder(QStringLiteral("desk-%1").arg(i)),
                m_database, QStringList{code, names.at(i), groups.at(i), go}));
        for (const auto& desk : desks)
            QVERIFY2(desk->waitFor(QStringLiteral("ready")), qPrintable(desk->report()));

        PgSession server(m_database, QStringLiteral("clinic-server"));
        {
            PgSession holder(m_database, QStringLiteral("clinic-holder"));
            holder.rows("BEGIN");
            holder.rows("LOCK TABLE \"IDE\" IN SHARE MODE");
            QVERIFY(QFile(go).open(QIODevice::WriteOnly));
            // Until each workstation waits on a lock or has already finished.
            const QDeadlineTimer deadline(60000);
            int settled = 0;
            while (settled < 2 && !deadline.hasExpired()) {
                QThread::msleep(20);
                settled = server
                              .value("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = "
                                     "current_database() AND wait_event_type = 'Lock'")
                              .toInt();
                for (const auto& desk : desks)
                    settled += desk->running() ? 0 : 1;
            }
            holder.rows("COMMIT");
            QVERIFY2(settled == 2, "the workstations never reached the store together");
        }
        for (const auto& desk : desks)
            QVERIFY2(desk->finish(), qPrintable(desk->report()));

        int stored = -1;
        for (int i = 0; i < 2; ++i) {
            const OtherWorkstation& desk = *desks.at(size_t(i));
            QCOMPARE(desk.texts(QStringLiteral("messageBox")), QStringList());
            if (desk.texts(QStringLiteral("panel")) == QStringList{"closed"}) {
                QVERIFY2(stored < 0, "both workstations stored the code");
                QCOMPARE(desk.texts(QStringLiteral("notice")), QStringList());
                stored = i;
            } else {
                QCOMPARE(desk.texts(QStringLiteral("panel")), QStringList{"open"});
                QCOMPARE(desk.texts(QStringLiteral("notice")), QStringList{DuplicateNotice});
            }
        }
        QVERIFY2(stored >= 0, "neither workstation stored the code");
        // One subject, whole, as the workstation that stored it typed it.
        QCOMPARE(server.rows("SELECT \"Code\", \"FName\", \"Group\" FROM \"IDE\""),
                 (QList<QStringList>{{code, names.at(stored), groups.at(stored)}}));
        QCOMPARE(server.rows("SELECT \"Code\", \"Group\" FROM \"Answer\""),
                 (QList<QStringList>{{code, groups.at(stored)}}));
        // One code key, the stored subject's: the refused store left none.
        QCOMPARE(server.rows("SELECT i.\"Code\", k.\"Key\" FROM \"CodeKey\" AS k LEFT JOIN "
                             "\"IDE\" AS i USING (\"ID\")"),
                 (QList<QStringList>{{code, code}}));
        for (int i = 0; i < 2; ++i)
            QVERIFY(keepsOnlyItsSettings(otherFolder(QStringLiteral("desk-%1").arg(i))));
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--workstation") == 0)
        return runWorkstation(argc, argv);
    TestWorkstations test;
    return runVelmoraTest(argc, argv, &test);
}

#include "tst_workstations.moc"
