#include "data/FileStore.h"

#include "data/AuditTrail.h"
#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "data/NameSearch.h"
#include "data/ResearchKeyFile.h"
#include "data/SqliteFile.h"
#include "data/SubjectFileCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace {

const QString ConnectionName = QStringLiteral("velmora-DB2");

// Every action on the subject file is recorded in the audit trail, in the
// same transaction: its file is attached to each connection as it opens. A
// connection without it stays closed, so nothing is done unrecorded.
bool attachAuditTrail(QSqlDatabase& db, QString* error) {
    // A subject erased on request, or a name written over, must leave nothing
    // of the old text in the file's free pages, where whoever has a copy of
    // the file could still read it: freed content is overwritten with zeros
    // (set before the trail is attached, which takes the setting along).
    QSqlQuery(db).exec(QStringLiteral("PRAGMA secure_delete = ON"));
    if (AuditTrail::attachTo(db, error))
        return true;
    db.close();
    return false;
}

bool hasJournal(const QString& database) {
    for (const char* suffix : {"-journal", "-wal"}) {
        const QFileInfo journal(database + QLatin1String(suffix));
        if (journal.exists() && journal.size() > 0)
            return true;
    }
    return false;
}

bool exec(QSqlDatabase& db, const QString& sql, QString* error = nullptr) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// The file itself, held still: a read transaction on a connection of its own
// keeps every connection of this or another program from writing it while
// its bytes are copied. A file in write-ahead-log mode keeps part of its state
// beside it and has its pages moved into it at any time; it is first turned
// into the rollback journal the program uses, which needs no other connection.
class HeldFile : public StoreSnapshot {
public:
    // A missing file is not opened: that would make an empty one.
    explicit HeldFile(const QString& path) : m_path(path) {
        if (QFileInfo::exists(path))
            m_connection = std::make_unique<SqliteFile::Connection>(path);
    }
    ~HeldFile() override {
        if (m_held) {
            QSqlQuery q(m_connection->db());
            q.exec(QStringLiteral("ROLLBACK"));
        }
    }
    QString path() const override { return m_path; }

    // False with a description when the file cannot be held. A file the
    // database engine cannot read at all is not held but still copied, so
    // that what is there can be kept.
    bool hold(QString* why) {
        if (!m_connection || !m_connection->isOpen())
            return true;
        QSqlDatabase db = m_connection->db();
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next())
            return settle(q.lastError(), why);
        if (q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
            q.finish();
            if (!q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) || !q.next() ||
                q.value(0).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
                *why = FileStore::inUseText();
                return false;
            }
        }
        q.finish();
        if (!q.exec(QStringLiteral("BEGIN")))
            return settle(q.lastError(), why);
        q.finish();
        m_held = true;
        // The first read takes the shared lock that the transaction then keeps.
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM \"sqlite_master\"")) || !q.next())
            return settle(q.lastError(), why);
        q.finish();
        return true;
    }

private:
    // Busy or locked: another program holds the file. Any other failure is
    // damage the check of the copy will name.
    static bool settle(const QSqlError& error, QString* why) {
        const int code = SqliteFile::primaryCode(error);
        if (code == 5 || code == 6) { // SQLITE_BUSY, SQLITE_LOCKED
            *why = FileStore::inUseText();
            return false;
        }
        return true;
    }

    QString m_path;
    std::unique_ptr<SqliteFile::Connection> m_connection;
    bool m_held = false;
};

bool syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

FileStore::FileStore() = default;

FileStore::~FileStore() {
    close();
    QSqlDatabase::removeDatabase(ConnectionName);
}

QString FileStore::path() {
    return Database::absoluteFileName(DbFile::Subjects);
}

QString FileStore::inUseText() {
    return QStringLiteral("پايگاه داده آزمودني ها در دست برنامه ديگري است.");
}

QString FileStore::displayName() const {
    return QDir::toNativeSeparators(Database::fileName(DbFile::Subjects));
}

QString FileStore::failureMessage(const QString& detail) const {
    return QStringLiteral("کار با پرونده پايگاه داده انجام نشد:\n%1\n\n%2")
        .arg(isolatedPath(displayName()), detail);
}

bool FileStore::open(QString* error) {
    if (!Database::openFile(DbFile::Subjects, ConnectionName, error))
        return false;
    QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
    addLaterStructure(db);
    return attachAuditTrail(db, error);
}

void FileStore::close() {
    dropTransactions();
    if (QSqlDatabase::contains(ConnectionName))
        QSqlDatabase::database(ConnectionName, false).close();
}

QSqlDatabase FileStore::connection() {
    if (QSqlDatabase::contains(ConnectionName)) {
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        if (db.isOpen())
            return db;
    }
    const QString file = path();
    if (!QFileInfo::exists(file)) {
        // Opening would create an empty file in its place; leave it closed so
        // the operation fails and is reported instead.
        QSqlDatabase db =
            QSqlDatabase::contains(ConnectionName)
                ? QSqlDatabase::database(ConnectionName, false)
                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName);
        db.close();
        return db;
    }
    QSqlDatabase db = SqliteFile::open(ConnectionName, file);
    // The file may have been put in place since it was last open (a restored
    // backup made by an earlier version): it gets its later structure now.
    if (db.isOpen()) {
        addLaterStructure(db);
        QString ignored; // the statement that follows fails on the closed connection
        attachAuditTrail(db, &ignored);
    }
    return db;
}

// A file made by an earlier version gets the tables, indexes and code keys it
// lacks, so searches stay index searches and every administration can be
// kept. A file whose codes already repeat cannot take the unique ones; it is
// used as it is (registration still checks codes). Changing the schema needs
// the whole file to itself: while another program reads or writes it, waiting
// out the busy timeout would stall the start without a word, so the change is
// left for the next opening instead. Adding only creates; nothing stored is
// changed (the code keys are worked out from the codes, so an earlier form of
// their table is made again).
void FileStore::addLaterStructure(QSqlDatabase& db) {
    QStringList missing = Database::laterSubjectStructure(db);
    bool keysReady = false;
    {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE (type = 'table' AND "
                                  "name = 'CodeKey' AND sql NOT LIKE '%NOT NULL%') OR (type = "
                                  "'trigger' AND name IN ('IDE_CodeKey_Insert', "
                                  "'IDE_CodeKey_Update'))")) &&
            q.next())
            keysReady = q.value(0).toInt() == 3;
    }
    if (missing.isEmpty() && keysReady)
        return;
    if (!keysReady) {
        missing.append(QStringLiteral("DROP TRIGGER IF EXISTS \"IDE_CodeKey_Insert\""));
        missing.append(QStringLiteral("DROP TRIGGER IF EXISTS \"IDE_CodeKey_Update\""));
        missing.append(QStringLiteral("DROP TABLE IF EXISTS \"CodeKey\""));
        missing += CodeKeys::schemaSql(*this);
        missing.append(QStringLiteral("INSERT INTO \"CodeKey\" (\"ID\", \"Key\") SELECT \"ID\", "
                                      "NULL FROM \"IDE\""));
    }
    if (!exec(db, QStringLiteral("PRAGMA busy_timeout = 0")))
        return;
    if (exec(db, QStringLiteral("BEGIN IMMEDIATE"))) {
        bool ok = true;
        for (const QString& sql : std::as_const(missing))
            // An index a file with repeated codes cannot take is left out.
            if (!exec(db, sql) && !sql.startsWith(QLatin1String("CREATE UNIQUE INDEX")))
                ok = false;
        if (!ok || !exec(db, QStringLiteral("COMMIT")))
            exec(db, QStringLiteral("ROLLBACK"));
    }
    exec(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(SqliteFile::BusyTimeoutMs));
}

StoreFailure FileStore::classify(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    // SQLITE_CONSTRAINT_UNIQUE and SQLITE_CONSTRAINT_PRIMARYKEY.
    if (code == QLatin1String("2067") || code == QLatin1String("1555"))
        return StoreFailure::DuplicateKey;
    const int primary = SqliteFile::primaryCode(error);
    if (!code.isEmpty() && (primary == 5 || primary == 6)) // SQLITE_BUSY, SQLITE_LOCKED
        return StoreFailure::Busy;
    return error.type() == QSqlError::NoError && error.text().isEmpty() && code.isEmpty()
               ? StoreFailure::None
               : StoreFailure::Other;
}

QString FileStore::describe(const QSqlError& error) const {
    return error.text();
}

QString FileStore::keyColumnSql() const {
    return QStringLiteral("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT");
}

QString FileStore::keyTypeSql() const {
    return fileKeyType();
}

QString FileStore::fileKeyType() {
    // A file's key is its row number.
    return QStringLiteral("INTEGER");
}

QString FileStore::sameValueSql(const QString& quotedColumn) const {
    return quotedColumn + QStringLiteral(" IS ?");
}

QStringList FileStore::codeKeyTriggerSql() const {
    return fileCodeKeyTriggers();
}

QString FileStore::nameKeySql(const QString& field) const {
    return NameSearch::fileKeySql(field);
}

QStringList FileStore::fileCodeKeyTriggers() {
    return {QStringLiteral("CREATE TRIGGER \"IDE_CodeKey_Insert\" AFTER INSERT ON \"IDE\" BEGIN "
                           "INSERT OR REPLACE INTO \"CodeKey\" (\"ID\", \"Key\") VALUES "
                           "(NEW.\"ID\", NULL); END"),
            QStringLiteral("CREATE TRIGGER \"IDE_CodeKey_Update\" AFTER UPDATE OF \"Code\" ON "
                           "\"IDE\" WHEN OLD.\"Code\" IS NOT NEW.\"Code\" BEGIN INSERT OR REPLACE "
                           "INTO \"CodeKey\" (\"ID\", \"Key\") VALUES (NEW.\"ID\", NULL); END")};
}

QString FileStore::beginSql(TransactionMode mode) const {
    // The write lock is taken at the start: a transaction that read first and
    // then found another program writing could only fail, not wait. Reads
    // see one state of the file from their first statement on.
    return mode == TransactionMode::Write ? QStringLiteral("BEGIN IMMEDIATE")
                                          : QStringLiteral("BEGIN DEFERRED");
}

bool FileStore::release(QString* why) {
    close();
    const QString file = path();
    if (!QFileInfo::exists(file) || !hasJournal(file))
        return true;
    // A journal beside the file holds changes the file alone does not show (a
    // save cut short, or a write-ahead log). Opening the file lets the database
    // engine settle them into it; closing again leaves the file whole.
    {
        SqliteFile::Connection settle(file);
        QSqlDatabase db = settle.db();
        if (db.isOpen()) {
            exec(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
            exec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
    }
    if (!hasJournal(file))
        return true;
    if (why)
        *why = inUseText();
    return false;
}

std::unique_ptr<StoreSnapshot> FileStore::snapshot(const QString&, const CopyProgress&,
                                                   QString* error) {
    auto held = std::make_unique<HeldFile>(path());
    if (!held->hold(error))
        return nullptr;
    return held;
}

bool FileStore::replaceWith(const QString& source, const CopyProgress&, QString* error) {
    if (!release(error))
        return false;
    // A link in place of the subject file stays, and its file is replaced.
    const QFileInfo given(path());
    const QString target = given.isSymLink() ? given.canonicalFilePath() : given.absoluteFilePath();
    if (!syncPath(source, O_RDONLY)) {
        *error = QStringLiteral("فايل بازيابي روي ديسک نوشته نشد: ") +
                 QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) !=
        0) {
        *error = QStringLiteral("فايل بازيابي به جاي پايگاه داده برده نشد: ") +
                 QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // The rename itself reaches the disk with its folder.
    syncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

bool FileStore::appendAudit(const AuditEntry& entry, QString* error) {
    QSqlDatabase db = connection();
    if (!db.isOpen()) {
        *error = db.lastError().text();
        return false;
    }
    return AuditTrail::appendOnFile(db, Database::quoted(AuditTrail::attachedName()), entry, error);
}

bool FileStore::appendAuditAlone(const AuditEntry& entry, QString* error) {
    return AuditTrail::appendToFileAlone(entry, error);
}

bool FileStore::openAuditReader(const QString& connectionName, QString* error) {
    return AuditTrail::openFileReader(connectionName, error);
}

QString FileStore::auditStoreKey() const {
    return QStringLiteral("file");
}

QString FileStore::stagingFolder() const {
    return QFileInfo(path()).absolutePath();
}

QList<Workstation> FileStore::otherWorkstations(QString*) {
    // One program works on the file at a time.
    return {};
}

SubjectStore::KeyOutcome FileStore::researchKey(const std::function<QByteArray()>& make,
                                                QByteArray* text, QString* where, QString* detail) {
    const QString path = ResearchKeyFile::path();
    *where = QDir::toNativeSeparators(path);
    int code = ResearchKeyFile::read(path, text);
    if (code == ENOENT) {
        QByteArray made = make();
        *detail = ResearchKeyFile::make(path, made);
        ResearchKeyFile::wipe(&made);
        if (!detail->isEmpty())
            return KeyOutcome::NotKept;
        code = ResearchKeyFile::read(path, text);
    }
    if (code != 0) {
        *detail = QString::fromLocal8Bit(std::strerror(code));
        return KeyOutcome::NotRead;
    }
    return KeyOutcome::Read;
}

QFuture<QString> FileStore::checkInBackground() {
    return SubjectFileCheck::quickCheckInBackground(path());
}

} // namespace velmora
