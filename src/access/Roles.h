#pragma once

#include "data/Operators.h"

#include <QString>

namespace velmora {

// Everything an operator does that the audit trail records or a role
// decides. A new action is a new enumerator and a new row of the table in
// Roles.cpp (its key in the trail, its Persian name, the least role that may
// do it).
enum class Action {
    ProgramStart,
    ProgramEnd,
    SignIn,
    Lock,
    Unlock,
    Register,     // a new subject stored
    LookUp,       // the code lookup opened
    LookUpSearch, // one search in it
    LaunchTest,
    SaveAnswers, // an answer stored during the test
    SaveAndExit, // the test's save and exit
    LeaveTest,   // the test left without its save and exit
    Score,       // a subject's scores shown
    Chart,
    Report, // the report's preview shown
    PrintReport,
    SaveReportPdf,
    History,
    ExportCsv,
    Backup,
    Restore,
    Settings,
    Operators,
    AuditTrail, // the audit window opened
    ExportAudit,
    VerifyAudit,
    ExportResearch,           // a research file, pseudonymised
    ExportResearchIdentified, // a research file that keeps names and codes
    CorrectSubject,           // a registration's fields or code corrected
    EraseSubject,             // every row of a subject erased on request
};

// How an action ended, as the trail writes it.
enum class Outcome { Done, Refused, Failed };

namespace Roles {

// The action's key in the trail ("register") and its Persian name.
QString key(Action action);
QString name(Action action);
// The Persian name of the action a key names; the key itself when it names none.
QString nameOfKey(const QString& key);
QString outcomeKey(Outcome outcome);
QString outcomeName(const QString& key);

// The least role that may do the action (Role::None: anyone).
Role minimumRole(Action action);
bool mayDo(Role role, Action action);

// The role's Persian name ("پذيرش", "درمانگر", "مدير").
QString roleName(Role role);

// The Persian words for a refused action: which roles may do it, and the
// role the operator has.
QString refusal(Action action, Role role);

} // namespace Roles

} // namespace velmora
