#pragma once

#include "data/Database.h"
#include "data/StoreUrl.h"

#include <QSqlDatabase>
#include <QString>

namespace velmora {

// Where the subject tables live: the file DBM/DB2.mdb of the data folder (the
// default), or a PostgreSQL server that several workstations share. The
// settings file DBM/DB.mdb stays on each workstation either way.
namespace Database {

// From now on the subject tables are on this server (or in the file again).
// Closes the subject connection; the next openAll() or connection() uses the
// new store.
void useSubjectServer(const StoreUrl& url);
void useSubjectFile();
bool subjectsOnServer();
// The server's URL, with the signed-in operator's name and password in place
// of the URL's own when one has signed in.
StoreUrl subjectServer();

// The operator signed in on the server: from now on the subject connection
// logs in with this name and password (kept in memory only, never stored);
// empty: the URL's own again. Closes the connection; the next use opens it.
void setServerCredentials(const QString& user, const QString& password);

// The server as the operator reads it: its URL without the password.
QString subjectServerName();

// The server connection, opened (again) unless a transaction is open on it:
// a transaction whose connection was lost fails whole, never half on a new one.
QSqlDatabase serverConnection();

// The server connection as the last statement left it, not reopened.
QSqlDatabase serverConnectionAsItIs();

// Connects to the server and makes its subject tables ready: created in an
// empty database, checked (never changed) in one that has them. False, with a
// Persian message naming the server, when it cannot be reached or the
// database holds tables of that name that are not this program's.
bool openServerSubjects(QString* error);

// A DataTransaction is open on the store of file (the connection may not be
// reopened under it).
void setTransactionOpen(DbFile file, bool open);
bool isTransactionOpen(DbFile file);

// A Persian description of a failed operation on the server, naming it.
QString serverFailureMessage(const QString& detail);

} // namespace Database

} // namespace velmora
