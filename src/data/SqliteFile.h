#pragma once

#include <QSqlDatabase>
#include <QString>

namespace velmora {

// Every connection the program opens to a SQLite file (the settings, the
// subject file, a backup being checked or copied) is made here, with the same
// options: a statement waits a while for another program's lock instead of
// failing at once, and a connection that only reads cannot write the file or
// leave a journal beside it.
namespace SqliteFile {

// How long a statement waits for another program's lock before it fails.
inline constexpr int BusyTimeoutMs = 3000;

enum class Access { ReadWrite, ReadOnly };

// The named connection to path, opened if it is not open yet. Whether it
// opened is the connection's isOpen(); its lastError() says why not.
QSqlDatabase open(const QString& connectionName, const QString& path,
                  Access access = Access::ReadWrite, int busyTimeoutMs = BusyTimeoutMs);

// Closes the named connection and forgets it.
void remove(const QString& connectionName);

// A connection of its own for one piece of work (a check, a copy, a look at
// a file), with a name nobody else uses; closed and forgotten when the object
// goes. Connections belong to the thread that makes them.
class Connection {
public:
    explicit Connection(const QString& path, Access access = Access::ReadWrite,
                        int busyTimeoutMs = BusyTimeoutMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase db() const;
    bool isOpen() const { return db().isOpen(); }

private:
    QString m_name;
};

// True when the file starts as every SQLite database does.
bool hasHeader(const QString& path);

// True when the file's header says it is in write-ahead-log mode.
bool isWriteAheadLog(const QString& path);

// The code of the engine's primary result (SQLITE_BUSY is 5) of a failure.
int primaryCode(const QSqlError& error);

} // namespace SqliteFile

} // namespace velmora
