#pragma once

#include "access/Roles.h"

#include <QString>

class QTextStream;
class QWidget;

namespace velmora {

// The role check every entrance asks before it acts: the main window's
// buttons and keys, each window's own commands, and the command line.
namespace Access {

// True when the signed-in operator's role may do action; always true while
// no operator is set up.
bool allowed(Action action);

// The same, and when the answer is no: the refusal is recorded in the trail
// (with code, when the action has a subject) and the operator is told in
// Persian, over owner, which roles may do it. Nothing is ever silently
// absent: the command stays where it is and says why it refuses.
bool permit(Action action, QWidget* owner, const QString& code = QString());

// The same for a command of the command line: the refusal goes to err.
bool permitCommand(Action action, QTextStream& err);

} // namespace Access

} // namespace velmora
