#include "LoadRun.h"

#include "LatencyProxy.h"
#include "LoadPlan.h"
#include "OperatorDesk.h"
#include "StoreCheck.h"

#include "app/App.h"
#include "data/Database.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "support/PgTestServer.h"
#include "support/ScriptedPlatform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace velmora;

namespace {

QTextStream out(stdout);

// The steps of a workstation's round, in the order they come.
const char* const Steps[] = {"registration", "test launch",   "test start",
                             "answer step",  "save and exit", "scoring search"};

// Workstations that stay silent this long are taken to be stuck.
constexpr int SilenceLimitMs = 120000;

// ------------------------------------------------------------ workstation --

void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Waits for the run's word to go on; false when the run has gone.
bool waitForGo() {
    char line[64];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

} // namespace

int loadWorkstation(int argc, char** argv) {
    QApplication app(argc, argv);
    prepareApplication(app);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 8) {
        std::fputs("usage: child-load FOLDER DATABASE WORKSTATION WORKSTATIONS SUBJECTS COLLIDE\n",
                   stderr);
        return 2;
    }
    const QString folder = args.at(2);
    const QString database = args.at(3);
    const int me = args.at(4).toInt();
    LoadPlan plan;
    plan.workstations = args.at(5).toInt();
    plan.subjects = args.at(6).toInt();
    plan.collide = args.at(7) == QLatin1String("1");

    ScriptedPlatform platform;
    OperatorDesk desk(platform, [](const QString& step, double ms, qint64) {
        say(QStringLiteral("step\t%1\t%2").arg(step).arg(ms, 0, 'f', 3));
    });
    if (!desk.start(folder, database)) {
        say(QStringLiteral("failed\tthe program did not start: ") + desk.said().join(u' '));
        return 1;
    }
    say(QStringLiteral("started"));
    if (!waitForGo())
        return 1;
    const int owner = plan.owner(me);
    for (int subject = 1; subject <= plan.subjects; ++subject) {
        const QString code = LoadPlan::code(owner, subject);
        const QString number = QString::number(subject);
        QStringList typed;
        std::function<void()> together;
        if (plan.collide)
            together = [number] {
                say(QStringLiteral("wait\tregister ") + number);
                waitForGo();
            };
        const OperatorDesk::Registered registered =
            desk.registerSubject(code, LoadPlan::registration(me, subject), together, &typed);
        say(QStringLiteral("typed\t%1\t%2").arg(number, typed.join(u'\t')));
        say(QStringLiteral("registered\t%1\t%2")
                .arg(number, registered == OperatorDesk::Registered::Stored
                                 ? QStringLiteral("stored")
                             : registered == OperatorDesk::Registered::Duplicate
                                 ? QStringLiteral("duplicate")
                                 : QStringLiteral("refused")));
        // Partners test the code either of them stored; a workstation alone
        // has nothing to test when its registration was refused.
        if (plan.collide || registered == OperatorDesk::Registered::Stored) {
            if (plan.collide) {
                say(QStringLiteral("wait\ttest ") + number);
                waitForGo();
            }
            const bool saved = desk.takeTest(code, LoadPlan::answers(owner, subject));
            say(QStringLiteral("saved\t%1\t%2").arg(number).arg(saved ? 1 : 0));
            const QStringList scores = desk.score(code);
            say(QStringLiteral("scores\t%1\t%2").arg(number, scores.join(u'\t')));
        }
        for (const QString& line : desk.said())
            say(QStringLiteral("said\t%1\t%2").arg(number, line));
    }
    say(QStringLiteral("done"));
    desk.stop();
    return 0;
}

namespace {

// ------------------------------------------------------------------ parent --

struct Options {
    LoadPlan plan;
    bool durable = false;
    double latencyMs = 0;
    bool keep = false;
    QString database;
    QString journal;
};

bool parse(const QStringList& args, Options* o, QString* error) {
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const auto value = [&]() -> QString {
            if (i + 1 < args.size())
                return args.at(++i);
            *error = a + QStringLiteral(" needs a value");
            return QString();
        };
        if (a == QLatin1String("--workstations"))
            o->plan.workstations = value().toInt();
        else if (a == QLatin1String("--subjects"))
            o->plan.subjects = value().toInt();
        else if (a == QLatin1String("--collide"))
            o->plan.collide = true;
        else if (a == QLatin1String("--durable"))
            o->durable = true;
        else if (a == QLatin1String("--keep"))
            o->keep = true;
        else if (a == QLatin1String("--latency-ms"))
            o->latencyMs = value().toDouble();
        else if (a == QLatin1String("--database"))
            o->database = value();
        else if (a == QLatin1String("--journal"))
            o->journal = value();
        else
            *error = QStringLiteral("unknown option ") + a;
        if (!error->isEmpty())
            return false;
    }
    if (o->plan.workstations < 1 || o->plan.subjects < 1)
        *error = QStringLiteral("--workstations and --subjects must be at least 1");
    else if (o->plan.collide && o->plan.workstations % 2 != 0)
        *error = QStringLiteral("--collide pairs the workstations: give an even number");
    else if (!o->database.isEmpty() &&
             !std::all_of(o->database.cbegin(), o->database.cend(), [](QChar c) {
                 return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
             }))
        *error = QStringLiteral("--database: lower-case letters, digits and _ only");
    return error->isEmpty();
}

// Runs statements as the server's superuser, in its maintenance database.
bool asAdmin(const QStringList& statements, QString* error) {
    const QString name = QStringLiteral("velmora-load-admin");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(PgTestServer::adminUser());
        ok = db.open();
        if (!ok)
            *error = db.lastError().text();
        QSqlQuery q(db);
        for (const QString& sql : statements) {
            if (!ok)
                break;
            ok = q.exec(sql);
            if (!ok)
                *error = sql + QStringLiteral(": ") + q.lastError().text();
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The server's log, if it is the throwaway server's, from a point on.
class ServerLog {
public:
    ServerLog() {
        const QString dir = qEnvironmentVariable("VELMORA_TEST_PG_DIR");
        if (!dir.isEmpty())
            m_path = QDir(dir).filePath(QStringLiteral("server.log"));
        m_from = QFileInfo(m_path).size();
    }
    // What the server logged of database since this object was made; false
    // when there is no log to read.
    bool read(const QString& database, QStringList* lines) const {
        QFile f(m_path);
        if (m_path.isEmpty() || !f.open(QIODevice::ReadOnly))
            return false;
        f.seek(m_from);
        // The prefix is "time [pid] user@database "; a statement line that
        // follows an error has the same prefix.
        const QString mark = u'@' + database + u' ';
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.contains(mark))
                lines->append(line);
        }
        return true;
    }
    QString path() const { return m_path; }

private:
    QString m_path;
    qint64 m_from = 0;
};

// The findings of the server's log for the run's database: how often a
// statement was sent into a transaction that had already failed (and which
// statements), and deadlocks. Either is a fault of the run.
bool reportServerLog(const ServerLog& log, const QString& database) {
    QStringList lines;
    if (!log.read(database, &lines)) {
        out << "server log: not read (VELMORA_TEST_PG_DIR names no throwaway server whose log "
               "this user may read)\n";
        return true;
    }
    int aborted = 0, deadlocks = 0;
    QMap<QString, int> after;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(QLatin1String("current transaction is aborted"))) {
            ++aborted;
            if (i + 1 < lines.size() && lines.at(i + 1).contains(QLatin1String("STATEMENT:"))) {
                QString statement =
                    lines.at(i + 1).mid(lines.at(i + 1).indexOf(QLatin1String("STATEMENT:")) + 10);
                // The driver numbers its prepared statements; the kind is what counts.
                statement.replace(QRegularExpression(QStringLiteral("qpsqlpstmt_[0-9a-f]+")),
                                  QStringLiteral("qpsqlpstmt_N"));
                ++after[statement.trimmed().left(100)];
            }
        }
        if (lines.at(i).contains(QLatin1String("deadlock detected")))
            ++deadlocks;
    }
    out << "server log: " << aborted
        << " x \"current transaction is aborted, commands ignored until end of transaction "
           "block\", "
        << deadlocks << " x \"deadlock detected\"\n";
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        out << "  " << it.value() << " x sent after the failure: " << it.key() << '\n';
    return aborted == 0 && deadlocks == 0;
}

// The warnings the workstations wrote on standard error; a statement the
// driver could not free is a fault of the run.
bool reportWarnings(const QString& runFolder, int workstations) {
    int lines = 0, unfreed = 0;
    QStringList examples;
    for (int w = 0; w < workstations; ++w) {
        QFile f(QDir(runFolder).filePath(QStringLiteral("workstation-%1.log").arg(w)));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            // The offscreen platform cannot raise a window; that says nothing of the run.
            if (line.isEmpty() || line == QLatin1String("This plugin does not support raise()"))
                continue;
            ++lines;
            if (line.contains(QLatin1String("Unable to free statement")))
                ++unfreed;
            if (!examples.contains(line) && examples.size() < 3)
                examples.append(line);
        }
    }
    out << "workstations' warnings: " << lines << " lines, " << unfreed
        << " x \"Unable to free statement\"\n";
    for (const QString& line : examples)
        out << "  " << line.left(160) << '\n';
    return unfreed == 0;
}

struct StepStats {
    qsizetype count = 0;
    double median = 0, p95 = 0, max = 0;
};

StepStats statsOf(QList<double> values) {
    StepStats s;
    s.count = values.size();
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    s.median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
    // The nearest rank: the value 95 % of the steps do not exceed.
    s.p95 = values.at(qsizetype(std::ceil(0.95 * double(n))) - 1);
    s.max = values.last();
    return s;
}

// The workstation processes and the talk with them.
class Clinic {
public:
    Clinic(const Options& options, const QString& runFolder, const QProcessEnvironment& env,
           LoadJournal* journal, QFile* journalFile)
        : m_options(options), m_journal(journal), m_journalFile(journalFile) {
        const int n = options.plan.workstations;
        m_desks.resize(size_t(n));
        for (int w = 0; w < n; ++w) {
            Desk& desk = m_desks[size_t(w)];
            desk.process = std::make_unique<QProcess>();
            QProcess* p = desk.process.get();
            p->setProcessEnvironment(env);
            p->setStandardErrorFile(
                QDir(runFolder).filePath(QStringLiteral("workstation-%1.log").arg(w)));
            QObject::connect(p, &QProcess::readyReadStandardOutput, [this, w] { readLines(w); });
            QObject::connect(p, &QProcess::finished,
                             [this, w](int status, QProcess::ExitStatus how) {
                                 ended(w, how == QProcess::NormalExit ? status : 128);
                             });
            QObject::connect(p, &QProcess::errorOccurred, [this, w](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart)
                    ended(w, 127);
            });
            const QString folder =
                QDir(runFolder).filePath(QStringLiteral("workstation-%1").arg(w));
            QDir().mkpath(folder);
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("child-load"), folder, options.database, QString::number(w),
                      QString::number(n), QString::number(options.plan.subjects),
                      options.plan.collide ? QStringLiteral("1") : QStringLiteral("0")});
        }
    }

    // Runs until every workstation has ended; false when they fell silent
    // (and were stopped).
    bool run() {
        QTimer watch;
        watch.setInterval(1000);
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (m_silence.elapsed() > SilenceLimitMs) {
                m_stuck = true;
                for (Desk& desk : m_desks)
                    desk.process->kill();
            }
        });
        m_silence.start();
        watch.start();
        if (m_running > 0)
            m_loop.exec();
        return !m_stuck;
    }

    double wallSeconds() const {
        return m_wall.isValid() ? double(m_wall.nsecsElapsed()) / 1e9 : 0;
    }
    const QMap<QString, QList<double>>& steps() const { return m_steps; }
    QStringList stuckAt() const {
        QStringList where;
        for (size_t w = 0; w < m_desks.size(); ++w)
            if (!m_desks[w].waitingAt.isEmpty())
                where.append(QStringLiteral("workstation %1 waiting at %2")
                                 .arg(w)
                                 .arg(m_desks[w].waitingAt));
        return where;
    }

private:
    struct Desk {
        std::unique_ptr<QProcess> process;
        bool started = false;
        bool ended = false;
        QString waitingAt;
    };

    void go(int w) {
        Desk& desk = m_desks[size_t(w)];
        desk.waitingAt.clear();
        if (!desk.ended)
            desk.process->write("go\n");
    }

    void readLines(int w) {
        QProcess* p = m_desks[size_t(w)].process.get();
        while (p->canReadLine()) {
            m_silence.restart();
            const QString line = QString::fromUtf8(p->readLine()).chopped(1);
            take(w, line);
        }
    }

    void take(int w, const QString& line) {
        const QStringList f = line.split(u'\t');
        if (f.at(0) == QLatin1String("step") && f.size() == 3) {
            m_steps[f.at(1)].append(f.at(2).toDouble());
            return;
        }
        if (f.at(0) == QLatin1String("started")) {
            m_desks[size_t(w)].started = true;
            startAllOnceReady();
            return;
        }
        if (f.at(0) == QLatin1String("wait")) {
            m_desks[size_t(w)].waitingAt = f.value(1);
            meet(w);
            return;
        }
        journal(w, line);
    }

    void journal(int w, const QString& line) {
        m_journal->take(w, line);
        m_journalFile->write(QStringLiteral("%1\t%2\n").arg(w).arg(line).toUtf8());
    }

    // Everyone begins together, once every workstation has started.
    void startAllOnceReady() {
        for (const Desk& desk : m_desks)
            if (!desk.started && !desk.ended)
                return;
        if (m_wall.isValid())
            return;
        m_wall.start();
        for (size_t w = 0; w < m_desks.size(); ++w)
            go(int(w));
    }

    // Partners go on together once both have reached the same point (or one
    // has ended).
    void meet(int w) {
        const int partner = w ^ 1;
        if (partner >= int(m_desks.size())) {
            go(w);
            return;
        }
        const Desk& other = m_desks[size_t(partner)];
        if (other.ended) {
            go(w);
        } else if (other.waitingAt == m_desks[size_t(w)].waitingAt) {
            go(w);
            go(partner);
        }
    }

    void ended(int w, int status) {
        readLines(w);
        Desk& desk = m_desks[size_t(w)];
        desk.ended = true;
        desk.waitingAt.clear();
        journal(w, QStringLiteral("exit\t%1").arg(status));
        startAllOnceReady();
        const int partner = w ^ 1;
        if (m_options.plan.collide && partner < int(m_desks.size()) &&
            !m_desks[size_t(partner)].waitingAt.isEmpty())
            go(partner);
        if (--m_running == 0)
            m_loop.quit();
    }

    const Options& m_options;
    LoadJournal* m_journal;
    QFile* m_journalFile;
    std::vector<Desk> m_desks;
    int m_running = m_options.plan.workstations;
    QEventLoop m_loop;
    QElapsedTimer m_wall, m_silence;
    QMap<QString, QList<double>> m_steps;
    bool m_stuck = false;
};

void printSteps(const QMap<QString, QList<double>>& steps) {
    out << QStringLiteral("%1").arg(QStringLiteral("step"), -22)
        << QStringLiteral("%1").arg(QLatin1String("count"), 8)
        << QStringLiteral("%1").arg(QLatin1String("median"), 10)
        << QStringLiteral("%1").arg(QLatin1String("p95"), 10)
        << QStringLiteral("%1").arg(QLatin1String("max"), 10) << "  ms\n";
    for (const char* name : Steps) {
        const StepStats s = statsOf(steps.value(QLatin1String(name)));
        out << QStringLiteral("%1").arg(QLatin1String(name), -22)
            << QStringLiteral("%1").arg(s.count, 8)
            << QStringLiteral("%1").arg(s.median, 10, 'f', 2)
            << QStringLiteral("%1").arg(s.p95, 10, 'f', 2)
            << QStringLiteral("%1").arg(s.max, 10, 'f', 2) << '\n';
    }
}

// Checks the store, prints what it found; true when nothing is wrong.
bool checkAndReport(const QString& database, const LoadJournal& journal) {
    const StoreCheckResult result = checkLoadStore(database, journal);
    out << "store check: " << result.subjects << " subjects, " << result.sheets
        << " answer sheets, " << result.administrations << " administrations, " << result.keys
        << " code keys: ";
    if (result.faults.isEmpty()) {
        out << "no integrity fault\n";
        return true;
    }
    out << result.faults.size()
        << (result.faults.size() == 1 ? " integrity fault\n" : " integrity faults\n");
    for (const QString& line : describeFaults(result.faults))
        out << line << '\n';
    return false;
}

} // namespace

int loadCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!parse(QCoreApplication::arguments(), &options, &error)) {
        std::fprintf(stderr, "velmora_bench load: %s\n", qPrintable(error));
        return 2;
    }
    // A database named by the caller may be left from an earlier run.
    const bool named = !options.database.isEmpty();
    if (!named)
        options.database =
            QStringLiteral("velmora_load_%1").arg(QCoreApplication::applicationPid());

    QTemporaryDir runDir(QDir::tempPath() + QStringLiteral("/velmora-load-XXXXXX"));
    runDir.setAutoRemove(!options.keep);
    if (options.journal.isEmpty())
        options.journal = runDir.filePath(QStringLiteral("journal.tsv"));

    if (options.durable && !asAdmin({QStringLiteral("ALTER SYSTEM SET fsync = on"),
                                     QStringLiteral("ALTER SYSTEM SET synchronous_commit = on"),
                                     QStringLiteral("SELECT pg_reload_conf()")},
                                    &error)) {
        std::fprintf(stderr, "velmora_bench load: the server cannot be made durable: %s\n",
                     qPrintable(error));
        return 2;
    }
    if (named)
        PgTestServer::dropDatabase(options.database);
    PgTestServer::createDatabase(options.database);
    // The tables are made once, before the workstations connect.
    {
        StoreUrl url;
        url.database = options.database;
        SubjectStore::install(SubjectStore::server(url));
        if (!SubjectStore::current().open(&error)) {
            std::fprintf(stderr, "velmora_bench load: %s\n", qPrintable(error));
            return 2;
        }
        SubjectStore::install(SubjectStore::file());
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString runtime = runDir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    std::unique_ptr<LatencyProxy> proxy;
    if (options.latencyMs > 0) {
        proxy = std::make_unique<LatencyProxy>(
            LatencyProxy::fromEnvironment(),
            std::chrono::microseconds(qint64(options.latencyMs * 1000)));
        if (!proxy->start(&error)) {
            std::fprintf(stderr, "velmora_bench load: %s\n", qPrintable(error));
            return 2;
        }
        env.insert(QStringLiteral("PGHOST"), QStringLiteral("127.0.0.1"));
        env.insert(QStringLiteral("PGPORT"), QString::number(proxy->port()));
        env.insert(QStringLiteral("PGSSLMODE"), QStringLiteral("disable"));
        env.remove(QStringLiteral("PGHOSTADDR"));
    }

    QFile journalFile(options.journal);
    if (!journalFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "velmora_bench load: %s: %s\n", qPrintable(options.journal),
                     qPrintable(journalFile.errorString()));
        return 2;
    }
    journalFile.write((LoadJournal::planLine(options.plan) + u'\n').toUtf8());
    LoadJournal journal;
    journal.plan = options.plan;
    journal.workstations = QList<LoadJournal::Workstation>(options.plan.workstations);

    const ServerLog log;
    out << "load run: " << options.plan.workstations << " workstations x " << options.plan.subjects
        << " subjects"
        << (options.plan.collide ? ", pairs registering and testing the same codes together" : "")
        << ", database " << options.database;
    if (proxy)
        out << ", server " << options.latencyMs << " ms away each way";
    out << '\n';
    out.flush();

    Clinic clinic(options, runDir.path(), env, &journal, &journalFile);
    const bool finished = clinic.run();
    journalFile.close();
    proxy.reset();

    qint64 stored = 0;
    for (const LoadJournal::Workstation& desk : journal.workstations)
        for (const LoadJournal::Subject& s : desk.subjects)
            stored += s.registered == QLatin1String("stored") ? 1 : 0;
    qint64 stepCount = 0;
    for (const QList<double>& values : clinic.steps())
        stepCount += values.size();
    const double seconds = std::max(1e-9, clinic.wallSeconds());
    out << "throughput: " << stored << " subjects registered, tested, saved and scored in "
        << QString::number(seconds, 'f', 1)
        << " s: " << QString::number(double(stored) / seconds, 'f', 1) << " subjects/s, "
        << QString::number(double(stepCount) / seconds, 'f', 0) << " operator steps/s\n";
    printSteps(clinic.steps());
    out << "goal: every step's 95th percentile under 100 ms with 8 workstations\n";

    bool sound = finished;
    if (!finished) {
        out << "the workstations fell silent for " << SilenceLimitMs / 1000
            << " s and were stopped: " << clinic.stuckAt().join(QStringLiteral("; ")) << '\n';
    }
    sound = checkAndReport(options.database, journal) && sound;
    sound = reportServerLog(log, options.database) && sound;
    sound = reportWarnings(runDir.path(), options.plan.workstations) && sound;
    if (options.keep)
        out << "kept: database " << options.database << ", workstations' folders and journal in "
            << runDir.path() << '\n';
    else
        PgTestServer::dropDatabase(options.database);
    out.flush();
    return sound ? 0 : 1;
}

int loadCheckCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!parse(QCoreApplication::arguments(), &options, &error) || options.database.isEmpty() ||
        options.journal.isEmpty()) {
        std::fprintf(stderr, "usage: velmora_bench load-check --database NAME --journal FILE%s%s\n",
                     error.isEmpty() ? "" : "\n", qPrintable(error));
        return 2;
    }
    LoadJournal journal;
    if (!journal.read(options.journal, &error)) {
        std::fprintf(stderr, "velmora_bench load-check: %s\n", qPrintable(error));
        return 2;
    }
    const bool sound = checkAndReport(options.database, journal);
    out.flush();
    return sound ? 0 : 1;
}
