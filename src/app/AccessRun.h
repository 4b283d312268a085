#pragma once

#include <QString>

class QTextStream;

namespace velmora {

class Frm1;

// Operators and the audit trail at the edges of a run.
namespace AccessRun {

// The start of a run with windows: opens both databases, records the start
// and, once operators are set up, asks for a sign-in before the main window
// (on a server that asks every login for a password, the sign-in is what
// opens the store). False: the run ends; error then says why, or is empty
// when the operator chose to leave.
bool open(QString* error);

// Locks on Ctrl+L and after the workstation's idle time, and lets a lower
// role's sign-in close what the operator before left open.
void installLock(Frm1* main);

// The end of a run: recorded, and the trail's head kept outside the trail.
void close();

// A command without a window, once both databases are open: signs in as
// name (its password read from the terminal or standard input) when one is
// given; on a server without a name the connection's own login is the
// operator. False, with a message on err, when the sign-in failed.
bool signInForCommand(const QString& name, QTextStream& err);

} // namespace AccessRun

} // namespace velmora
