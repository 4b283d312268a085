#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <optional>

namespace velmora {

// What a new subject must have before it is stored, in the order the operator
// is asked for the missing ones.
namespace Registration {

enum class Field {
    Code,
    FirstName,
    LastName,
    Gender,
    Age,
    MaritalStatus,
    Group,
    Education,
};
constexpr int FieldCount = 8;

// The choices of the fields picked from a list, in the list's order; the text
// chosen is what is stored.
QStringList maritalChoices();
QStringList genderChoices();
QStringList groupChoices();

// The texts of the fields, indexed by Field.
using FieldTexts = std::array<QString, FieldCount>;

// The first field whose text is empty. Only the empty text counts as missing:
// a text of blanks is something the operator typed and is kept as it is.
std::optional<Field> firstMissing(const FieldTexts& texts);

// The field's name as the registration panel shows it ("نام خانوادگي"), and
// its caption beside the field (" :نام خانوادگي").
QString fieldName(Field field);
QString caption(Field field);

// The notice that asks for a missing field.
QString missingNotice(Field field);

// The notice for a code another subject already has.
QString duplicateCodeNotice();

// The message for a code that reads as a stored one does (storedCode) and
// differs from it only in invisible characters or in the Arabic and Persian
// forms of a letter or digit.
QString lookAlikeCodeMessage(const QString& storedCode);

// The message after a registration whose code already had an answer sheet (one
// without a registration, from an older file): the sheet and its answers are
// the new subject's.
QString earlierSheetMessage();

// The registration time as text, in the system's time format (without a time zone).
QString timeText(const QTime& time);

} // namespace Registration

} // namespace velmora
