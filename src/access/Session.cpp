#include "access/Session.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

#include <pwd.h>
#include <unistd.h>

namespace velmora {

namespace Session {

namespace {

bool s_inForce = false;
QString s_name;
Role s_role = Role::None;

} // namespace

bool inForce() {
    return s_inForce;
}

bool refresh(QString* error) {
    bool inForceNow = false;
    QString detail;
    const bool ok = SubjectStore::current().operatorsAreLogins()
                        ? [&] {
                              QSqlDatabase db = SubjectStore::current().connection();
                              return ServerOperators::inForce(db, &inForceNow, &detail);
                          }()
                        : OperatorTable::adminExists(&inForceNow, &detail);
    if (!ok) {
        if (error)
            *error = SubjectStore::current().failureMessage(detail);
        return false;
    }
    s_inForce = inForceNow;
    return true;
}

QString operatorName() {
    return s_name;
}

Role role() {
    return s_role;
}

bool signedIn() {
    return !s_name.isEmpty();
}

void signIn(const QString& name, Role role) {
    s_name = name;
    s_role = role;
}

void signOut() {
    s_name.clear();
    s_role = Role::None;
}

QString accountName() {
    if (const passwd* entry = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

QString actor() {
    return signedIn() ? s_name : accountName();
}

void reset() {
    s_inForce = false;
    signOut();
}

} // namespace Session

} // namespace velmora
