#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace velmora {

// How a subject code reads. Two codes that differ only in characters nobody
// sees (direction marks, zero-width characters and other formatting
// characters) or in the Arabic and Persian forms of a letter or a digit (yeh,
// kaf; Arabic-Indic, Persian and the digits 0 to 9) read the same, and so name
// the same person to whoever reads them. Everything else counts: letter case,
// blanks, every visible letter.
QString codeKey(const QString& code);

// The subject file keeps the key of every registered code in a table of its
// own, "CodeKey" (the IDE row's ID and its code's key, indexed by key), so that
// a code is looked up by how it reads at the same cost for ten subjects or a
// hundred thousand. The table is kept by the registration, inside its
// transaction on the subject file:
namespace CodeKeys {

// The statements that make the table and its index where they are missing,
// in the SQL of the store behind db.
QStringList schemaSql(const QSqlDatabase& db);

// Brings the table up to date with IDE: creates it in a file that has none and
// adds the keys of the subjects registered since (by this program or any
// other; a file that never had the table gets all of them, once). False, with
// error, when the file cannot be written.
bool update(QString* error);

// Updates the table, then finds a registered code that reads as code does
// without being the same text. stored is empty when there is none.
bool findLookAlike(const QString& code, QString* stored, QString* error);

} // namespace CodeKeys

} // namespace velmora
