#include "backup/BackupFiles.h"
#include "backup/Frmbackup.h"
#include "data/CodeKeys.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "support/PgSession.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"
#include "support/Targets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <memory>
#include <unistd.h>

using namespace velmora;

// A backup of subject tables on a server is an ordinary subject file: it
// restores on a workstation's file, and a file's backup restores on a server,
// all rows with their keys, or nothing.
namespace {

const QString SubjectFile = QStringLiteral("DBM/DB2.mdb");

// Every row of every subject table, keys included, in key order.
QList<QStringList> allRows(QSqlDatabase db) {
    QList<QStringList> rows;
    for (const QString& table : Database::tables(DbFile::Subjects)) {
        QStringList columns;
        for (const QString& f : Database::fields(table))
            columns.append(Database::quoted(f));
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY \"ID\"")
                        .arg(columns.join(", "), Database::quoted(table))))
            qWarning("%s", qPrintable(q.lastError().text()));
        while (q.next()) {
            QStringList row{table};
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            rows.append(row);
        }
    }
    return rows;
}

// A restore of the store from a copy of file (the store takes the file it is
// given), as the backup window makes one.
bool restoreFrom(const QString& file, const CopyProgress& progress, QString* error) {
    const QString copy = file + QStringLiteral(".restore");
    QFile::remove(copy);
    if (!QFile::copy(file, copy)) {
        *error = QStringLiteral("no copy of ") + file;
        return false;
    }
    return BackupFiles::checkRestoreCopy(copy, error) &&
           SubjectStore::current().replaceWith(copy, progress, error);
}

// The store's tables as one subject file at path, as the backup window
// writes a backup.
bool backUpTo(const QString& path, QString* error) {
    std::unique_ptr<StoreSnapshot> snapshot =
        SubjectStore::current().snapshot(BackupFiles::backupFolder(), {}, error);
    if (!snapshot)
        return false;
    BackupFiles::CopySteps steps;
    steps.acceptCopy = [&](const QString& copy, QString* why) {
        return BackupFiles::checkBackupCopy(copy, snapshot->path(), path, why);
    };
    return BackupFiles::copyFile(snapshot->path(), path, steps, error);
}

QList<QStringList> fileRows(const QString& path) {
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "file-rows");
        db.setDatabaseName(path);
        if (db.open())
            rows = allRows(db);
        db.close();
    }
    QSqlDatabase::removeDatabase("file-rows");
    return rows;
}

void fill(int subjects) {
    ProgramFolder::exec(
        SubjectFile,
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 "
        "< ?) INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Group\", "
        "\"Date\") SELECT 'O''Brien-' || i, 'نام ' || i, 'فاميلي', 'G' || (i % 3), "
        "NULL FROM n",
        {subjects});
    ProgramFolder::exec(SubjectFile,
                        "INSERT INTO \"Answer\" (\"Code\", \"Group\", \"1\", \"2\", \"3\") "
                        "SELECT \"Code\", \"Group\", \"ID\" % 10, '', '7' FROM \"IDE\"");
}

} // namespace

class TestStoreCopy : public QObject {
    Q_OBJECT
    PgTestServer m_server;
    std::unique_ptr<ProgramFolder> m_folder;
    QString m_database;
    int m_case = 0;

    // The subject tables of this case's program folder on the server, empty.
    void useServer() {
        m_database = QStringLiteral("velmora_copy_%1_%2").arg(::getpid()).arg(++m_case);
        PgTestServer::createDatabase(m_database);
        StoreUrl url;
        url.database = m_database;
        SubjectStore::install(SubjectStore::server(url));
        QString error;
        QVERIFY2(Database::openAll(&error), qPrintable(error));
    }
    QList<QStringList> serverRows() { return allRows(Database::connection(DbFile::Subjects)); }

private slots:
    void initTestCase() {
        if (ProgramFolder::onServer())
            QSKIP("moves the subject tables between a file and the server itself");
        VELMORA_REQUIRE_PG(m_server);
    }
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() {
        Database::closeAll();
        SubjectStore::install(SubjectStore::file());
        m_folder.reset();
        if (!m_database.isEmpty())
            PgTestServer::dropDatabase(m_database);
        m_database.clear();
    }

    void aFileBackupRestoresOnTheServerAndTheServersBackupOnAFile() {
        // Subjects kept in the workstation's file, with a gap in the keys.
        fill(30);
        ProgramFolder::exec(SubjectFile, "DELETE FROM \"IDE\" WHERE \"ID\" = 7");
        const QList<QStringList> original = fileRows(m_folder->file(SubjectFile));
        QVERIFY(original.size() == 59);
        const QString backup = m_folder->file("Back/file.mdbB");
        QVERIFY(QFile::copy(m_folder->file(SubjectFile), backup));

        useServer();
        qint64 lastDone = 0, lastTotal = 0;
        QString error;
        QVERIFY2(restoreFrom(
                     backup,
                     [&](qint64 done, qint64 total) {
                         QVERIFY(done > lastDone && done <= total);
                         lastDone = done;
                         lastTotal = total;
                     },
                     &error),
                 qPrintable(error));
        QCOMPARE(lastDone, lastTotal);
        QCOMPARE(serverRows(), original);
        // The restored codes have their keys: a code that only reads as a
        // restored one is found at once.
        QString stored;
        QVERIFY2(CodeKeys::findLookAlike(QStringLiteral("\u200EO'Brien-3"), &stored, &error),
                 qPrintable(error));
        QCOMPARE(stored, QStringLiteral("O'Brien-3"));
        QSqlQuery keys(Database::connection(DbFile::Subjects));
        QVERIFY(keys.exec("SELECT COUNT(*) FROM \"CodeKey\"") && keys.next());
        QCOMPARE(keys.value(0).toInt(), 29);
        keys.finish();

        // New keys continue above the restored ones.
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('after') RETURNING \"ID\"") &&
                q.next());
        QCOMPARE(q.value(0).toLongLong(), 31);
        q.finish();

        const QString serverBackup = m_folder->file("Back/server.mdbB");
        QVERIFY2(backUpTo(serverBackup, &error), qPrintable(error));
        QVERIFY2(Database::isSoundSubjectDatabase(serverBackup, &error), qPrintable(error));
        const QList<QStringList> onServer = serverRows();
        QCOMPARE(fileRows(serverBackup), onServer);
        QVERIFY(QDir(m_folder->file("Back"))
                    .entryList({"*.part*"}, QDir::Files | QDir::Hidden)
                    .isEmpty());

        // On a workstation that keeps its subjects in the file, it is the file.
        Database::closeAll();
        SubjectStore::install(SubjectStore::file());
        QFile::remove(m_folder->file(SubjectFile));
        QVERIFY(QFile::copy(serverBackup, m_folder->file(SubjectFile)));
        QVERIFY2(Database::openAll(&error), qPrintable(error));
        QCOMPARE(fileRows(m_folder->file(SubjectFile)), onServer);
    }

    void theBackupWindowRestoresOnTheServerAfterKeepingIt() {
        fill(5);
        const QList<QStringList> backupRows = fileRows(m_folder->file(SubjectFile));
        const QString backup = m_folder->file("Back/earlier.mdbB");
        QVERIFY(QFile::copy(m_folder->file(SubjectFile), backup));
        useServer();
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('later')"));
        const QList<QStringList> later = serverRows();

        Frmbackup* w = Frmbackup::showWindow();
        m_folder->platform().openAnswers.enqueue(backup);
        QTest::mouseClick(w->b2, Qt::LeftButton);
        m_folder->platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        const QStringList texts = m_folder->platform().messageTexts();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.first(), QStringLiteral("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"));
        QVERIFY2(texts.last().startsWith(QStringLiteral("بازيابي اطلاعات انجام شد")),
                 qPrintable(texts.last()));
        QCOMPARE(serverRows(), backupRows);
        // What the server held before is kept in Back, as a subject file, and
        // the operator is told where; the checked copy of the backup is gone.
        QStringList kept = QDir(BackupFiles::backupFolder())
                               .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        kept.removeAll("earlier.mdbB");
        QCOMPARE(kept.size(), 1);
        QVERIFY2(texts.last().contains(kept.first()), qPrintable(texts.last()));
        QCOMPARE(fileRows(QDir(BackupFiles::backupFolder()).filePath(kept.first())), later);
    }

    // A text the server cannot hold stops the restore before anything is
    // replaced, and the operator learns which subject and field it is in.
    void aValueTheServerCannotHoldIsNamedAndNothingReplaced() {
        fill(3);
        ProgramFolder::exec(SubjectFile, "UPDATE \"IDE\" SET \"LName\" = ? WHERE \"ID\" = 2",
                            {QString(QStringLiteral("Kar") + QChar(0) + QStringLiteral("imi"))});
        const QString backup = m_folder->file("Back/nul.mdbB");
        QVERIFY(QFile::copy(m_folder->file(SubjectFile), backup));
        const QString code =
            ProgramFolder::value(SubjectFile, "SELECT \"Code\" FROM \"IDE\" WHERE \"ID\" = 2");
        useServer();
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('kept')"));
        q.finish();
        const QList<QStringList> before = serverRows();
        QString error;
        QVERIFY(!restoreFrom(backup, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("LName")) && error.contains(code) &&
                     error.contains(QStringLiteral("NUL")),
                 qPrintable(error));
        QCOMPARE(serverRows(), before);
    }

    // A registration while another workstation restores waits a moment and
    // then says so, in words, not in the server's syntax.
    void aRegistrationDuringARestoreElsewhereSaysSo() {
        useServer();
        PgSession restoring(m_database, QStringLiteral("restoring-workstation"));
        restoring.run("BEGIN");
        restoring.run("SELECT pg_advisory_xact_lock(1986358381, 2)"); // a restore's own lock
        restoring.run("LOCK TABLE \"IDE\" IN EXCLUSIVE MODE");
        restoring.run("LOCK TABLE \"Answer\" IN EXCLUSIVE MODE");
        QWidget owner;
        DataControl ide("IDE", &owner, "Adodc2");
        ide.setReportFailures(false);
        ide.addNew();
        ide.setField("Code", "new");
        QVERIFY(!ide.save());
        QCOMPARE(ide.lastFailure(), StoreFailure::Busy);
        QVERIFY2(ide.lastError().contains(QStringLiteral("بازيابي")), qPrintable(ide.lastError()));
        QVERIFY2(!ide.lastError().contains(QStringLiteral("EXECUTE")), qPrintable(ide.lastError()));
        restoring.run("ROLLBACK");
        QVERIFY2(ide.save(), qPrintable(ide.lastError()));
    }

    void aRestoreThatFailsHalfwayLeavesTheServerAsItWas() {
        useServer();
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('before')"));
        QVERIFY(q.exec("INSERT INTO \"Answer\" (\"Code\") VALUES ('before')"));
        const QList<QStringList> before = serverRows();
        // The server refuses the sheets (as a full disk would), after the
        // registrations of a sound subject file went in.
        QVERIFY(q.exec("CREATE FUNCTION \"refuse_sheets\"() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$ BEGIN RAISE EXCEPTION 'no room for the sheets'; END $$"));
        QVERIFY(q.exec("CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"Answer\" FOR EACH ROW "
                       "EXECUTE FUNCTION \"refuse_sheets\"()"));
        q.finish();
        Database::closeAll();
        SubjectStore::install(SubjectStore::file());
        QString error;
        QVERIFY(Database::openAll(&error));
        fill(450);
        const QString backup = m_folder->file("Back/sound.mdbB");
        QVERIFY(QFile::copy(m_folder->file(SubjectFile), backup));
        Database::closeAll();
        StoreUrl url;
        url.database = m_database;
        SubjectStore::install(SubjectStore::server(url));
        QVERIFY(Database::openAll(&error));
        QVERIFY(!restoreFrom(backup, {}, &error));
        QVERIFY2(error.contains("no room for the sheets"), qPrintable(error));
        QCOMPARE(serverRows(), before);
    }

    // A file whose sheets repeat a code (its unique index dropped) is refused
    // before the server is touched, naming the code.
    void aFileHoldingACodeTwiceIsRefusedWhole() {
        useServer();
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('before')"));
        q.finish();
        const QList<QStringList> before = serverRows();
        Database::closeAll();
        SubjectStore::install(SubjectStore::file());
        QString error;
        QVERIFY(Database::openAll(&error));
        fill(450);
        ProgramFolder::exec(SubjectFile, "DROP INDEX \"Answer_Code\"");
        ProgramFolder::exec(SubjectFile, "INSERT INTO \"Answer\" (\"Code\") VALUES ('O''Brien-3')");
        const QString crafted = m_folder->file("Back/crafted.mdbB");
        QVERIFY(QFile::copy(m_folder->file(SubjectFile), crafted));
        Database::closeAll();
        StoreUrl url;
        url.database = m_database;
        SubjectStore::install(SubjectStore::server(url));
        QVERIFY(Database::openAll(&error));
        QVERIFY(!restoreFrom(crafted, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("«") + isolatedText(QStringLiteral("O'Brien-3")) +
                                QStringLiteral("»")),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("«") + isolatedText(QStringLiteral("Answer")) +
                                QStringLiteral("»")),
                 qPrintable(error));
        QCOMPARE(serverRows(), before);
    }

    // The backup of the server goes only into a regular file, as every
    // backup: a device, /dev/full, a pipe, a folder and a link to nothing are
    // refused and stay as they were; a link to a file is written through.
    void theServersBackupMeetsEveryKindOfTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("refused");
        QTest::newRow("device node") << "device" << true;
        QTest::newRow("/dev/full") << "/dev/full" << true;
        QTest::newRow("pipe") << "pipe" << true;
        QTest::newRow("folder") << "folder" << true;
        QTest::newRow("dangling link") << "dangling link" << true;
        QTest::newRow("link to a file") << "link to a file" << false;
    }
    void theServersBackupMeetsEveryKindOfTarget() {
        QFETCH(QString, kind);
        QFETCH(bool, refused);
        useServer();
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('on the server')"));
        q.finish();
        const QString folder = m_folder->file("Out");
        QVERIFY(QDir().mkpath(folder));
        const QString target = makeTarget(kind, folder, QStringLiteral("server.mdbB"));
        if (target.isEmpty())
            QSKIP("this machine does not let the test make such a target");
        const QStringList before =
            QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QString error;
        const bool written = backUpTo(target, &error);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), before);
        if (refused) {
            QVERIFY(!written);
            QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
            QCOMPARE(targetKind(target), kindBefore(kind));
        } else {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(targetKind(target), QStringLiteral("link"));
            QCOMPARE(fileRows(linkedFile(target)), serverRows());
        }
    }
};

VELMORA_TEST_MAIN(TestStoreCopy)
#include "tst_storecopy.moc"
