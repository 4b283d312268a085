#include "support/PgTestServer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

namespace {

QString scriptPath() {
    return QDir::cleanPath(QStringLiteral(VELMORA_ASSETS_DIR "/../scripts/pg-test-server.sh"));
}

bool postgresInstalled() {
    const QString bindir = qEnvironmentVariable("VELMORA_PG_BINDIR");
    if (!bindir.isEmpty())
        return QFileInfo(bindir + QStringLiteral("/initdb")).isExecutable();
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    for (const QString& version : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo(versions.filePath(version + QStringLiteral("/bin/initdb"))).isExecutable())
            return true;
    return false;
}

// A value as the script writes it with printf %q: plain, or with backslashes
// before the characters the shell would otherwise take.
QString shellUnquote(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && i + 1 < text.size())
            ++i;
        out += text.at(i);
    }
    return out;
}

// Takes over the `unset` and `export NAME=VALUE` lines the script prints.
void applyEnvironment(const QString& lines) {
    for (const QString& line : lines.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("unset "))) {
            for (const QString& name : line.mid(6).split(u' ', Qt::SkipEmptyParts))
                qunsetenv(name.toLocal8Bit().constData());
        } else if (line.startsWith(QLatin1String("export "))) {
            const QString assignment = line.mid(7);
            const qsizetype equals = assignment.indexOf(u'=');
            if (equals > 0)
                qputenv(assignment.left(equals).toLocal8Bit().constData(),
                        shellUnquote(assignment.mid(equals + 1)).toLocal8Bit());
        }
    }
}

} // namespace

PgTestServer::~PgTestServer() {
    if (!m_ownDir.isEmpty())
        QProcess::execute(QStringLiteral("bash"), {scriptPath(), QStringLiteral("stop"), m_ownDir});
}

PgTestServer::Status PgTestServer::ensure(QString* why) {
    if (!m_failure.isEmpty()) {
        *why = m_failure;
        return Status::Failed;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why =
            QStringLiteral("Qt's QPSQL driver is not installed (Debian package libqt6sql6-psql)");
        return Status::Unavailable;
    }
    if (!m_ownDir.isEmpty())
        return Status::Ready;
    if (m_kind == Kind::Shared && qEnvironmentVariableIsSet("VELMORA_TEST_PG")) {
        if (qEnvironmentVariableIsEmpty("PGHOST") || qEnvironmentVariableIsEmpty("PGPORT")) {
            *why = QStringLiteral("VELMORA_TEST_PG is set, but PGHOST or PGPORT is not");
            return Status::Failed;
        }
        return Status::Ready;
    }
    if (!postgresInstalled()) {
        *why = QStringLiteral("PostgreSQL is not installed (Debian package postgresql)");
        return Status::Unavailable;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora-pg-XXXXXX"));
    if (!dir.isValid()) {
        m_failure =
            QStringLiteral("no temporary folder for the PostgreSQL server: ") + dir.errorString();
        *why = m_failure;
        return Status::Failed;
    }
    // The script owns the folder from here on; its stop removes it.
    dir.setAutoRemove(false);
    QProcess start;
    start.start(QStringLiteral("bash"), {scriptPath(), QStringLiteral("start"), dir.path()});
    const bool finished = start.waitForFinished(180000);
    if (!finished || start.exitStatus() != QProcess::NormalExit || start.exitCode() != 0) {
        start.kill();
        start.waitForFinished();
        m_failure = QStringLiteral("scripts/pg-test-server.sh start %1 failed:\n%2")
                        .arg(dir.path(), QString::fromLocal8Bit(start.readAllStandardError()));
        QProcess::execute(QStringLiteral("bash"),
                          {scriptPath(), QStringLiteral("stop"), dir.path()});
        *why = m_failure;
        return Status::Failed;
    }
    m_ownDir = dir.path();
    applyEnvironment(QString::fromLocal8Bit(start.readAllStandardOutput()));
    return Status::Ready;
}

// The server's user may not enter the test's private working folder.
bool runScript(const QString& command, const QString& dir) {
    QProcess script;
    script.setWorkingDirectory(QStringLiteral("/"));
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("bash"), {scriptPath(), command, dir});
    return script.waitForFinished(120000) && script.exitStatus() == QProcess::NormalExit &&
           script.exitCode() == 0;
}

bool PgTestServer::pause() {
    return !m_ownDir.isEmpty() && runScript(QStringLiteral("pause"), m_ownDir);
}

bool PgTestServer::resume() {
    return !m_ownDir.isEmpty() && runScript(QStringLiteral("resume"), m_ownDir);
}

namespace {

// The postmaster of the server in folder and its children, from /proc.
QList<pid_t> serverProcesses(const QString& folder) {
    QFile pidFile(folder + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return {};
    const pid_t postmaster = pid_t(QString::fromLatin1(pidFile.readLine()).trimmed().toInt());
    if (postmaster <= 0)
        return {};
    QList<pid_t> found{postmaster};
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number)
            continue;
        QFile stat(proc.filePath(entry + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...: the name may hold blanks, the last ')' ends it.
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList rest = line.mid(line.lastIndexOf(u')') + 2).split(u' ');
        if (rest.size() > 1 && pid_t(rest.at(1).toInt()) == postmaster)
            found.append(pid);
    }
    return found;
}

bool signalAll(const QString& folder, int signal) {
    const QList<pid_t> pids = serverProcesses(folder);
    for (pid_t pid : pids)
        ::kill(pid, signal);
    return !pids.isEmpty();
}

} // namespace

bool PgTestServer::freeze() {
    return !m_ownDir.isEmpty() && signalAll(m_ownDir, SIGSTOP);
}

bool PgTestServer::thaw() {
    return !m_ownDir.isEmpty() && signalAll(m_ownDir, SIGCONT);
}

bool PgTestServer::required() {
    return qEnvironmentVariableIsSet("CI") || qEnvironmentVariableIsSet("VELMORA_TEST_PG");
}

namespace {

// Runs one statement in the server's maintenance database (not inside a
// transaction: CREATE and DROP DATABASE refuse one).
void maintenance(const QString& sql, const QString& user) {
    const QString name = QStringLiteral("velmora-test-maintenance");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!user.isEmpty())
            db.setUserName(user);
        if (!db.open())
            qFatal("test server: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("test server: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

void PgTestServer::createDatabase(const QString& name) {
    maintenance(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0").arg(name), QString());
}

void PgTestServer::dropDatabase(const QString& name) {
    // An autovacuum worker visiting the database is ended by the superuser only.
    maintenance(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name), adminUser());
}

QString PgTestServer::adminUser() {
    const QString admin = qEnvironmentVariable("VELMORA_TEST_PG_ADMIN");
    return admin.isEmpty() ? QStringLiteral("postgres") : admin;
}

QString PgTestServer::passwordGroup() {
    const QString group = qEnvironmentVariable("VELMORA_TEST_PG_PASSWORD_GROUP");
    return group.isEmpty() ? QStringLiteral("velmora_pw_group") : group;
}

bool PgTestServer::psqlAsAdmin(const QString& database, const QStringList& arguments) {
    QProcess psql;
    psql.setProcessChannelMode(QProcess::ForwardedChannels);
    psql.start(QStringLiteral("psql"),
               QStringList{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                           QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-U"), adminUser(),
                           QStringLiteral("-d"), database} +
                   arguments);
    return psql.waitForFinished(60000) && psql.exitStatus() == QProcess::NormalExit &&
           psql.exitCode() == 0;
}
