#pragma once

#include <QString>

class QSqlDatabase;
class QSqlError;

namespace velmora {

// What a failed statement means to the program, whichever engine said it.
enum class StoreFailure {
    None,
    DuplicateKey,   // a unique index refused the row (a code stored twice)
    ConnectionLost, // the server went away; the action can be repeated later
    Other,
};

// The few places where SQLite and PostgreSQL need different SQL or read their
// errors differently. Everything else is the same SQL for both: quoted
// identifiers, bound values, LIMIT, IF NOT EXISTS, INSERT ... RETURNING.
namespace SqlDialect {

bool isServer(const QSqlDatabase& db);

// The key column of a table whose keys the store draws itself. On the server
// an explicit key is still accepted, so a restore keeps its rows' keys.
QString keyColumnSql(bool onServer);

StoreFailure classify(const QSqlError& error, const QSqlDatabase& db);

// The detail shown for a failure: the engine's text, or what happened when
// the engine has nothing to say (a statement on a connection that was lost).
QString describe(const QSqlError& error, const QSqlDatabase& db);

// The Persian words for a server that no longer answers.
QString connectionLostText();

} // namespace SqlDialect

} // namespace velmora
