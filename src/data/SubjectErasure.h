#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

namespace velmora {

class SubjectStore;

// The rows of one subject, table by table, as an erasure on request finds and
// removes them. The research key is the clinic's, not the subject's: it stays.
namespace SubjectErasure {

// How many rows of the subject each table held: ("IDE", 1), ("Answer", 1),
// ("History", 3), ("CodeKey", 1), in that order.
using RowCounts = QList<QPair<QString, int>>;
int total(const RowCounts& counts);
// "IDE 1, Answer 1, History 3, CodeKey 1": numbers only, nothing of the person.
QString countsText(const RowCounts& counts);

// Removes every row of code from every subject table, inside the caller's
// StoreTransaction (the code keys first: they point at the registration's
// key, not at the code). removed gets what each table held. False with the
// store's description; the caller's transaction is then rolled back.
bool removeRows(SubjectStore& store, const QString& code, RowCounts* removed, QString* error);

// The rows of code the store holds now, table by table.
bool countRows(SubjectStore& store, const QString& code, RowCounts* counts, QString* error);

// Whether a plain subject file (an unsealed backup) holds any row of code.
// The file is opened read-only on a connection of its own: never restored,
// never written, no journal left beside it.
enum class FileHolds { Yes, No, Unreadable };
FileHolds subjectFileHolds(const QString& path, const QString& code);

// When the audit trail first recorded the action (its key, "register") for
// code with that outcome ("done"), in UTC; an invalid time when it knows of
// none (a subject that came by a restore, or before the trail). False with a
// description when the trail cannot be read.
bool firstEntryTime(const QString& code, const QString& actionKey, const QString& outcomeKey,
                    QDateTime* when, QString* error);

} // namespace SubjectErasure

} // namespace velmora
