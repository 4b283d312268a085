#pragma once

#include "data/AuditTrail.h"

#include <QStringList>
#include <functional>

namespace velmora {

// The trail as people read it: the check of the whole chain with its
// anchors, its words, and the CSV export. Shared by the audit window and
// the command line.
namespace AuditReport {

// The anchors kept in the settings file for this store. On the thread of the
// program's own connections.
bool keptAnchors(QList<AuditAnchor>* anchors, QString* error);

// Checks the trail on a Reader's connection against anchors. Any thread.
AuditVerdict check(QSqlDatabase& db, const QList<AuditAnchor>& anchors,
                   const std::function<bool(qint64)>& progress = {});

// The verdict in one line: Persian, and the same in English.
QString persian(const AuditVerdict& verdict);
QString english(const AuditVerdict& verdict);

// An entry's UTC time as the clinic reads it: the solar date (layout 0) and
// the wall-clock time of this computer.
QString solarDateOf(const QString& utcTime);
QString clockTimeOf(const QString& utcTime);

// The UTC bound of a solar day typed as year/month/day: its first moment
// (from) or the first moment of the next day (until), in the entries' form;
// false when the text is not a solar date. Empty text: no bound.
bool dayBound(const QString& solarText, bool until, QString* utcTime);

// The columns of the CSV file.
QStringList csvHeader();
QStringList csvRow(const AuditEntry& entry);

// Writes entries to a CSV file at path (UTF-8 with a byte-order mark, as the
// subject export), on a Reader's connection: those that match filter newest
// first, or the whole trail oldest first. beforeCommit runs once every row
// is written and before the file takes its name (the export's own entry is
// recorded there); false from it, or from progress, leaves no file. The file
// appears only when whole; written gets the number of entries.
enum class Order { NewestFirst, OldestFirst };
bool exportCsv(QSqlDatabase& db, const QString& path, const AuditTrail::Filter& filter, Order order,
               const std::function<bool(qint64)>& progress,
               const std::function<bool(qint64, QString*)>& beforeCommit, qint64* written,
               QString* error);

} // namespace AuditReport

} // namespace velmora
