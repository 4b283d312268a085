#include "support/CaseFolder.h"

#include "data/Database.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "support/PgTestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <unistd.h>

namespace velmora {

namespace {

// The current case's database on the test server (PostgreSQL mode only).
QString s_caseDatabase;
int s_caseNumber = 0;

PgTestServer& testServer() {
    static PgTestServer server;
    return server;
}

bool isSubjectFile(const QString& dbFile) {
    return QFileInfo(dbFile).fileName().compare(QStringLiteral("DB2.mdb"), Qt::CaseInsensitive) ==
               0 &&
           QFileInfo(dbFile).absoluteFilePath() ==
               QFileInfo(Database::absoluteFileName(DbFile::Subjects)).absoluteFilePath();
}

template <typename F> auto withConnection(const QString& dbFile, F&& f) {
    const QString name = QStringLiteral("velmora-test-sql");
    struct Remover {
        QString name;
        ~Remover() { QSqlDatabase::removeDatabase(name); }
    } remover{name};
    const bool onServer = !s_caseDatabase.isEmpty() && isSubjectFile(dbFile);
    QSqlDatabase db = QSqlDatabase::addDatabase(
        onServer ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    if (onServer) {
        db.setDatabaseName(s_caseDatabase);
    } else {
        db.setDatabaseName(QDir::current().absoluteFilePath(dbFile));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    }
    if (!db.open())
        qFatal("cannot open %s", qPrintable(dbFile));
    auto result = f(db);
    db.close();
    db = QSqlDatabase();
    return result;
}

QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    // QPSQL prepares on the server, which takes no DDL: statements without
    // values run as they are.
    QSqlQuery q(db);
    bool ok;
    if (values.isEmpty()) {
        ok = q.exec(sql);
    } else {
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        ok = q.exec();
    }
    if (!ok)
        qFatal("SQL failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

} // namespace

CaseFolder::CaseFolder(bool openDatabases) : m_previousDir(QDir::currentPath()) {
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    QDir(m_dir.path()).mkpath(QStringLiteral("Back"));
    QDir::setCurrent(m_dir.path());
    if (onServer()) {
        QString why;
        if (testServer().ensure(&why) != PgTestServer::Status::Ready)
            qFatal("VELMORA_TEST_STORE=postgresql, but no test server: %s", qPrintable(why));
        s_caseDatabase = QStringLiteral("velmora_case_%1_%2").arg(::getpid()).arg(++s_caseNumber);
        PgTestServer::createDatabase(s_caseDatabase);
        StoreUrl url;
        url.database = s_caseDatabase;
        SubjectStore::install(SubjectStore::server(url));
    }
    if (openDatabases) {
        QString error;
        if (!Database::openAll(&error))
            qFatal("databases not ready: %s", qPrintable(error));
    }
}

CaseFolder::~CaseFolder() {
    Database::closeAll();
    if (!s_caseDatabase.isEmpty()) {
        SubjectStore::install(SubjectStore::file());
        PgTestServer::dropDatabase(s_caseDatabase);
        s_caseDatabase.clear();
    }
    QDir::setCurrent(m_previousDir);
}

bool CaseFolder::onServer() {
    return qEnvironmentVariable("VELMORA_TEST_STORE") == QLatin1String("postgresql");
}

QString CaseFolder::caseDatabase() {
    return s_caseDatabase;
}

QString CaseFolder::file(const QString& relative) const {
    return m_dir.filePath(relative);
}

void CaseFolder::exec(const QString& dbFile, const QString& sql, const QVariantList& values) {
    withConnection(dbFile, [&](QSqlDatabase& db) {
        run(db, sql, values);
        return 0;
    });
}

QList<QStringList> CaseFolder::rows(const QString& dbFile, const QString& sql,
                                    const QVariantList& values) {
    return withConnection(dbFile, [&](QSqlDatabase& db) {
        QSqlQuery q = run(db, sql, values);
        QList<QStringList> result;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i).toString());
            result.append(row);
        }
        return result;
    });
}

QString CaseFolder::value(const QString& dbFile, const QString& sql, const QVariantList& values) {
    const QList<QStringList> r = rows(dbFile, sql, values);
    return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
}

void CaseFolder::withSubjects(const std::function<void(QSqlDatabase&)>& work) {
    withConnection(QStringLiteral("DBM/DB2.mdb"), [&](QSqlDatabase& db) {
        work(db);
        return 0;
    });
}

QString CaseFolder::typeOf(const QString& quotedColumn) {
    // The server's subject columns are all text: a value is text or nothing.
    return onServer() ? QStringLiteral("(CASE WHEN %1 IS NULL THEN 'null' ELSE 'text' END)")
                            .arg(quotedColumn)
                      : QStringLiteral("typeof(%1)").arg(quotedColumn);
}

void CaseFolder::refuseInserts(const QString& table, const QString& message) {
    const QString quotedMessage = QStringLiteral("'") + QString(message).replace('\'', "''") + '\'';
    if (onServer())
        exec(QStringLiteral("DBM/DB2.mdb"),
             QStringLiteral("CREATE FUNCTION \"refuse_%1\"() RETURNS trigger LANGUAGE plpgsql AS "
                            "$$ BEGIN RAISE EXCEPTION %2; END $$; CREATE TRIGGER \"refuse\" "
                            "BEFORE INSERT ON \"%1\" FOR EACH ROW EXECUTE FUNCTION \"refuse_%1\"()")
                 .arg(table, quotedMessage));
    else
        exec(QStringLiteral("DBM/DB2.mdb"),
             QStringLiteral("CREATE TRIGGER \"refuse_%1\" BEFORE INSERT ON \"%1\" BEGIN SELECT "
                            "RAISE(ABORT, %2); END")
                 .arg(table, quotedMessage));
}

void CaseFolder::allowInserts(const QString& table) {
    exec(QStringLiteral("DBM/DB2.mdb"),
         onServer() ? QStringLiteral("DROP TRIGGER \"refuse\" ON \"%1\"").arg(table)
                    : QStringLiteral("DROP TRIGGER \"refuse_%1\"").arg(table));
}

void CaseFolder::addSubject(const QString& code, const QString& firstName, const QString& lastName,
                            const QString& group) {
    withConnection(QStringLiteral("DBM/DB2.mdb"), [&](QSqlDatabase& db) {
        run(db,
            "INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", "
            "\"Tahsil\", \"Group\", \"Date\", \"Time\") VALUES (?, ?, ?, 'x', '30', 'y', 'z', ?, "
            "'1393/08/11', '10:00:00')",
            {code, firstName, lastName, group});
        run(db, "INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES (?, ?)", {code, group});
        return 0;
    });
}

QString CaseFolder::storedAnswer(const QString& code, int item) {
    return value(QStringLiteral("DBM/DB2.mdb"),
                 QStringLiteral("SELECT \"%1\" FROM \"Answer\" WHERE \"Code\" = ?").arg(item),
                 {code});
}

void CaseFolder::setAnswers(const QString& code, const QStringList& answers) {
    withConnection(QStringLiteral("DBM/DB2.mdb"), [&](QSqlDatabase& db) {
        for (int i = 0; i < answers.size() && i < ItemCount; ++i)
            run(db,
                QStringLiteral("UPDATE \"Answer\" SET \"%1\" = ? WHERE \"Code\" = ?").arg(i + 1),
                {answers.at(i), code});
        return 0;
    });
}

void CaseFolder::addAdministration(const QString& code, const QString& date, const QString& time,
                                   const QStringList& answers) {
    QStringList columns{"\"Code\"", "\"Date\"", "\"Time\""};
    QStringList marks{"?", "?", "?"};
    QVariantList values{code, date, time};
    for (int i = 0; i < answers.size() && i < ItemCount; ++i) {
        columns.append(QStringLiteral("\"%1\"").arg(i + 1));
        marks.append(QStringLiteral("?"));
        values.append(answers.at(i));
    }
    exec(QStringLiteral("DBM/DB2.mdb"),
         QStringLiteral("INSERT INTO \"History\" (%1) VALUES (%2)")
             .arg(columns.join(", "), marks.join(", ")),
         values);
}

int runDataTest(int argc, char** argv, QObject* test) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-test"));
    return QTest::qExec(test, argc, argv);
}

} // namespace velmora
