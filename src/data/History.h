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

} // namespace History

} // namespace velmora
