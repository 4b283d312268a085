#pragma once

#include "data/Database.h"
#include "registry/SubjectExport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace velmora {

// What the research export reads from the subject tables, and the only place
// it reads them: a survey of the subjects first (how many rows, how long the
// texts, which codes the coded fields hold), then every row in one
// forward-only query. Both read the same subjects and administrations: the
// keys that exist when the survey starts bound them, so a subject stored at
// another workstation meanwhile is in neither.
//
// Texts are handed over as the UTF-8 bytes the files take.

struct ResearchQuery {
    SubjectFilter filter;
    bool perAdministration = false; // one row per kept administration, or per subject
    bool withNames = false;         // read the first and last names too
};

// A distinct text of a coded field and how many subjects have it.
struct CodedText {
    QByteArray text;
    qint64 subjects = 0;
};

struct ResearchSurvey {
    qint64 subjects = 0;
    qint64 rows = 0;
    // The keys the export reads up to.
    qint64 lastSubject = 0;
    qint64 lastAdministration = 0;
    // The longest text of these fields, in bytes.
    int codeBytes = 0;
    int firstNameBytes = 0;
    int lastNameBytes = 0;
    int educationBytes = 0;
    // The distinct texts of the coded fields, most frequent first (the empty
    // text left out).
    QList<CodedText> sexes, maritalStates, groups;
};

bool surveySubjects(const ResearchQuery& query, ResearchSurvey* survey, QString* error);

// The columns of a row.
enum ResearchColumn {
    KeyColumn,
    CodeColumn,
    FirstNameColumn,
    LastNameColumn,
    SexColumn,
    AgeColumn,
    MaritalColumn,
    EducationColumn,
    GroupColumn,
    RegisteredDateColumn,
    RegisteredTimeColumn,
    AdministrationKeyColumn, // null: no administration kept (the current sheet's answers)
    AdministeredDateColumn,
    AdministeredTimeColumn,
    AdministrationCountColumn, // per subject: how many administrations are kept
    FirstItemColumn,
    ResearchColumnCount = FirstItemColumn + ItemCount,
};

// A text of the current row: size bytes at data, followed by a zero byte;
// null for SQL NULL (then size is 0 and data an empty text).
struct RowText {
    const char* data;
    int size;
    bool null;
};

class ResearchRows {
public:
    virtual ~ResearchRows();
    // The next row; false at the end or on a failure (error() says which).
    virtual bool next() = 0;
    virtual RowText text(int column) = 0;
    virtual qint64 integer(int column, bool* null) = 0;
    // Empty unless reading failed.
    virtual QString error() const = 0;
};

// The rows of the survey's subjects: in key order and, per administration, in
// the order the administrations were kept. Per subject, a row holds the
// subject's latest administration; a subject without one kept has its current
// answer sheet and no administration date (also per administration).
std::unique_ptr<ResearchRows> readResearchRows(const ResearchQuery& query,
                                               const ResearchSurvey& survey, QString* error);

} // namespace velmora
