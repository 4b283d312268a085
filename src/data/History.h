#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

// Every administration of the questionnaire, kept in table History of the
// subject file: the code, the solar date and time the sheet was stored, and
// the fourteen answers as stored then. The Answer row stays the subject's
// current sheet; History only grows, and the program never changes or removes
// a row of it.
namespace History {

struct Administration {
    qint64 key = 0;
    QString code;
    QString date;
    QString time;
    QStringList answers; // answers[i] is the text of item i + 1
};

// Appends the answer sheet whose Answer key is answerKey, as it is stored now,
// as an administration at date and time, provided that sheet is still the
// sheet of code. Joins the store's open transaction. False with the store's
// description when nothing was appended.
bool append(qint64 answerKey, const QString& code, const QString& date, const QString& time,
            QString* error);

// The administrations of the subject with this code, newest first.
bool ofSubject(const QString& code, QList<Administration>* result, QString* error);

// At most limit administrations of code, newest first, starting below the key
// olderThan (0: from the newest). Read one page at a time, a window shows a
// subject with hundreds of administrations as soon as one with two.
bool page(const QString& code, qint64 olderThan, int limit, QList<Administration>* result,
          QString* error);

// What the answer sheet whose Answer key is answerKey holds now, against the
// administrations kept for its code; a row no longer of code is not found.
struct SheetState {
    bool found = false;    // the sheet is in the table
    bool answered = false; // it holds at least one answer
    bool kept = false;     // the newest administration of its code holds exactly these answers
};
bool sheetState(qint64 answerKey, const QString& code, SheetState* state, QString* error);

} // namespace History

} // namespace velmora
