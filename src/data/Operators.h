#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace velmora {

// What an operator may do, lowest first: each role may do all of the one
// below it. None: no operator is signed in (or the server role is none of
// Velmora's).
enum class Role { None, Reception, Clinician, Admin };

// The role's key as stored and typed on the command line ("reception",
// "clinician", "admin"); Role::None for any other text.
QString roleKey(Role role);
Role roleFromKey(const QString& key);

struct Operator {
    QString name;
    Role role = Role::None;
    QString passwordHash; // the file store's Argon2id string; empty on a server
    bool enabled = true;
    QString lastSignIn; // UTC, as the audit trail writes times; empty: never
};

// Empty when name can be an operator's name on either store; otherwise a
// Persian description of what is wrong with it (empty, blanks at its ends,
// control characters, too long, or a name the server keeps for itself).
QString operatorNameProblem(const QString& name);

// The operators of the file store. They live in the trail's file
// (DBM/Audit.db), never in DBM/DB2.mdb, which a restore replaces; a change to
// them and its audit entry commit in one transaction of one file. Every
// function runs on the subject file's connection, where that file is
// attached, so it joins a transaction open there. Names compare without
// regard to the case of Latin letters.
namespace OperatorTable {

// True once an admin exists: from then on every start signs in.
bool adminExists(bool* exists, QString* error);
bool find(const QString& name, Operator* found, bool* exists, QString* error);
// Every operator, by name.
bool list(QList<Operator>* operators, QString* error);
// Adds op; a name already there is refused (error says so, in Persian).
bool add(const Operator& op, QString* error);
bool setEnabled(const QString& name, bool enabled, QString* error);
bool setPasswordHash(const QString& name, const QString& hash, QString* error);
bool noteSignIn(const QString& name, const QString& time, QString* error);
// Admins that may still sign in.
bool enabledAdmins(int* count, QString* error);

} // namespace OperatorTable

// The operators of a server are its login roles that belong to Velmora's
// group roles velmora_reception, velmora_clinician and velmora_admin (each a
// member of the one below, so an admin holds every right of a clinician).
// The server keeps their passwords; Velmora never sees one again after
// handing it to libpq, which turns it into a SCRAM verifier before it is sent.
namespace ServerOperators {

QString groupRole(Role role);

// True when the group roles exist and velmora_admin has a member that may
// log in: then every start signs in.
bool inForce(QSqlDatabase& db, bool* inForce, QString* error);
// The role of the session's user: its highest group (a superuser counts as
// admin); Role::None when it is in none or the groups do not exist.
bool roleOfSession(QSqlDatabase& db, Role* role, QString* error);
// True when the session's own role may create and alter roles.
bool mayManageRoles(QSqlDatabase& db, bool* may, QString* error);
// Every operator, by name; lastSignIn from the trail where the session may read it.
bool list(QSqlDatabase& db, QList<Operator>* operators, QString* error);
bool exists(QSqlDatabase& db, const QString& name, Operator* found, bool* exists, QString* error);
bool add(QSqlDatabase& db, const QString& name, Role role, const QString& password, QString* error);
bool setEnabled(QSqlDatabase& db, const QString& name, bool enabled, QString* error);
bool setPassword(QSqlDatabase& db, const QString& name, const QString& password, QString* error);
bool enabledAdmins(QSqlDatabase& db, int* count, QString* error);

} // namespace ServerOperators

// Failed sign-ins in a row, per name typed (known or not), kept on the
// workstation in the settings file so that a restart does not forget them.
namespace SignInDelays {

bool failures(const QString& name, int* count, QDateTime* last, QString* error);
bool noteFailure(const QString& name, QString* error);
bool clear(const QString& name, QString* error);

} // namespace SignInDelays

// Settings of this workstation that are not part of the theme record.
namespace WorkstationSettings {

constexpr int DefaultLockMinutes = 10;
// Minutes without input before the program locks; 0: never.
int lockMinutes();
bool setLockMinutes(int minutes, QString* error);

} // namespace WorkstationSettings

} // namespace velmora
