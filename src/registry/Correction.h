#pragma once

#include "registry/Registration.h"

#include <QString>
#include <QVariant>
#include <array>

namespace velmora {

// Correcting a registration after the fact: a name mistyped, an age or a
// group chosen wrong, the code itself. The subject keeps its rows; every row
// that holds its code (IDE, its answer sheet, its administrations, its code
// key) follows the corrected code, and the answer sheet its group.
namespace Correction {

// The registration as a window read it.
struct Subject {
    qint64 id = 0;                  // the IDE key; 0 when no subject has the code
    qint64 generation = 0;          // the store's restores seen when it was read
    Registration::FieldTexts texts; // as shown, by Registration::Field
    std::array<QVariant, Registration::FieldCount> stored; // as read, NULL kept
};

// The IDE column of each field.
QString column(Registration::Field field);

// Reads the registration of the subject with code. False with the store's
// description when the store could not be read; subject->id is 0 when nobody
// has that code.
bool read(const QString& code, Subject* subject, QString* error);

enum class Result {
    Corrected,
    Unchanged,        // the texts are the ones read: nothing to store
    Duplicate,        // another subject (or a sheet or an administration) holds the new code
    LookAlike,        // the new code reads as another subject's code does
    ChangedElsewhere, // another workstation changed the row since it was read
    Replaced,         // the row is gone or no longer this subject's (a restore, an erasure)
    Failed,           // the store failed; detail says why
    Unrecorded,       // the audit trail took no entry; detail says why
};

struct Outcome {
    Result result = Result::Failed;
    QString detail;    // Failed, Unrecorded: why
    QString lookAlike; // LookAlike: the stored code the new one reads as
};

// Stores the corrected texts over the registration read, in one transaction
// with its audit entry, provided the row is still as it was read. Nothing is
// written unless everything is. The texts must have passed the
// registration's checks (Registration::firstMissing).
Outcome store(const Subject& read, const Registration::FieldTexts& corrected);

// The audit entry's detail: which fields changed and, for those that do not
// name the person, the values they had. A name is never written into the
// trail, only that it changed.
QString auditDetail(const Registration::FieldTexts& before, const Registration::FieldTexts& after);

// What the operator is told when a correction was not stored (not for
// Duplicate and LookAlike, which the registration's own notices tell).
QString refusalMessage(const Outcome& outcome);

} // namespace Correction

} // namespace velmora
