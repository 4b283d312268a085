#include "app/App.h"
#include "app/Frm1.h"
#include "data/Database.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <memory>
#include <sys/stat.h>

using namespace velmora;

namespace {

// An SQLite file with other tables than the program's.
void writeForeignDatabase(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec("CREATE TABLE \"IDE\" (\"ID\" INTEGER PRIMARY KEY, \"Code\" TEXT)");
        db.close();
    }
    QSqlDatabase::removeDatabase("foreign");
}

} // namespace

class TestDatabaseFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    // A subject file made before administrations were kept: the tables and
    // indexes of that time, with a subject on them.
    void makeOlderSubjectFile() {
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("a");
        ProgramFolder::setAnswers("a", {"5", "4"});
        Database::closeAll();
        ProgramFolder::exec("DBM/DB2.mdb", "DROP TABLE \"History\"");
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM sqlite_master WHERE "
                                                     "name LIKE 'History%'"),
                 QString("0"));
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(false); }
    void cleanup() { m_folder.reset(); }

    void missingFilesAndFolderAreCreated() {
        QVERIFY(!QFile::exists("DBM"));
        QString error;
        QVERIFY(Database::openAll(&error));
        QVERIFY(QFile::exists("DBM/DB.mdb"));
        QVERIFY(QFile::exists("DBM/DB2.mdb"));
        QCOMPARE(ProgramFolder::value("DBM/DB.mdb", "SELECT COUNT(*) FROM \"Theme\""),
                 QString("1"));
        // Opening again keeps what is there.
        ProgramFolder::addSubject("kept");
        Database::closeAll();
        QVERIFY(Database::openAll(&error));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Code\" FROM \"IDE\""),
                 QString("kept"));
    }

    void newFilesArePrivateWhateverTheUmask() {
        const mode_t old = ::umask(0);
        QString error;
        const bool opened = Database::openAll(&error);
        ::umask(old);
        QVERIFY2(opened, qPrintable(error));
        for (const QString& path : {QStringLiteral("DBM/DB.mdb"), QStringLiteral("DBM/DB2.mdb")})
            QCOMPARE(QFile::permissions(path) & 0x7777,
                     QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                        QFile::WriteUser));
        QCOMPARE(QFile::permissions("DBM") & 0x7777,
                 QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadUser | QFile::WriteUser | QFile::ExeUser));
    }

    void anExistingFileKeepsItsMode() {
        QVERIFY(Database::openAll(nullptr));
        Database::closeAll();
        const auto shared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                            QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions("DBM/DB2.mdb", shared));
        QVERIFY(Database::openAll(nullptr));
        QCOMPARE(QFile::permissions("DBM/DB2.mdb") & 0x7777, QFile::Permissions(shared));
    }

    void filesAreFoundWhateverTheCaseOfTheirNames() {
        // A copy from another system may bring its own spelling.
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("brought");
        Database::closeAll();
        QVERIFY(QDir().rename("DBM/DB2.mdb", "DBM/db2.mdb"));
        QVERIFY(QDir().rename("DBM", "dbm"));
        QString error;
        QVERIFY2(Database::openAll(&error), qPrintable(error));
        QVERIFY(!QFile::exists("DBM/DB2.mdb") ||
                QFileInfo("DBM").canonicalFilePath() == QFileInfo("dbm").canonicalFilePath());
        QCOMPARE(QFileInfo(Database::absoluteFileName(DbFile::Subjects)).fileName(),
                 QString("db2.mdb"));
        QCOMPARE(ProgramFolder::value("dbm/db2.mdb", "SELECT \"Code\" FROM \"IDE\""),
                 QString("brought"));
        QCOMPARE(QDir()
                     .entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot)
                     .filter("dbm", Qt::CaseInsensitive)
                     .size(),
                 1);
    }

    void aSettingsFileWithoutItsRecordGetsOne() {
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::exec("DBM/DB.mdb", "DELETE FROM \"Theme\"");
        Database::closeAll();
        QVERIFY(Database::openAll(nullptr));
        QCOMPARE(ProgramFolder::value("DBM/DB.mdb", "SELECT COUNT(*) FROM \"Theme\""),
                 QString("1"));
    }

    void badFilesAreNeverTouched_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        for (const QString& file : {QString("DBM/DB.mdb"), QString("DBM/DB2.mdb")}) {
            for (const QString& kind : {QString("text"), QString("empty"), QString("foreign"),
                                        QString("truncated"), QString("folder")})
                QTest::newRow(qPrintable(file + " " + kind)) << file << kind;
        }
    }
    void badFilesAreNeverTouched() {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        if (kind == "text") {
            writeFile(file, "Subjects of 2014, written by hand\n");
        } else if (kind == "empty") {
            writeFile(file, QByteArray());
        } else if (kind == "foreign") {
            writeForeignDatabase(file);
        } else if (kind == "truncated") {
            QVERIFY(Database::openAll(nullptr));
            for (int i = 0; i < 20; ++i)
                ProgramFolder::addSubject(QString::number(i));
            Database::closeAll();
            QByteArray bytes = bytesOf(file);
            writeFile(file, bytes.left(100));
        } else {
            QDir().mkpath(file);
        }
        const QByteArray before = bytesOf(file);

        QVERIFY(!startVelmora());
        QVERIFY(!Frm1::instance());
        const QStringList messages = m_folder->platform().messageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QDir::toNativeSeparators(file)),
                 qPrintable(messages.first()));
        QCOMPARE(m_folder->platform().interactions.first().icon, QMessageBox::Critical);
        QCOMPARE(bytesOf(file), before);
        if (kind == "folder")
            QVERIFY(QFileInfo(file).isDir());
    }

    void aFileLockedByAnotherProgramIsReportedNotRecreated() {
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("kept");
        Database::closeAll();
        const QByteArray before = bytesOf("DBM/DB2.mdb");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-program");
            db.setDatabaseName(QDir::current().absoluteFilePath("DBM/DB2.mdb"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN EXCLUSIVE"));
            QString error;
            QVERIFY(!Database::openAll(&error));
            QVERIFY(error.contains(QDir::toNativeSeparators("DBM/DB2.mdb")));
            QSqlQuery(db).exec("ROLLBACK");
            db.close();
        }
        QSqlDatabase::removeDatabase("other-program");
        QCOMPARE(bytesOf("DBM/DB2.mdb"), before);
    }

    void anOlderSubjectFileGetsItsIndexes() {
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("a");
        Database::closeAll();
        for (const QString& index : {QStringLiteral("IDE_Code"), QStringLiteral("Answer_Code"),
                                     QStringLiteral("IDE_Group"), QStringLiteral("IDE_LName"),
                                     QStringLiteral("IDE_FName")})
            ProgramFolder::exec("DBM/DB2.mdb", QStringLiteral("DROP INDEX \"%1\"").arg(index));
        QVERIFY(Database::openAll(nullptr));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb",
                                      "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                      "name IN ('IDE_Code', 'Answer_Code', 'IDE_Group', "
                                      "'IDE_LName', 'IDE_FName')"),
                 QString("5"));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Code\" FROM \"IDE\""), QString("a"));
    }

    void indexesWaitForAFileNobodyElseUses_data() {
        QTest::addColumn<QString>("lock");
        QTest::newRow("another program reads") << "BEGIN";
        QTest::newRow("another program writes") << "BEGIN IMMEDIATE";
    }
    void indexesWaitForAFileNobodyElseUses() {
        QFETCH(QString, lock);
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("a");
        Database::closeAll();
        for (const QString& index : {QStringLiteral("IDE_Code"), QStringLiteral("Answer_Code"),
                                     QStringLiteral("IDE_Group"), QStringLiteral("IDE_LName"),
                                     QStringLiteral("IDE_FName")})
            ProgramFolder::exec("DBM/DB2.mdb", QStringLiteral("DROP INDEX \"%1\"").arg(index));
        const auto indexes = [] {
            return ProgramFolder::value(
                "DBM/DB2.mdb", "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name "
                               "IN ('IDE_Code', 'Answer_Code', 'IDE_Group', 'IDE_LName', "
                               "'IDE_FName')");
        };
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-program");
            db.setDatabaseName(QDir::current().absoluteFilePath("DBM/DB2.mdb"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(lock));
            QVERIFY(q.exec("SELECT COUNT(*) FROM \"IDE\"") && q.next());
            q.finish();

            QElapsedTimer started;
            started.start();
            QString error;
            QVERIFY2(Database::openAll(&error), qPrintable(error));
            // One busy wait alone would be three seconds.
            QVERIFY2(started.elapsed() < 1500, qPrintable(QString::number(started.elapsed())));
            QCOMPARE(indexes(), QString("0"));
            QVERIFY(q.exec("ROLLBACK"));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("other-program");
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT \"Code\" FROM \"IDE\""), QString("a"));

        // The next start finds the file free and adds them.
        Database::closeAll();
        QVERIFY(Database::openAll(nullptr));
        QCOMPARE(indexes(), QString("5"));
    }

    void anOlderSubjectFileGainsAnEmptyHistory() {
        makeOlderSubjectFile();
        QVERIFY(Database::openAll(nullptr));
        QCOMPARE(ProgramFolder::rows("DBM/DB2.mdb",
                                     "SELECT name FROM pragma_table_info('History') ORDER BY cid"),
                 (QList<QStringList>{{"ID"},
                                     {"Code"},
                                     {"Date"},
                                     {"Time"},
                                     {"1"},
                                     {"2"},
                                     {"3"},
                                     {"4"},
                                     {"5"},
                                     {"6"},
                                     {"7"},
                                     {"8"},
                                     {"9"},
                                     {"10"},
                                     {"11"},
                                     {"12"},
                                     {"13"},
                                     {"14"}}));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM \"History\""),
                 QString("0"));
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT sql FROM sqlite_master WHERE "
                                                     "name = 'History_Code'"),
                 QString("CREATE INDEX \"History_Code\" ON \"History\" (\"Code\")"));
        // What the file held is untouched.
        QCOMPARE(ProgramFolder::rows("DBM/DB2.mdb", "SELECT \"Code\", \"1\", \"2\", \"3\" "
                                                    "FROM \"Answer\""),
                 (QList<QStringList>{{"a", "5", "4", ""}}));
    }

    // An older file put in place while the program runs (a restored backup)
    // gets the table when it is next opened.
    void anOlderFilePutInPlaceGainsItOnTheNextConnection() {
        makeOlderSubjectFile();
        QVERIFY(Database::openAll(nullptr));
        QVERIFY(Database::isSoundSubjectDatabase("DBM/DB2.mdb", nullptr));
        Database::close(DbFile::Subjects);
        ProgramFolder::exec("DBM/DB2.mdb", "DROP TABLE \"History\"");
        QSqlQuery q(Database::connection(DbFile::Subjects));
        QVERIFY(q.exec("SELECT COUNT(*) FROM \"History\""));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }

    void soundSubjectDatabaseCheck() {
        QVERIFY(Database::openAll(nullptr));
        ProgramFolder::addSubject("a");
        Database::closeAll();
        QString why;
        QVERIFY(Database::isSoundSubjectDatabase("DBM/DB2.mdb", &why));
        // A History without its answers is not one of ours; no History at all
        // is a file of an earlier version.
        ProgramFolder::exec("DBM/DB2.mdb", "ALTER TABLE \"History\" DROP COLUMN \"14\"");
        QVERIFY(!Database::isSoundSubjectDatabase("DBM/DB2.mdb", &why));
        QVERIFY2(why.contains("History"), qPrintable(why));
        ProgramFolder::exec("DBM/DB2.mdb", "DROP TABLE \"History\"");
        QVERIFY(Database::isSoundSubjectDatabase("DBM/DB2.mdb", &why));
        QVERIFY(!Database::isSoundSubjectDatabase("DBM/DB.mdb", &why)); // no IDE, Answer
        QVERIFY(!Database::isSoundSubjectDatabase("DBM/none.mdb", &why));
        writeFile("photo.jpg", QByteArray("\xff\xd8\xff\xe0 JFIF", 10));
        QVERIFY(!Database::isSoundSubjectDatabase("photo.jpg", &why));
    }
};

VELMORA_TEST_MAIN(TestDatabaseFiles)
#include "tst_databasefiles.moc"
