#include "access/Access.h"

#include "access/Audit.h"
#include "access/Session.h"
#include "platform/Platform.h"

#include <QTextStream>

namespace velmora {

namespace Access {

bool allowed(Action action) {
    if (!Session::inForce() || Roles::minimumRole(action) == Role::None)
        return true;
    return Session::signedIn() && Roles::mayDo(Session::role(), action);
}

bool permit(Action action, QWidget* owner, const QString& code) {
    if (allowed(action))
        return true;
    Audit::record(action, code, Outcome::Refused, QString());
    platform().messageBox(owner, QStringLiteral("اجازه اين کار را نداريد"),
                          Roles::refusal(action, Session::role()) +
                              QStringLiteral("\n\nکاربري با يکي از اين نقش ها مي تواند پس از "
                                             "قفل برنامه (Ctrl+L) وارد شود."),
                          QMessageBox::Warning);
    return false;
}

bool permitCommand(Action action, QTextStream& err) {
    if (allowed(action))
        return true;
    Audit::record(action, QString(), Outcome::Refused, QString());
    err << "velmora: " << Roles::refusal(action, Session::role()) << '\n'
        << "velmora: refused: this needs the role " << roleKey(Roles::minimumRole(action))
        << " or higher" << (Session::signedIn() ? "" : "; sign in with --operator NAME") << ".\n";
    err.flush();
    return false;
}

} // namespace Access

} // namespace velmora
