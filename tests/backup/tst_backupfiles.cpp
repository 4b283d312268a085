#include "backup/Backup.h"
#include "backup/BackupFiles.h"
#include "data/Database.h"
#include "data/SubjectFileCheck.h"
#include "data/SubjectStore.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/SubjectFiles.h"
#include "support/Targets.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX
#include "support/FileSizeLimit.h"

using namespace velmora;
#endif

namespace {

QByteArray pattern(qint64 size) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 4048) & 0xff);
    return data;
}

// The program's own sentence comes first, in Persian.
bool persianSentence(const QString& text) {
    return !text.isEmpty() && text.at(0).unicode() >= 0x0600 && text.at(0).unicode() <= 0x06ff;
}

// The statement that makes table, written by hand: names unquoted where they
// can be, words in lower case, one column a line with a comment.
QString handWritten(const QString& table) {
    QStringList columns;
    for (const QString& field : Database::fields(table)) {
        const QString name = field.at(0).isDigit() || field == QLatin1String("Group")
                                 ? QLatin1Char('[') + field + QLatin1Char(']')
                                 : field;
        columns.append(field == QLatin1String("ID")
                           ? name + QStringLiteral(" integer   primary key autoincrement")
                           : name + QStringLiteral(" text -- one field\n"));
    }
    return QStringLiteral("create table %1 (\n  %2)")
        .arg(table, columns.join(QStringLiteral(",\n  ")));
}

} // namespace

class TestBackupFiles : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void timeText_data() {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("9:05") << QTime(9, 5) << "9.05";
        QTest::newRow("0:07") << QTime(0, 7) << "0.07";
        QTest::newRow("10:00") << QTime(10, 0) << "10.00";
        QTest::newRow("14:30") << QTime(14, 30, 59) << "14.30";
        QTest::newRow("midnight") << QTime(0, 0) << "0.00";
        QTest::newRow("23:59") << QTime(23, 59) << "23.59";
    }
    void timeText() {
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(BackupFiles::timeText(time), expected);
    }

    void defaultNameOfTheSecondOfNovember2014() {
        const QDateTime moment(QDate(2014, 11, 2), QTime(14, 5, 40));
        const QString expected = QStringLiteral("در تاريخ") + QStringLiteral("1393.8.11") +
                                 QStringLiteral(" ساعت)") + QStringLiteral("14.05") +
                                 QStringLiteral(")") + QStringLiteral(".mdbB");
        QCOMPARE(BackupFiles::defaultBackupName(moment), expected);
        QCOMPARE(
            BackupFiles::defaultBackupName(QStringLiteral("1393.8.11"), QStringLiteral("14.05")),
            expected);
        // No blank between the words and the date, and the name ends in the backup extension.
        QVERIFY(expected.startsWith(QStringLiteral("در تاريخ") + QStringLiteral("1393")));
        QVERIFY(expected.endsWith(QStringLiteral(").mdbB")));
    }

    void backupsMatchTheDialogFilter() {
        QCOMPARE(BackupFiles::backupFilter(), QStringLiteral("Database Backup |*.mdbB"));
        QCOMPARE(BackupFiles::dialogFilter(), QStringLiteral("Database Backup (*.mdbB)"));
        const QString name =
            BackupFiles::defaultBackupName(QDateTime(QDate(2014, 11, 2), QTime(9, 5)));
        writeFile(QDir(BackupFiles::backupFolder()).filePath(name), "x");
        writeFile(QDir(BackupFiles::backupFolder()).filePath("other.mdb"), "x");
        QCOMPARE(
            QDir(BackupFiles::backupFolder()).entryList({QStringLiteral("*.mdbB")}, QDir::Files),
            QStringList{name});
    }

    void paths() {
        QCOMPARE(BackupFiles::backupFolder(), m_folder->file("Back"));
        QVERIFY(
            BackupFiles::sameFile(BackupFiles::subjectDatabase(), m_folder->file("DBM/DB2.mdb")));
        QVERIFY(
            BackupFiles::sameFile(BackupFiles::settingsDatabase(), m_folder->file("DBM/DB.mdb")));
    }

    void copiesEveryByteInChunks_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("chunks");
        QTest::newRow("empty") << qint64(0) << 0;
        QTest::newRow("one byte") << qint64(1) << 1;
        QTest::newRow("one chunk less a byte") << qint64(4047) << 1;
        QTest::newRow("one whole chunk") << qint64(4048) << 1;
        QTest::newRow("one chunk and a byte") << qint64(4049) << 2;
        QTest::newRow("the old 4096") << qint64(4096) << 2;
        QTest::newRow("three chunks and five") << qint64(3 * 4048 + 5) << 4;
    }
    void copiesEveryByteInChunks() {
        QFETCH(qint64, size);
        QFETCH(int, chunks);
        const QByteArray data = pattern(size);
        const QString source = m_folder->file("source.bin");
        const QString destination = m_folder->file("Back/copy.mdbB");
        writeFile(source, data);
        QList<qint64> offsets;
        BackupFiles::CopySteps steps;
        steps.betweenChunks = [&](qint64 copied, qint64 total) {
            QCOMPARE(total, size);
            offsets.append(copied);
        };
        QString error;
        QVERIFY2(BackupFiles::copyFile(source, destination, steps, &error), qPrintable(error));
        QCOMPARE(bytesOf(destination), data);
        QCOMPARE(offsets.size(), chunks);
        for (int i = 0; i < offsets.size(); ++i)
            QCOMPARE(offsets.at(i), i * BackupFiles::ChunkBytes);
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"copy.mdbB"});
    }

    void copyReplacesALongerFileWholly() {
        const QString source = m_folder->file("source.bin");
        const QString destination = m_folder->file("Back/old.mdbB");
        writeFile(source, pattern(5000));
        writeFile(destination, QByteArray(20000, 'o'));
        QString error;
        QVERIFY2(BackupFiles::copyFile(source, destination, {}, &error), qPrintable(error));
        QCOMPARE(bytesOf(destination), pattern(5000));
    }

    void failuresLeaveNothingBehind_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::newRow("missing source") << "Back/none.mdbB"
                                        << "Back/new.mdbB";
        QTest::newRow("missing folder") << "DBM/DB2.mdb"
                                        << "Nowhere/new.mdbB";
        QTest::newRow("a file for a folder") << "DBM/DB2.mdb"
                                             << "DBM/DB.mdb/new.mdbB";
        QTest::newRow("a folder for a file") << "DBM/DB2.mdb"
                                             << "Back";
        QTest::newRow("onto itself") << "DBM/DB2.mdb"
                                     << "DBM/DB2.mdb";
        QTest::newRow("onto itself, other spelling") << "DBM/DB2.mdb"
                                                     << "DBM/../DBM/./DB2.mdb";
    }
    void failuresLeaveNothingBehind() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QStringList back = filesIn(m_folder->file("Back"));
        const QStringList dbm = filesIn(m_folder->file("DBM"));
        QString error;
        QVERIFY(!BackupFiles::copyFile(source, destination, {}, &error));
        QVERIFY2(persianSentence(error), qPrintable(error));
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/none.mdbB")));
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/new.mdbB")));
        QVERIFY(!QFileInfo::exists(m_folder->file("Nowhere")));
        QCOMPARE(filesIn(m_folder->file("Back")), back);
        QCOMPARE(filesIn(m_folder->file("DBM")), dbm);
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
    }

    void aLinkToTheDatabaseIsTheDatabase() {
        const QString database = m_folder->file("DBM/DB2.mdb");
        const QString link = m_folder->file("Back/link.mdbB");
        QVERIFY(QFile::link(database, link));
        QVERIFY(BackupFiles::sameFile(link, database));
        QVERIFY(!BackupFiles::sameFile(m_folder->file("DBM/DB.mdb"), database));
        QVERIFY(!BackupFiles::sameFile(m_folder->file("Back/missing"), database));
        const QByteArray before = bytesOf(database);
        QString error;
        QVERIFY(!BackupFiles::copyFile(database, link, {}, &error));
        QVERIFY(!BackupFiles::copyFile(link, database, {}, &error));
        QCOMPARE(bytesOf(database), before);
    }

    void aRefusedCopyLeavesTheDestinationAsItWas() {
        const QString source = m_folder->file("source.bin");
        const QString destination = m_folder->file("Back/old.mdbB");
        writeFile(source, pattern(9000));
        writeFile(destination, "the old backup");
        QString seen;
        BackupFiles::CopySteps steps;
        steps.acceptCopy = [&](const QString& copy, QString* why) {
            seen = copy;
            // The copy is complete and on disk when it is looked at.
            if (bytesOf(copy) != pattern(9000))
                return true;
            *why = QStringLiteral("refused");
            return false;
        };
        QString error;
        QVERIFY(!BackupFiles::copyFile(source, destination, steps, &error));
        QCOMPARE(error, QStringLiteral("refused"));
        QCOMPARE(QFileInfo(seen).absolutePath(), m_folder->file("Back"));
        QCOMPARE(bytesOf(destination), QByteArray("the old backup"));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"old.mdbB"});

        steps.acceptCopy = {};
        steps.beforeReplace = [](QString* why) {
            *why = QStringLiteral("not now");
            return false;
        };
        QVERIFY(!BackupFiles::copyFile(source, destination, steps, &error));
        QCOMPARE(error, QStringLiteral("not now"));
        QCOMPARE(bytesOf(destination), QByteArray("the old backup"));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"old.mdbB"});
    }

    void aWriteThatFailsLeavesTheOldBackup() {
#ifdef Q_OS_LINUX
        const QString source = m_folder->file("source.bin");
        const QString destination = m_folder->file("Back/old.mdbB");
        writeFile(source, pattern(40000));
        writeFile(destination, "the old backup");
        QString error;
        bool copied = true;
        {
            FileSizeLimit limit(10000);
            copied = BackupFiles::copyFile(source, destination, {}, &error);
        }
        QVERIFY(!copied);
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(destination), QByteArray("the old backup"));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"old.mdbB"});
#else
        QSKIP("needs a per-process file size limit");
#endif
    }

    void aFullDiskIsReported() {
#ifdef Q_OS_LINUX
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        QByteArray data = pattern(10000);
        QBuffer in(&data);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QFile full(QStringLiteral("/dev/full"));
        QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QString error;
        QVERIFY(!BackupFiles::copyChunks(in, full, data.size(), {}, &error));
        // The program's own sentence says the disk is full; the system's follows.
        QVERIFY2(error.startsWith(QStringLiteral("ديسک پر است")), qPrintable(error));
        QVERIFY2(error.endsWith(QStringLiteral(": ") + QString::fromLocal8Bit(strerror(ENOSPC))),
                 qPrintable(error));
#else
        QSKIP("needs /dev/full");
#endif
    }

    void aShortSourceIsAFailure() {
        QByteArray data = pattern(100);
        QBuffer in(&data);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray sink;
        QBuffer out(&sink);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QString error;
        QVERIFY(!BackupFiles::copyChunks(in, out, 5000, {}, &error));
        QVERIFY(!error.isEmpty());
    }

    void copyBackupFileReportsFailures() {
        QCOMPARE(CopyBackupFile(m_folder->file("Back/none.mdbB"), m_folder->file("Back/x.mdbB")),
                 0);
        const QList<ScriptedPlatform::Interaction> boxes =
            m_folder->platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.first().text.startsWith(QStringLiteral("اشکال در ايجاد نسخه پشتيباني") +
                                              QStringLiteral("\r\n")));
        QVERIFY(boxes.first().text.size() >
                QString(QStringLiteral("اشکال در ايجاد نسخه پشتيباني")).size() + 2);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.first().title, applicationTitle());
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/x.mdbB")));

        QCOMPARE(CopyBackupFile(m_folder->file("DBM/DB2.mdb"), m_folder->file("Back/x.mdbB")), 1);
        QCOMPARE(m_folder->platform().ofKind("messageBox").size(), 1);
        QCOMPARE(bytesOf(m_folder->file("Back/x.mdbB")), bytesOf(m_folder->file("DBM/DB2.mdb")));
    }

    void noSecondCopyWhileOneRuns() {
        writeFile(m_folder->file("source.bin"), pattern(20000));
        int inner = -1;
        BackupFiles::CopySteps steps;
        steps.betweenChunks = [&](qint64 copied, qint64) {
            if (copied == 0) {
                QVERIFY(backupCopyRunning());
                inner = CopyBackupFile(m_folder->file("source.bin"), m_folder->file("Back/b.mdbB"));
            }
        };
        QCOMPARE(CopyBackupFile(m_folder->file("source.bin"), m_folder->file("Back/a.mdbB"),
                                nullptr, steps),
                 1);
        QCOMPARE(inner, 0);
        QVERIFY(!backupCopyRunning());
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/b.mdbB")));
        QVERIFY(m_folder->platform().ofKind("messageBox").isEmpty());
    }

    void freeBackupPathNeverReusesAName() {
        const QDateTime moment(QDate(2014, 11, 2), QTime(14, 5));
        const QString first = BackupFiles::freeBackupPath(BackupFiles::backupFolder(), moment);
        QCOMPARE(
            first,
            QDir(BackupFiles::backupFolder()).filePath(BackupFiles::defaultBackupName(moment)));
        writeFile(first, "1");
        const QString second = BackupFiles::freeBackupPath(BackupFiles::backupFolder(), moment);
        QVERIFY(second != first);
        QVERIFY(second.endsWith(QStringLiteral(".mdbB")));
        writeFile(second, "2");
        const QString third = BackupFiles::freeBackupPath(BackupFiles::backupFolder(), moment);
        QVERIFY(third != first && third != second);
    }

    void releaseClosesTheProgramsConnection() {
        QVERIFY(Database::connection(DbFile::Subjects).isOpen());
        QVERIFY(subjectConnectionOpen());
        QString why;
        QVERIFY2(SubjectStore::current().release(&why), qPrintable(why));
        QVERIFY(!subjectConnectionOpen());
        // The next use opens it again.
        QVERIFY(Database::connection(DbFile::Subjects).isOpen());
    }

    void aSaveCutShortIsSettledBeforeTheCopy() {
        for (int i = 0; i < 40; ++i)
            ProgramFolder::addSubject(QStringLiteral("S%1").arg(i));
        const QList<QStringList> before =
            ProgramFolder::rows("DBM/DB2.mdb", "SELECT * FROM \"IDE\" ORDER BY \"ID\"");
        const QByteArray whole = bytesOf(m_folder->file("DBM/DB2.mdb"));
        Database::closeAll();

        // Half of a large save reaches the file, the journal holds the old pages,
        // and the run stops there: what a crash in the middle of a save leaves.
        const QString db = m_folder->file("DBM/DB2.mdb");
        {
            QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "torn");
            c.setDatabaseName(db);
            QVERIFY(c.open());
            QSqlQuery q(c);
            QVERIFY(q.exec("PRAGMA cache_size = 10"));
            QVERIFY(q.exec("BEGIN"));
            QVERIFY(q.exec("UPDATE \"IDE\" SET \"Tahsil\" = '" + QString(3000, 'x') + "'"));
            QFile::remove(db + ".torn");
            QFile::remove(db + "-journal.torn");
            QVERIFY(QFile::copy(db, db + ".torn"));
            QVERIFY(QFile::copy(db + "-journal", db + "-journal.torn"));
            QVERIFY(q.exec("ROLLBACK"));
            q.finish();
            c.close();
        }
        QSqlDatabase::removeDatabase("torn");
        QVERIFY(QFile::remove(db));
        QVERIFY(QFile::rename(db + ".torn", db));
        QVERIFY(QFile::rename(db + "-journal.torn", db + "-journal"));
        QVERIFY(bytesOf(db) != whole); // the file alone is not the stored state

        QString why;
        QVERIFY2(SubjectStore::current().release(&why), qPrintable(why));
        QVERIFY(!QFileInfo::exists(db + "-journal") || QFileInfo(db + "-journal").size() == 0);
        QVERIFY(CopyBackupFile(db, m_folder->file("Back/settled.mdbB")) == 1);
        QCOMPARE(ProgramFolder::rows("Back/settled.mdbB", "SELECT * FROM \"IDE\" ORDER BY \"ID\""),
                 before);
        QVERIFY(Database::isSoundSubjectDatabase(m_folder->file("Back/settled.mdbB"), &why));
    }

    void aDatabaseInWriteAheadLogModeIsCopiedWhole_data() {
        QTest::addColumn<bool>("heldElsewhere");
        QTest::newRow("alone") << false;
        QTest::newRow("held open by another program") << true;
    }
    void aDatabaseInWriteAheadLogModeIsCopiedWhole() {
        // In this mode part of the stored state lies beside the file, and its
        // pages are moved into the file at any time: the file alone is no copy.
        QFETCH(bool, heldElsewhere);
        const QString db = m_folder->file("DBM/DB2.mdb");
        QVERIFY(addSubjects(db, 30));
        Database::closeAll();
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(db);
        QVERIFY(other.open());
        {
            QSqlQuery q(other);
            QVERIFY(q.exec("PRAGMA journal_mode = WAL") && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
            q.finish();
            QVERIFY(q.exec("PRAGMA wal_autocheckpoint = 0"));
            QVERIFY(q.exec("INSERT INTO \"IDE\" (\"Code\") VALUES ('in the log')"));
            QVERIFY(q.exec("INSERT INTO \"Answer\" (\"Code\") VALUES ('in the log')"));
        }
        QVERIFY(QFileInfo(db + "-wal").size() > 0);
        if (!heldElsewhere) {
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase("other");
        }
        QString error;
        const QString copy = m_folder->file("Back/w.mdbB");
        std::unique_ptr<StoreSnapshot> snapshot =
            SubjectStore::current().snapshot(m_folder->file("Back"), {}, &error);
        const bool copied = snapshot && BackupFiles::copyFile(snapshot->path(), copy, {}, &error);
        snapshot.reset();
        if (heldElsewhere) {
            QVERIFY(!copied);
            QCOMPARE(error, QStringLiteral("پايگاه داده آزمودني ها در دست برنامه ديگري است."));
            QCOMPARE(filesIn(m_folder->file("Back")), QStringList());
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase("other");
            return;
        }
        QVERIFY2(copied, qPrintable(error));
        QCOMPARE(bytesOf(copy).mid(18, 2), QByteArray("\x01\x01"));
        QVERIFY2(Database::isSoundSubjectDatabase(copy, &error), qPrintable(error));
        QCOMPARE(ProgramFolder::value("Back/w.mdbB",
                                      "SELECT COUNT(*) FROM \"IDE\" WHERE \"Code\" = 'in the log'"),
                 QStringLiteral("1"));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"w.mdbB"});
    }

    void aShortWriteSaysSo() {
#ifdef Q_OS_LINUX
        // Past the limit a write takes part of its bytes, and the next none:
        // what a small disk does as it fills.
        const QString source = m_folder->file("source.bin");
        writeFile(source, pattern(40000));
        QString error;
        bool copied = true;
        {
            FileSizeLimit limit(10000);
            copied = BackupFiles::copyFile(source, m_folder->file("Back/new.mdbB"), {}, &error);
        }
        QVERIFY(!copied);
        QVERIFY2(!error.contains(QStringLiteral("Unknown error")), qPrintable(error));
        QVERIFY2(error.startsWith(QStringLiteral("نوشتن فايل نيمه کاره ماند")), qPrintable(error));
        QVERIFY2(error.endsWith(QStringLiteral(": ") + QString::fromLocal8Bit(strerror(EFBIG))),
                 qPrintable(error));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList());
#else
        QSKIP("needs a per-process file size limit");
#endif
    }

    void targetsThatAreNotPlainFilesAreLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a pipe") << "pipe";
        QTest::newRow("a link to a pipe") << "link to pipe";
        QTest::newRow("a link to nothing") << "dangling link";
    }
    void targetsThatAreNotPlainFilesAreLeftAlone() {
#ifdef Q_OS_UNIX
        QFETCH(QString, kind);
        const QString pipe = m_folder->file("Back/pipe.mdbB");
        const QString link = m_folder->file("Back/link.mdbB");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        QString target = pipe;
        if (kind == "link to pipe") {
            QVERIFY(QFile::link(pipe, link));
            target = link;
        } else if (kind == "dangling link") {
            QVERIFY(QFile::link(m_folder->file("Back/gone.mdbB"), link));
            target = link;
        }
        const QStringList back = filesIn(m_folder->file("Back"));
        QString error;
        QVERIFY(!BackupFiles::copyFile(m_folder->file("DBM/DB2.mdb"), target, {}, &error));
        QVERIFY2(persianSentence(error), qPrintable(error));
        QCOMPARE(filesIn(m_folder->file("Back")), back);
        struct stat st;
        QVERIFY(::lstat(QFile::encodeName(pipe).constData(), &st) == 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        if (target == link)
            QCOMPARE(QFileInfo(link).symLinkTarget(),
                     kind == "dangling link" ? m_folder->file("Back/gone.mdbB") : pipe);
#else
        QSKIP("needs pipes and links");
#endif
    }

    // A backup is read back and checked before it counts, so it goes only
    // into a regular file: a device, /dev/full, a pipe, a folder and a link to
    // nothing are refused and stay as they were; a link to a file is written
    // through.
    void everyKindOfTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("refused");
        QTest::newRow("device node") << "device" << true;
        QTest::newRow("/dev/full") << "/dev/full" << true;
        QTest::newRow("pipe") << "pipe" << true;
        QTest::newRow("folder") << "folder" << true;
        QTest::newRow("dangling link") << "dangling link" << true;
        QTest::newRow("link to a file") << "link to a file" << false;
    }
    void everyKindOfTarget() {
        QFETCH(QString, kind);
        QFETCH(bool, refused);
        const QString folder = m_folder->file("Out");
        QVERIFY(QDir().mkpath(folder));
        const QString target = makeTarget(kind, folder, QStringLiteral("b.mdbB"));
        if (target.isEmpty())
            QSKIP("this machine does not let the test make such a target");
        const QStringList before = filesIn(folder);
        const QString source = m_folder->file("source.bin");
        writeFile(source, pattern(50000));
        QString error;
        const bool copied = BackupFiles::copyFile(source, target, {}, &error);
        QCOMPARE(filesIn(folder), before);
        if (refused) {
            QVERIFY(!copied);
            QVERIFY2(persianSentence(error), qPrintable(error));
            QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
            QCOMPARE(targetKind(target), kindBefore(kind));
        } else {
            QVERIFY2(copied, qPrintable(error));
            QCOMPARE(targetKind(target), QStringLiteral("link"));
            QCOMPARE(bytesOf(linkedFile(target)), pattern(50000));
        }
    }

    void aLinkToAFileIsWrittenThrough() {
        // The backups are kept elsewhere; Back holds a link to the latest.
        const QString kept = m_folder->file("Kept/latest.mdbB");
        const QString link = m_folder->file("Back/latest.mdbB");
        writeFile(kept, "the older backup");
        QVERIFY(QFile::link(kept, link));
        const QString source = m_folder->file("source.bin");
        writeFile(source, pattern(9000));
        QString error;
        QVERIFY2(BackupFiles::copyFile(source, link, {}, &error), qPrintable(error));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), kept);
        QCOMPARE(bytesOf(kept), pattern(9000));
        QCOMPARE(filesIn(m_folder->file("Kept")), QStringList{"latest.mdbB"});
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"latest.mdbB"});
    }

    void copiesAreForTheOwnerOnly() {
#ifdef Q_OS_UNIX
        const QString source = m_folder->file("source.bin");
        writeFile(source, pattern(5000));
        const QString older = m_folder->file("Back/older.mdbB");
        writeFile(older, "an older backup");
        QVERIFY(::chmod(QFile::encodeName(older).constData(), 0644) == 0);
        Umask open(0);
        QString error;
        QVERIFY2(BackupFiles::copyFile(source, m_folder->file("Back/new.mdbB"), {}, &error),
                 qPrintable(error));
        QVERIFY2(BackupFiles::copyFile(source, older, {}, &error), qPrintable(error));
        QCOMPARE(fileMode(m_folder->file("Back/new.mdbB")), 0600);
        QCOMPARE(fileMode(older), 0600);
#else
        QSKIP("needs Unix permissions");
#endif
    }

    void leftoversOfCopiesCutShortAreRemoved() {
#ifdef Q_OS_UNIX
        // What copies killed in the middle leave, beside files that only look alike.
        const QStringList ours = {
            "Back/.old.mdbB.0123abcd.part", "DBM/.DB2.mdb.89abcdef.part",
            "DBM/.DB2.mdb.89abcdef.part-journal", "DBM/.DB2.mdb.deadbeef.part-wal",
            "DBM/.DB2.mdb.deadbeef.part-shm",
            // an earlier version's backup of a server
            "Back/old.mdbB.part-0123abcd", "Back/old.mdbB.part-0123abcd-journal"};
        const QStringList theirs = {"Back/.hidden", "Back/notes.part", "Back/.old.mdbB.part",
                                    "Back/.old.mdbB.0123ABCD.part", "DBM/DB2.mdb-journal"};
        for (const QString& name : ours + theirs)
            writeFile(m_folder->file(name), name == ours.first() ? pattern(30000) : "x");
        // A copy that still runs holds its temporary file.
        const QString running = m_folder->file("Back/.new.mdbB.00c0ffee.part");
        writeFile(running, "being written");
        const int held = ::open(QFile::encodeName(running).constData(), O_RDONLY);
        QVERIFY(held >= 0);
        QVERIFY(::flock(held, LOCK_EX | LOCK_NB) == 0);

        BackupFiles::removeLeftoversAtStart();
        for (const QString& name : ours)
            QVERIFY2(!QFileInfo::exists(m_folder->file(name)), qPrintable(name));
        for (const QString& name : theirs)
            QVERIFY2(QFileInfo::exists(m_folder->file(name)), qPrintable(name));
        QVERIFY(QFileInfo::exists(running));

        // Once that copy is gone, the next copy into the folder clears it.
        ::close(held);
        QString error;
        QVERIFY2(BackupFiles::copyFile(m_folder->file("DBM/DB.mdb"),
                                       m_folder->file("Back/next.mdbB"), {}, &error),
                 qPrintable(error));
        QVERIFY(!QFileInfo::exists(running));
        QVERIFY(QFileInfo::exists(m_folder->file("Back/next.mdbB")));
#else
        QSKIP("needs file locks");
#endif
    }

    void subjectFilesOfTheProgramAreSound_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("as made now") << "now";
        QTest::newRow("older, without indexes") << "no indexes";
        QTest::newRow("statistics gathered") << "analyzed";
        QTest::newRow("the same tables written by hand") << "by hand";
    }
    void subjectFilesOfTheProgramAreSound() {
        QFETCH(QString, kind);
        ProgramFolder::addSubject("A1");
        const QString file = "Back/f.mdbB";
        if (kind == "by hand") {
            for (const QString& table : Database::tables(DbFile::Subjects))
                ProgramFolder::exec(file, handWritten(table));
        } else {
            QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), m_folder->file(file)));
        }
        if (kind == "no indexes") {
            const QStringList indexes = {"IDE_Code",  "Answer_Code",  "IDE_Group",  "IDE_LName",
                                         "IDE_FName", "History_Code", "CodeKey_Key"};
            for (const QString& index : indexes)
                ProgramFolder::exec(file, QStringLiteral("DROP INDEX \"%1\"").arg(index));
            QCOMPARE(ProgramFolder::value(file, "SELECT COUNT(*) FROM sqlite_master WHERE type = "
                                                "'index'"),
                     QStringLiteral("0"));
        } else if (kind == "analyzed") {
            ProgramFolder::exec(file, "ANALYZE");
            QVERIFY(!ProgramFolder::value(file, "SELECT COUNT(*) FROM sqlite_stat1").isEmpty());
        }
        QString why;
        QVERIFY2(Database::isSoundSubjectDatabase(m_folder->file(file), &why), qPrintable(why));
    }

    void quickCheckAfterStartUp_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("warns");
        QTest::newRow("sound") << "sound" << false;
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("a page of IDE overwritten") << "damaged" << true;
        QTest::newRow("a trigger that deletes answer sheets") << "trigger" << true;
    }
    void quickCheckAfterStartUp() {
        QFETCH(QString, kind);
        QFETCH(bool, warns);
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 30));
        Database::closeAll();
        QString path = m_folder->file("DBM/DB2.mdb");
        if (kind == "missing")
            path = m_folder->file("DBM/none.mdb");
        else if (kind == "damaged")
            QVERIFY(overwriteTablePage(path, "IDE"));
        else if (kind == "trigger")
            ProgramFolder::exec("DBM/DB2.mdb", "CREATE TRIGGER \"t\" AFTER INSERT ON \"IDE\" "
                                               "BEGIN DELETE FROM \"Answer\"; END");
        const QByteArray before = bytesOf(path);
        QFuture<QString> check = SubjectFileCheck::quickCheckInBackground(path);
        check.waitForFinished();
        const QString warning = check.result();
        if (!warns) {
            QCOMPARE(warning, QString());
        } else {
            QVERIFY2(warning.startsWith(QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است")),
                     qPrintable(warning));
            QVERIFY(warning.contains(QDir::toNativeSeparators(path)));
        }
        // Looking changes nothing.
        QCOMPARE(bytesOf(path), before);
        QVERIFY(!QFileInfo::exists(m_folder->file("DBM/none.mdb")));
    }

    void quickCheckLeavesTheCallerFree() {
        // Another connection writes; the check waits for it on its own thread.
        const QString path = m_folder->file("DBM/DB2.mdb");
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery q(holder);
        QVERIFY(q.exec("BEGIN EXCLUSIVE"));
        QElapsedTimer clock;
        clock.start();
        QFuture<QString> check = SubjectFileCheck::quickCheckInBackground(path);
        QVERIFY(clock.elapsed() < 200);
        QTest::qWait(400);
        QVERIFY(!check.isFinished());
        QVERIFY(q.exec("ROLLBACK"));
        q.finish();
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase("holder");
        check.waitForFinished();
        QCOMPARE(check.result(), QString());
    }

    void leavingStopsTheCheckAtOnce() {
        // A damaged file that another program holds: the check waits for it,
        // up to three seconds, unless the program is left meanwhile.
        const QString path = m_folder->file("DBM/DB2.mdb");
        QVERIFY(addSubjects(path, 30));
        Database::closeAll();
        QVERIFY(overwriteTablePage(path, "IDE"));
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery q(holder);
        QVERIFY(q.exec("BEGIN EXCLUSIVE"));
        QFuture<QString> check = SubjectFileCheck::quickCheckInBackground(path);
        QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        // Stopped while the file is still held, and with nothing to say.
        QTRY_VERIFY_WITH_TIMEOUT(check.isFinished(), 1000);
        QCOMPARE(check.result(), QString());
        QVERIFY(q.exec("ROLLBACK"));
        q.finish();
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase("holder");
        // The next run's check looks again and finds the damage.
        QFuture<QString> again = SubjectFileCheck::quickCheckInBackground(path);
        again.waitForFinished();
        QVERIFY2(again.result().startsWith(QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است")),
                 qPrintable(again.result()));
    }
};

VELMORA_TEST_MAIN(TestBackupFiles)
#include "tst_backupfiles.moc"
