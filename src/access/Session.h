#pragma once

#include "data/Operators.h"

#include <QString>

namespace velmora {

// Who works at this program now. Operators are opt-in: until an admin
// exists on the store (the data folder's trail file, or a login member of
// velmora_admin on the server) nobody signs in and every action is allowed;
// from then on every start signs in, and each action asks the signed-in
// operator's role.
namespace Session {

// Operators are in force on the store in use. Read again by refresh(): at
// start, after an operator change.
bool inForce();
bool refresh(QString* error);

// The operator signed in; empty and Role::None while nobody is.
QString operatorName();
Role role();
bool signedIn();
void signIn(const QString& name, Role role);
void signOut();

// The computer's account that runs the program.
QString accountName();
// Whom the trail names for what is done now: the signed-in operator, else
// the account.
QString actor();

// Forgets the session and whether operators are in force (a new store).
void reset();

} // namespace Session

} // namespace velmora
