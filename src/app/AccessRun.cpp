#include "app/AccessRun.h"

#include "access/Audit.h"
#include "access/Lock.h"
#include "access/Session.h"
#include "access/SignIn.h"
#include "access/SignInWindow.h"
#include "app/Frm1.h"
#include "app/Terminal.h"
#include "data/Database.h"
#include "data/Operators.h"
#include "data/SubjectStore.h"
#include "questionnaire/FrmTest.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

namespace velmora {

namespace AccessRun {

namespace {

bool recordStart(QString* error) {
    QString why;
    if (!Session::refresh(&why) ||
        !Audit::record(Action::ProgramStart, QString(), Outcome::Done, QString(), &why)) {
        *error = why;
        return false;
    }
    return true;
}

// What an operator of a lower role must not see of the one before: the
// main window's open panel with its unsaved record, and every other window.
void resetForLowerRole() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window != Frm1::instance())
            windows.append(window);
    for (const QPointer<QWidget>& window : std::as_const(windows)) {
        if (!window)
            continue;
        if (auto* test = qobject_cast<FrmTest*>(window.data()))
            test->leaveForLock();
        else if (auto* dialog = qobject_cast<QDialog*>(window.data()))
            dialog->reject();
        else
            window->close();
    }
    if (Frm1* main = Frm1::instance())
        main->HidePanels();
}

} // namespace

bool open(QString* error) {
    if (!Database::openAll(error)) {
        if (!SubjectStore::current().loginRefused())
            return false;
        // The sign-in opens the store with the operator's own login.
        error->clear();
        if (!SignInWindow::signIn(SignInWindow::Purpose::Start, nullptr))
            return false;
        return recordStart(error);
    }
    if (!recordStart(error))
        return false;
    if (Session::inForce() && !SignInWindow::signIn(SignInWindow::Purpose::Start, nullptr)) {
        Audit::record(Action::ProgramEnd, QString(), Outcome::Done,
                      QStringLiteral("بدون ورود کاربر"));
        error->clear();
        return false;
    }
    return true;
}

void installLock(Frm1*) {
    Lock::setLowerRoleReset(resetForLowerRole);
    Lock::install(WorkstationSettings::lockMinutes());
}

void close() {
    Audit::record(Action::ProgramEnd, QString(), Outcome::Done, QString());
    // Where the trail cannot be read (a server role without the right), the
    // backups and exports keep its anchors instead.
    qint64 seq = 0;
    QString hash, first, ignored;
    Audit::keepAnchor(QStringLiteral("پايان برنامه"), &seq, &hash, &first, &ignored);
}

bool signInForCommand(const QString& name, QTextStream& err) {
    QString error;
    if (!Session::refresh(&error)) {
        err << error << '\n';
        return false;
    }
    if (name.isEmpty()) {
        // On a server the login is the operator, with the role its groups give.
        if (SubjectStore::current().operatorsAreLogins()) {
            QSqlDatabase db = SubjectStore::current().connection();
            Role role = Role::None;
            QSqlQuery who(db);
            if (!ServerOperators::roleOfSession(db, &role, &error) ||
                !who.exec(QStringLiteral("SELECT session_user")) || !who.next()) {
                err << SubjectStore::current().failureMessage(
                           error.isEmpty() ? who.lastError().text() : error)
                    << '\n';
                return false;
            }
            if (Session::inForce())
                Session::signIn(who.value(0).toString(), role);
        }
        return true;
    }
    QString password;
    if (!readSecret(QStringLiteral("رمز «%1» (password): ").arg(name), &password, &error)) {
        err << "velmora: " << error << '\n';
        return false;
    }
    const SignIn::Attempt attempt =
        SignIn::attempt(name, password, Action::SignIn, QStringLiteral("خط فرمان"));
    password.fill(QChar(0));
    if (attempt.result == SignIn::Result::Done)
        return true;
    err << "velmora: " << attempt.message << '\n'
        << "velmora: the sign-in as " << name << " was refused.\n";
    return false;
}

} // namespace AccessRun

} // namespace velmora
