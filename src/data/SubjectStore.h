#pragma once

#include <QFuture>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace velmora {

struct StoreUrl;

// What a transaction is for (see StoreTransaction).
enum class TransactionMode {
    Write,    // statements that change the store
    Snapshot, // reads that must all see the store as of one moment
};

// What a failed statement or write means to the program, whichever engine
// said it.
enum class StoreFailure {
    None,
    DuplicateKey,   // a unique index refused the row (a code stored twice)
    ConnectionLost, // the server went away or stopped answering; try again later
    Busy,           // another workstation holds the rows (a restore, say); try again later
    RowReplaced,    // the row a window read is no longer that subject's (a restore elsewhere)
    RowChanged,     // the row was changed elsewhere since the window read it
    Other,
};

// Called with the rows or bytes copied so far and the whole, so that the
// caller can show progress and keep its window alive during a long copy.
using CopyProgress = std::function<void(qint64 done, qint64 total)>;

// A subject file that holds the store's tables as they were at one moment,
// for as long as this object lives (see SubjectStore::snapshot).
class StoreSnapshot {
public:
    virtual ~StoreSnapshot();
    // The file to copy; its bytes do not change while the snapshot lives. A
    // store that holds nothing yet (no subject file) names a missing file.
    virtual QString path() const = 0;
};

// A workstation connected to a shared store, as the server knows it.
struct Workstation {
    QString name;    // the program's name for itself: "velmora (host)"
    QString address; // the address it connects from; empty on the server's own machine
    QString since;   // when it connected (the server's clock, ISO 8601)
};

// Where the subject tables (IDE, Answer, History and the code keys) live: the
// file DBM/DB2.mdb of the data folder, or a PostgreSQL server that several
// workstations share. The choice is made once at start-up; from then on
// everything that reads or writes a subject goes through the store of the
// run, SubjectStore::current(). The store owns its connection and its
// options, the transactions on it (StoreTransaction) and every difference
// between the two engines, so nothing outside it asks which one it is.
//
// Every failure comes back to the caller with a Persian description; the
// store shows nothing itself.
class SubjectStore {
public:
    virtual ~SubjectStore();
    SubjectStore(const SubjectStore&) = delete;
    SubjectStore& operator=(const SubjectStore&) = delete;

    // The store of this run: the data folder's subject file unless another was
    // installed.
    static SubjectStore& current();
    // Makes store the store of this run; the previous one is closed.
    static void install(std::unique_ptr<SubjectStore> store);
    static std::unique_ptr<SubjectStore> file();
    static std::unique_ptr<SubjectStore> server(const StoreUrl& url);

    // ---- Opening ---------------------------------------------------------
    // Makes the tables ready: created where the store has none, checked where
    // it has them (never changed), brought up to date with what later
    // versions added. False with a Persian message naming the store.
    virtual bool open(QString* error) = 0;
    // Closes the connection; the next statement opens it again.
    virtual void close() = 0;

    // How the operator knows the store: the file's path in the data folder,
    // or the server's URL without its password.
    virtual QString displayName() const = 0;
    // A Persian description of a failed operation, naming the store.
    virtual QString failureMessage(const QString& detail) const = 0;

    // ---- Statements ------------------------------------------------------
    // The connection statements run on (StoreQuery uses it): opened again
    // after it was lost, but never under an open transaction, which fails
    // whole rather than half on a new connection.
    virtual QSqlDatabase connection() = 0;
    // What a failure means to the program, and the text to show for it,
    // judged on the connection as the statement left it.
    virtual StoreFailure classify(const QSqlError& error) const = 0;
    virtual QString describe(const QSqlError& error) const = 0;

    // The open transactions, outermost first (0: none).
    int transactionDepth() const { return int(m_levels.size()); }

    // ---- The few places the SQL differs ----------------------------------
    // The key column of a subject table whose keys the store draws itself.
    virtual QString keyColumnSql() const = 0;
    // The type of a column that holds another table's key.
    virtual QString keyTypeSql() const = 0;
    // An expression true when column holds the value bound at the next mark,
    // a NULL matching a NULL.
    virtual QString sameValueSql(const QString& quotedColumn) const = 0;
    // The statements that keep CodeKey up to date with IDE inside the store:
    // each new or changed code gets a row whose key is still to be worked out
    // (NULL), whoever stores it.
    virtual QStringList codeKeyTriggerSql() const = 0;

    // ---- Copies: backup and restore -------------------------------------
    // Makes the store ready for a copy of its tables to leave or arrive: the
    // file's connection is closed and its journal settled into it. False with
    // a Persian reason when another program holds the file.
    virtual bool release(QString* why) = 0;
    // The tables as one subject file, as they are now: the subject file
    // itself held still by a read transaction, or the server's tables written
    // into a new subject file in scratchFolder (removed with the snapshot).
    virtual std::unique_ptr<StoreSnapshot>
    snapshot(const QString& scratchFolder, const CopyProgress& progress, QString* error) = 0;
    // Replaces the store's tables with those of the subject file at path,
    // which has been checked as a restore checks it and is the caller's to
    // use up (the file store takes it in place of its own). All or nothing;
    // keys are kept and new keys continue above them.
    virtual bool replaceWith(const QString& path, const CopyProgress& progress, QString* error) = 0;
    // Where a restore's copy waits, checked, before it replaces the tables:
    // beside the subject file, which it replaces in one rename, or in Back.
    virtual QString stagingFolder() const = 0;
    // Other workstations connected to the store now (none for a file).
    virtual QList<Workstation> otherWorkstations(QString* error) = 0;

    // ---- Since the window read it ----------------------------------------
    // Counts the restores this run has seen: a restore at another
    // workstation replaces every row a window may hold. A window's write to a
    // row it read under an earlier generation is refused.
    qint64 generation() const { return m_generation; }
    // Who restored, and when, for the message (empty when nobody did).
    QString lastRestoreText() const { return m_lastRestore; }
    // Takes in what the store has heard since the last statement (a restore
    // at another workstation), without asking anything: a step calls it
    // before it relies on what its window read.
    virtual void catchUp() {}
    // True once for each restore elsewhere, for the first window that reads
    // the store after it: the operator is told once, whichever window it is.
    bool takeRestoreNotice() {
        if (m_noticed == m_generation)
            return false;
        m_noticed = m_generation;
        return true;
    }

    // A look for damage in the store, off the window's thread; the future's
    // result is a Persian warning, empty when there is nothing to say. A
    // server keeps its own tables whole: it has nothing to look at.
    virtual QFuture<QString> checkInBackground() = 0;

protected:
    SubjectStore() = default;

    // The engine's own statement that begins a transaction of this kind.
    virtual QString beginSql(TransactionMode mode) const = 0;
    // Arms the time limit for one call to the engine; disarms when the
    // returned object goes. The file has its busy timeout and needs none.
    struct CallLimit {
        virtual ~CallLimit();
    };
    virtual std::unique_ptr<CallLimit> limitCall() { return nullptr; }
    // Told when a restore happened elsewhere.
    void restoredElsewhere(const QString& text) {
        ++m_generation;
        m_lastRestore = text;
    }
    // Forgets the open transactions (the connection they were on is gone) and
    // the statements prepared on it.
    void dropTransactions() {
        m_levels.clear();
        forgetPrepared();
    }
    void forgetPrepared();

private:
    friend class StoreQuery;
    friend class StoreTransaction;

    struct Level {
        QString savepoint; // empty for the outermost transaction
        bool failed = false;
    };
    bool runControl(const QString& sql, QString* error);
    // A statement inside the innermost transaction failed: that transaction
    // (or savepoint) is rolled back at once, before anything else is sent on
    // the connection.
    void statementFailed();

    // Statements prepared on the connection are kept for its life, by their
    // text: a server prepares each one once, not at every use and drop (two
    // round trips fewer per statement).
    std::unique_ptr<QSqlQuery> takePrepared(const QString& sql, QSqlError* error);
    void keepPrepared(const QString& sql, std::unique_ptr<QSqlQuery> query);
    struct Prepared {
        QString sql;
        std::unique_ptr<QSqlQuery> query;
    };
    std::vector<Prepared> m_prepared; // most recently used last

    QList<Level> m_levels;
    int m_savepoints = 0;
    qint64 m_generation = 0;
    qint64 m_noticed = 0;
    QString m_lastRestore;
};

// One statement on the store: prepared and run within the store's time limit,
// with its values bound in order. A statement that fails inside a transaction
// ends that transaction at once (see StoreTransaction). Reads forward only.
class StoreQuery {
public:
    explicit StoreQuery(SubjectStore& store = SubjectStore::current());

    // Runs sql with values bound to its marks; without values, the statement
    // runs as it is (the server prepares nothing, so it takes any statement).
    bool exec(const QString& sql, const QVariantList& values = {});
    bool next();
    ~StoreQuery();
    StoreQuery(const StoreQuery&) = delete;
    StoreQuery& operator=(const StoreQuery&) = delete;

    QVariant value(int column) const { return query().value(column); }
    int numRowsAffected() const { return query().numRowsAffected(); }
    void finish();

    // After a failure: what it means and its description.
    StoreFailure failure() const { return m_failure; }
    QString error() const { return m_error; }

private:
    bool failed(const QSqlError& error);
    const QSqlQuery& query() const { return m_prepared ? *m_prepared : m_plain; }
    void release();

    SubjectStore& m_store;
    QSqlQuery m_plain;                     // a statement without values
    std::unique_ptr<QSqlQuery> m_prepared; // one with values, kept by the store after use
    QString m_preparedSql;
    StoreFailure m_failure = StoreFailure::None;
    QString m_error;
};

// Statements that belong together: either all of them are stored or none.
// Committed by commit(); rolled back by rollback() or when the object goes
// uncommitted. One opened inside another is a savepoint of it: its rollback
// takes back only its own statements. A statement that fails inside it rolls
// it back at once; commit() then fails.
class StoreTransaction {
public:
    using Mode = TransactionMode;
    explicit StoreTransaction(SubjectStore& store = SubjectStore::current(),
                              Mode mode = Mode::Write);
    ~StoreTransaction();
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;

    bool begun() const { return m_level >= 0; }
    // False when the transaction could not be stored (it is then rolled back).
    bool commit();
    void rollback();
    QString error() const { return m_error; }
    StoreFailure failure() const { return m_failure; }

private:
    SubjectStore& m_store;
    int m_level = -1; // index in the store's levels; -1: not begun or ended
    QString m_error;
    StoreFailure m_failure = StoreFailure::None;
};

} // namespace velmora
