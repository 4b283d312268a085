#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace velmora {

class SubjectStore;

// One entry of the audit trail: who did what, where and when, to which
// subject, and how it ended. Names, answers and scores never go into it.
struct AuditEntry {
    qint64 seq = 0;       // 1, 2, 3, ... in the order the entries were written
    QString time;         // UTC, "2024-05-01T08:30:00.123Z"
    QString workstation;  // the computer's host name
    QString operatorName; // the signed-in operator, or the account when none is set up
    QString action;       // a key such as "register" (see access/Roles.h)
    QString code;         // the subject's code, or empty
    QString outcome;      // "done", "refused" or "failed"
    QString detail;
    QString hash; // SHA-256, hex, over the fields above and the previous entry's hash
};

// A point of the chain kept outside the trail's own file: the entry with
// number seq had this hash, noted at a time, for a purpose (place).
struct AuditAnchor {
    qint64 seq = 0;
    QString hash;
    QString time;
    QString place;
};

// What a check of the whole trail found.
struct AuditVerdict {
    enum class Problem {
        None,
        Changed,   // the entry's content or its place in the chain is not what was hashed
        Missing,   // entries before this one are gone
        Truncated, // an anchor names an entry past the trail's end
        Rewritten, // an anchor names an entry whose hash differs
        Unreadable,
        Stopped, // the check was stopped before its end
    };
    Problem problem = Problem::None;
    qint64 entries = 0; // entries read (intact: all of them)
    qint64 badSeq = 0;  // the first entry that fails
    QString badTime;    // its time, when it is there
    AuditAnchor anchor; // Truncated, Rewritten: the anchor that says so
    QString detail;     // Unreadable: the engine's words
    QString headHash;   // intact: the last entry's hash
    bool intact() const { return problem == Problem::None; }
};

// The trail: on the file store a SQLite file of its own, DBM/Audit.db (a
// restore replaces DBM/DB2.mdb and must never take the trail with it), which
// also holds the operators; on a server, table "Audit" beside the subject
// tables, which the operators' roles may only add to: the server itself
// numbers, times and chains the entries and takes the operator from the
// session.
//
// Each entry carries a SHA-256 hash over its fields and the previous entry's
// hash, so an entry changed, removed or moved breaks the chain from there on.
// Anyone who can write the file can also compute the chain again: anchors
// kept elsewhere show that.
namespace AuditTrail {

// The file of the file store's trail, relative to the data folder, and absolute.
QString fileName();
QString absoluteFileName();

// The schema name the trail's file is attached under on the subject file's
// connection, so that an entry joins the transaction open there: both files
// keep a rollback journal, and a transaction over both commits atomically.
QString attachedName();

// Attaches the trail's file (made, private, when missing) to a connection of
// the subject file and makes its tables ready. The file store runs this each
// time it opens that connection. False with a Persian message naming the file.
bool attachTo(QSqlDatabase& subjects, QString* error);

// Makes the server's trail ready: the table, its indexes and the triggers
// that chain each new entry and refuse every change and removal. Runs on the
// subject connection after its tables are ready (the server store's open). False with the engine's
// words.
bool prepareServer(QSqlDatabase& db, QString* error);

// The hash of entry's fields (seq to detail) after previousHash (empty
// before the first entry): SHA-256 over the fields, each written as its
// length in UTF-8 bytes, a colon and the bytes, previousHash last.
QString chainHash(const AuditEntry& entry, const QString& previousHash);

// Appends an entry to the trail of the run's store (SubjectStore::current()),
// in a StoreTransaction of its own that nests in the one open there: the
// entry commits or rolls back with the action it records, and outside one it
// is written at once. seq and hash are made here; on a server the server sets
// seq, time, operator and hash itself. False with the engine's description.
bool append(const AuditEntry& entry, QString* error);

// The same through a connection of the trail's own, for the moments the
// subject file must stay closed (a restore replacing it). On a server the
// same as append().
bool appendAlone(const AuditEntry& entry, QString* error);

// The stores' own ways of writing and reading (SubjectStore::appendAudit
// and its kin use them): an entry appended on a SQLite connection where the
// trail is schema ("main" on the trail's own connection, attachedName() on
// the subject file's), chained here; an entry inserted on a server, which
// chains it itself; a read-only connection of its own to the trail's file.
bool appendOnFile(QSqlDatabase& db, const QString& schema, AuditEntry entry, QString* error);
bool appendOnServer(SubjectStore& store, const AuditEntry& entry, QString* error);
bool appendToFileAlone(const AuditEntry& entry, QString* error);
bool openFileReader(const QString& connectionName, QString* error);

// A connection of its own that reads the trail: read-only to the file, or to
// the server as the signed-in operator. Made and used in one thread.
class Reader {
public:
    explicit Reader(const QString& connectionName);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool isOpen() const;
    // Why it is not open.
    QString error() const { return m_error; }
    QSqlDatabase db() const;

private:
    QString m_name;
    QString m_error;
};

// Which entries to read: each field empty means any. Times are UTC texts in
// the entries' own form; from inclusive, until exclusive.
struct Filter {
    QString code;
    QString operatorName;
    QString fromTime;
    QString untilTime;
};

// Up to limit entries matching filter, newest first, all older than
// beforeSeq (0: from the newest), on a Reader's connection. One indexed
// query; nothing stays open.
bool readBlock(QSqlDatabase& db, const Filter& filter, qint64 beforeSeq, int limit,
               QList<AuditEntry>* entries, QString* error);

// Up to limit entries after afterSeq, oldest first, on a Reader's connection.
bool readAfter(QSqlDatabase& db, qint64 afterSeq, int limit, QList<AuditEntry>* entries,
               QString* error);

// The last entry's number and hash (0 and empty for an empty trail), and the
// first entry's hash, on a Reader's connection.
bool head(QSqlDatabase& db, qint64* seq, QString* hash, QString* error);
bool firstHash(QSqlDatabase& db, QString* hash, QString* error);

// Reads the whole trail in order on a Reader's connection, a block at a time
// (a writer never waits long), and checks every entry's number and hash,
// then the anchors. progress gets the entries checked so far; returning
// false stops the check. Memory stays the same for any length.
AuditVerdict verify(QSqlDatabase& db, const QList<AuditAnchor>& anchors,
                    const std::function<bool(qint64)>& progress = {});

} // namespace AuditTrail

// Anchors of the chain outside the trail's own file.
namespace AuditAnchors {

// The store an anchor belongs to: "file", or the server's name without a user.
QString currentStore();

// Keeps the trail's head in the settings file (DBM/DB.mdb, which a restore
// never touches) for the current store. Nothing is kept for an empty trail.
bool keep(qint64 seq, const QString& hash, const QString& place, QString* error);

// The anchors kept for the current store, oldest first.
bool kept(QList<AuditAnchor>* anchors, QString* error);

// True when hash is the one the anchor kept.
bool matches(const AuditAnchor& anchor, const QString& hash);

} // namespace AuditAnchors

} // namespace velmora
