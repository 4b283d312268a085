#pragma once

#include "access/Roles.h"

#include <QString>

namespace velmora {

// Signing in, without a window: the sign-in window, the lock and the
// command line all go through here.
namespace SignIn {

enum class Result {
    Done,
    Refused,     // an unknown name or a wrong password (never said which)
    Disabled,    // the right password of an operator who may not sign in now
    Waiting,     // too soon after failures for this name: not even tried
    NotOperator, // a server role that belongs to none of Velmora's groups
    Failed,      // the store could not be asked (message says why)
};

struct Attempt {
    Result result = Result::Failed;
    int waitSeconds = 0; // Waiting: how long still
    QString message;     // Persian, for everything but Done
};

// The wait after failures in a row for one name: none before the first,
// then 1, 2, 4, ... seconds, at most five minutes.
int delaySeconds(int failures);

// Tries name and password on the store in use: the file's operators, or a
// login to the server with them (the subject connection then runs as that
// operator). On success the session has the operator and the store notes
// the sign-in. Every try is recorded in the trail as action (sign-in, or
// unlock after a lock) with detail added to what it says.
Attempt attempt(const QString& name, const QString& password, Action action = Action::SignIn,
                const QString& detail = QString());

} // namespace SignIn

// The operators, kept by an admin through the command line or the
// operators window. Each change is recorded in the trail in the same
// transaction as the change itself.
namespace OperatorAdmin {

// Whether this session may change operators: on the file store an admin
// (anyone while no operator is set up), on a server the server decides (the
// session's own role must be allowed to create and alter roles). why says
// why not, in Persian.
bool mayManage(QString* why);

bool add(const QString& name, Role role, const QString& password, QString* error);
// The last admin that may sign in cannot be disabled.
bool setEnabled(const QString& name, bool enabled, QString* error);
bool resetPassword(const QString& name, const QString& password, QString* error);
bool list(QList<Operator>* operators, QString* error);

} // namespace OperatorAdmin

} // namespace velmora
