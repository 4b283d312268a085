#pragma once

#include "registry/SubjectExport.h"

#include <QString>

#include <optional>

class QTextStream;

namespace velmora {

// The two formats researchers' programs read with labels, told apart by the
// file's ending: SPSS (.sav, also read by PSPP and R) and Stata (.dta).
enum class ResearchFormat { Spss, Stata };

// The format a file name asks for; nothing for another ending.
std::optional<ResearchFormat> researchFormatOf(const QString& path);

// What a pseudonymised file keeps of the dates.
enum class ResearchDates {
    Shifted, // every date of a subject moved back by the subject's own number of days
    Year,    // only the solar year
};

struct ResearchOptions {
    ResearchFormat format = ResearchFormat::Spss;
    // One row per kept administration (numbered), or one per subject.
    bool perAdministration = false;
    // Names, codes and real dates kept; otherwise names are left out, codes
    // become pseudonyms and dates are shifted or cut to the year.
    bool identified = false;
    ResearchDates dates = ResearchDates::Shifted;
    // Age as the first year of its five-year band (20 for 20 to 24).
    bool ageBands = false;
    // The subjects to write, as the code lookup lists them.
    SubjectFilter filter;
};

struct ResearchSummary {
    qint64 subjects = 0;
    qint64 rows = 0;
    // Texts longer than the format holds, written cut at a letter's boundary.
    qint64 cutTexts = 0;
};

// Writes the subjects to a labelled SPSS or Stata file at path: short ASCII
// variable names, Persian variable labels (item texts, scale names), value
// labels for the answers and the coded fields, missing values for what was
// not answered. The rows are read with one forward-only query and written as
// they come, so memory does not grow with the number of subjects; the file
// appears only when whole, and a failure or a cancel leaves nothing behind.
ExportResult exportResearch(const QString& path, const ResearchOptions& options,
                            const ExportProgress& progress, ResearchSummary* summary,
                            QString* error);

// A Persian message for a failed research export of path, with the detail.
QString researchFailureMessage(const QString& path, const QString& detail);

// The Persian words of a finished export: how many rows and subjects, and how
// many texts were cut.
QString researchDoneMessage(const ResearchSummary& summary);

// The name offered for a research export made on date, in format.
QString defaultResearchName(const QDate& date, ResearchFormat format);

// The export without a window, every subject, the databases already open.
// file's ending chooses the format. Returns the process's exit status: 0 with
// the summary on out, or 1 with a message on err.
int exportResearchCommand(const QString& file, const ResearchOptions& options, QTextStream& out,
                          QTextStream& err);

} // namespace velmora
