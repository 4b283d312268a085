#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

class SubjectStore;

// How a subject code reads. Two codes that differ only in characters nobody
// sees (direction marks, zero-width characters and other formatting
// characters) or in the Arabic and Persian forms of a letter or a digit (yeh,
// kaf; Arabic-Indic, Persian and the digits 0 to 9) read the same, and so name
// the same person to whoever reads them. Everything else counts: letter case,
// blanks, every visible letter.
QString codeKey(const QString& code);

// The subject store keeps the key of every registered code in a table of its
// own, "CodeKey" (the IDE row's ID and its code's key, indexed by key), so that
// a code is looked up by how it reads at the same cost for ten subjects or a
// million. The registration writes its subject's key in its own transaction.
// A row added or changed any other way (another program, an earlier version,
// a restore) is marked by the store itself, with a key still to be worked out
// (NULL), and gets its key before the next look-alike check needs it.
namespace CodeKeys {

// The statements that make the table, its index and the store's marking of new
// codes where they are missing, in the store's SQL.
QStringList schemaSql(const SubjectStore& store);

// The same as a subject file keeps them (without "IF NOT EXISTS"), for the
// check of a file's schema; and the table as earlier versions made it.
QStringList fileSchemaObjects();
QString earlierFileTableSql();

// Works out every key that is still missing, in a savepoint of the caller's
// transaction (or a transaction of its own): all of them or none. False, with
// the store's description, when the store cannot be written.
bool fillMissing(SubjectStore& store, QString* error);

// Stores the key of the subject with this IDE key and code (inside the
// registration's transaction).
bool write(SubjectStore& store, qint64 id, const QString& code, QString* error);

// Works out the missing keys, then finds a registered code that reads as code
// does without being the same text. stored is empty when there is none. The
// subject whose IDE key is exceptId (a correction of its own code) is passed
// over: a code may be corrected to another way of writing itself.
bool findLookAlike(const QString& code, QString* stored, QString* error, qint64 exceptId = 0);

} // namespace CodeKeys

} // namespace velmora
