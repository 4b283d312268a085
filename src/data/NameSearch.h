#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace velmora {

class SubjectStore;

// How a name is found in the code lookup: by how it reads, whatever the keyboard
// it was typed on. Yeh is written the Arabic way (U+064A, or alef maksura
// U+0649) or the Persian way (U+06CC), kaf the Arabic way (U+0643) or the
// Persian way (U+06A9); the key writes each the Persian way. Everything else
// counts as typed.
QString nameKey(const QString& name);

// The name searches of the code lookup over IDE's first and last names:
// "begins with", on the name's key. Each field has an index on its key (and
// the key), so a search reads only the rows it lists, for a hundred subjects
// or a million.
namespace NameSearch {

// The fields searched by their beginning.
bool isNameField(const QString& field);

// The SQL expression of field's key, exactly as its index is made in store
// (the server compares it byte by byte, as the file does).
QString keyExpression(const QString& field, const SubjectStore& store);
// The same in a subject file and on a server (the stores' own choice).
QString fileKeySql(const QString& field);
QString serverKeySql(const QString& field);

// The keys of the names that begin with typed lie from low (included) to high
// (excluded; the null text: no end), in the order the index keeps them.
struct KeyRange {
    QString low;
    QString high;
};
KeyRange keyRange(const QString& typed);

// The condition "the key of field begins with the key of typed", with its
// values appended to values in order. Every name that equals typed is among
// them. An empty typed text matches every row.
QString beginsWith(const QString& field, const QString& typed, const SubjectStore& store,
                   QVariantList* values);

// The statements that make the indexes in a subject file (as the file keeps
// them) or on a server, in the order of their names.
QStringList fileIndexSql();
QStringList serverIndexSql();
QStringList indexNames();

} // namespace NameSearch

} // namespace velmora
