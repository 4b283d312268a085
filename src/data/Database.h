#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace velmora {

// The two databases of the program: the settings file of this workstation and
// the subject tables, in the subject file of the data folder or on a server
// (see SubjectStore).
enum class DbFile {
    Settings, // DBM/DB.mdb: table Theme, one record
    Subjects, // DBM/DB2.mdb or the server: tables IDE, Answer and History
};

// The questionnaire's items, numbered from 1: an answer sheet has one field
// per item, named by its number.
constexpr int ItemCount = 14;

namespace Database {

// Path relative to the program folder (the working directory).
QString fileName(DbFile file);
QString absoluteFileName(DbFile file);

// The tables of a file and the fields of a table, in order ("ID" first).
// History came later than the others: a subject file without it is still one
// of ours, and gains it when it is opened.
QStringList tables(DbFile file);
QStringList fields(const QString& table);
DbFile fileOf(const QString& table);

// The statements that make the subject tables' indexes (if not there yet).
QStringList subjectIndexes();

// The statement that makes table, its key column as a file draws keys unless
// another is given (a server's).
QString createTableSql(const QString& table, const QString& keyColumn = QString());

// Quotes an identifier for SQL ("Group", "1").
QString quoted(const QString& identifier);

// Makes both databases ready: the subject store of the run (first, so that a
// server that cannot be reached ends the start before any file is made), then
// the settings file. False with a Persian message that names what failed.
bool openAll(QString* error);

// The connection to the settings file or to the subject store, opened on first
// use. Nothing keeps a query open on it between calls, so it can be closed at
// any time.
QSqlDatabase connection(DbFile file);

// Closes the connection (and the file's locks); the next use opens it again.
void close(DbFile file);
void closeAll();

// Makes a database file of the data folder ready on the named connection: a
// missing file (and a missing DBM folder) is created with its tables and, for
// DB.mdb, its one Theme record. An existing file that is not this program's
// database is never touched: false with a Persian message that names the file.
bool openFile(DbFile file, const QString& connectionName, QString* error);

// The statements that add to an open subject file what later versions made
// (tables, indexes); empty when it has them all.
QStringList laterSubjectStructure(const QSqlDatabase& db);

// One object the program itself makes in a file: its kind in the schema
// ("table" or "index"), its name and the statement that makes it.
struct SchemaObject {
    QString type;
    QString name;
    QString sql;
    bool required = true; // false: older files may lack it
};

// Everything a file of the program may hold: its tables, its indexes and the
// database engine's own bookkeeping tables. A new table or index is added here.
QList<SchemaObject> schemaObjects(DbFile file);

// Empty when the open database holds nothing but what schemaObjects allows,
// each made exactly as the program makes it, and every required one; otherwise
// a Persian description of the first object that is not the program's. A
// trigger, a view or a changed table in a file could act on every later save.
QString foreignSchema(const QSqlDatabase& db, DbFile file);

// Checks that path is a sound subject database: an SQLite file that holds the
// program's own tables and indexes and nothing else, passes the integrity
// check, and holds each code once in IDE and in Answer (also where the file
// lacks the unique index that would see to it). error gets a Persian
// description.
bool isSoundSubjectDatabase(const QString& path, QString* error);

// Turns a subject file in write-ahead-log mode (a copy from another program)
// into the rollback journal the program works with; a file in that mode
// already is left as it is. False with the engine's description otherwise.
bool leaveWriteAheadLog(const QString& path, QString* error);

// A Persian description of a failed database operation, naming the file.
QString failureMessage(DbFile file, const QString& detail);

} // namespace Database

} // namespace velmora
