#pragma once

#include "access/Roles.h"

#include <QString>
#include <functional>

namespace velmora {

// The audit trail as the rest of the program writes it: one call per action,
// whether operators are set up or not.
//
// A feature adds its action in two steps: a new Action (access/Roles.h) with
// its row in Roles.cpp (key, Persian name, least role), then at its entrance
//     if (!Access::permit(Action::X, window, code)) return;   // or permitCommand
// and, inside the StoreTransaction that does the work,
//     if (!Audit::record(Action::X, code, Outcome::Done, detail, &error)) {
//         transaction.rollback(); /* tell error; the action is not done */
//     }
// Work kept outside the subject store (a file written) uses recordAround.
namespace Audit {

// Records that the signed-in operator (or the account, when none is set up)
// did action on this workstation, to the subject with code (empty when
// there is none), with outcome and a short detail; never names, answers or
// scores.
//
// Inside a StoreTransaction (or DataTransaction) open on the subject store
// the entry joins it as a savepoint: it commits with the action or rolls back
// with it. Outside one it is written at once. False, with a Persian description in error, when the
// entry could not be written (a full disk, a server gone): the caller must
// then fail the action it records, with the action's own message, so that
// nothing is ever done unrecorded.
bool record(Action action, const QString& code, Outcome outcome, const QString& detail,
            QString* error = nullptr);

// The same, written through a connection of the trail's own: for the moment
// the subject file must stay closed (a restore replacing it).
bool recordAlone(Action action, const QString& code, Outcome outcome, const QString& detail,
                 QString* error = nullptr);

// Does an action kept outside the subject store (a setting, a file) with its
// entry: the entry is written first, in a transaction on the subject store,
// then act runs, and the entry commits only when act succeeded. False when
// the entry could not be written (act then never runs; error says why) or
// act failed (error empty: act has told the operator itself).
bool recordAround(Action action, const QString& code, const QString& detail,
                  const std::function<bool()>& act, QString* error);

// The Persian words that begin the message of an action that failed because
// its entry could not be written.
QString unrecordedText();

// The current UTC time as the trail writes it.
QString now();

// Keeps the trail's head outside the trail's file (in the settings file) for
// place, and gives it back (seq 0 for an empty trail). A failure to read or
// keep it is the error.
bool keepAnchor(const QString& place, qint64* seq, QString* hash, QString* firstHash,
                QString* error);

} // namespace Audit

} // namespace velmora
