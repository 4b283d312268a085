#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <limits>

class QTextStream;

namespace velmora {

// The subjects to export, as the code lookup lists them: keys up to lastKey,
// narrowed to the subjects whose field equals value when a field is given
// ("Group", "LName" or "FName"; exact, whole-text equality), or, for a name
// with byBeginning, whose name begins with value as the lookup's name search
// reads it (NameSearch).
struct SubjectFilter {
    QString field;
    QString value;
    bool byBeginning = false;
    qint64 lastKey = std::numeric_limits<qint64>::max();
};

// The condition on the subjects (IDE as "i") that filter lists, up to the key
// lastKey, with the values it binds appended in order: what the lookup's grid
// shows, for every export of it.
QString subjectCondition(const SubjectFilter& filter, qint64 lastKey, QVariantList* values);

enum class ExportResult {
    Written,   // the whole file is in place
    Cancelled, // nothing was left behind
    Failed,    // nothing was left behind; error says why
};

// Told now and then (every few thousand rows) how many of the subjects have
// been written; returning false cancels the export.
using ExportProgress = std::function<bool(qint64 subjectsDone, qint64 subjectsTotal)>;

// The columns of the export, in order: the subject's registration, the date
// and time of the administration, the fourteen answers and the seven scale
// scores under their report names.
QStringList exportHeader();

// Writes the subjects to a CSV file at path: one row per administration, in
// key order and, within a subject, in the order they were kept. A subject with
// no administration kept gets one row with its current answer sheet (empty
// for a subject never tested; the sheet of a test stored before
// administrations were kept) and no administration date. Scores are those of
// the scoring window (an unanswered item counts 0); a sheet without any
// answer has no scores. The subjects are read with one forward-only query, a
// row at a time, so memory does not grow with the number of subjects. The
// file appears only when complete; a failure or a cancel leaves nothing.
ExportResult exportSubjectsCsv(const QString& path, const SubjectFilter& filter,
                               const ExportProgress& progress, QString* error);

// A Persian message for a failed export of path, with the system's detail.
QString exportFailureMessage(const QString& path, const QString& detail);

// The name offered for an export made on date: the solar date in layout 0,
// with dashes, since a file name cannot hold a slash.
QString defaultExportName(const QDate& date);

// The export without a window, for a clinic's scheduled exports: every
// subject to file, with the databases already open. Returns the process's
// exit status: 0 and nothing written to err on success; otherwise 1 and a
// message on err. A relative file is taken from the working directory.
int exportCsvCommand(const QString& file, QTextStream& err);

} // namespace velmora
