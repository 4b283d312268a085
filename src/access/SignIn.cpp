#include "access/SignIn.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/Passwords.h"
#include "access/Session.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QDateTime>
#include <QSqlError>

#include <algorithm>

namespace velmora {

namespace SignIn {

namespace {

constexpr int LongestDelay = 300;

QString refusedText() {
    return QStringLiteral("نام کاربر يا رمز نادرست است.");
}

QString what(const QString& name, const QString& reason, const QString& detail) {
    QString text = QStringLiteral("نام: %1؛ %2").arg(name, reason);
    if (!detail.isEmpty())
        text += QStringLiteral("؛ ") + detail;
    return text;
}

Attempt failed(const QString& message) {
    Attempt a;
    a.result = Result::Failed;
    a.message = message;
    return a;
}

Attempt refusedAs(Result result, const QString& message) {
    Attempt a;
    a.result = result;
    a.message = message;
    return a;
}

// Seconds still to wait before name may be tried again.
bool remainingWait(const QString& name, int* seconds, QString* error) {
    int failures = 0;
    QDateTime last;
    if (!SignInDelays::failures(name, &failures, &last, error))
        return false;
    *seconds = 0;
    if (failures > 0 && last.isValid()) {
        const qint64 passed = last.msecsTo(QDateTime::currentDateTimeUtc());
        const qint64 wanted = qint64(delaySeconds(failures)) * 1000;
        if (passed < wanted)
            *seconds = int((wanted - passed + 999) / 1000);
    }
    return true;
}

// The sign-in of op, noted in the store and the trail together.
Attempt complete(const QString& name, Role role, Action action, const QString& detail) {
    Session::signIn(name, role);
    QString error;
    bool ok;
    if (SubjectStore::current().operatorsAreLogins()) {
        ok = Audit::record(action, QString(), Outcome::Done, detail, &error);
    } else {
        StoreTransaction transaction;
        QString why;
        ok = transaction.begun() && OperatorTable::noteSignIn(name, Audit::now(), &why) &&
             Audit::record(action, QString(), Outcome::Done, detail, &error);
        if (ok && !transaction.commit()) {
            why = transaction.error();
            ok = false;
        }
        if (!ok && error.isEmpty())
            error =
                Audit::unrecordedText() + QStringLiteral("\n\n") +
                SubjectStore::current().failureMessage(why.isEmpty() ? transaction.error() : why);
    }
    if (!ok) {
        Session::signOut();
        return failed(error);
    }
    QString ignored;
    SignInDelays::clear(name, &ignored);
    Attempt a;
    a.result = Result::Done;
    return a;
}

Attempt refuse(Result result, const QString& name, const QString& reason, Action action,
               const QString& detail, const QString& message) {
    QString ignored;
    if (result != Result::Waiting)
        SignInDelays::noteFailure(name, &ignored);
    // A failure that cannot be recorded refuses all the same.
    Audit::record(action, QString(), Outcome::Refused, what(name, reason, detail));
    return refusedAs(result, message);
}

Attempt onFile(const QString& name, const QString& password, Action action, const QString& detail) {
    Operator op;
    bool found = false;
    QString error;
    if (!OperatorTable::find(name, &op, &found, &error))
        return failed(SubjectStore::current().failureMessage(error));
    // An unknown name costs the same time as a wrong password.
    const bool right =
        Passwords::verify(found ? op.passwordHash : Passwords::decoy(), password) && found;
    if (!right)
        return refuse(Result::Refused, name,
                      found ? QStringLiteral("رمز نادرست") : QStringLiteral("نام ناشناخته"), action,
                      detail, refusedText());
    if (!op.enabled)
        return refuse(Result::Disabled, name, QStringLiteral("کاربر غيرفعال"), action, detail,
                      QStringLiteral("اين کاربر غيرفعال است و نمي تواند وارد شود."));
    return complete(op.name, op.role, action, detail);
}

Attempt onServer(const QString& name, const QString& password, Action action,
                 const QString& detail) {
    // The login first: the server says whether name and password are right.
    SubjectStore::current().logInAs(name, password);
    QSqlDatabase db = SubjectStore::current().connection();
    if (!db.isOpen()) {
        const QString said = db.lastError().text();
        // Back to the workstation's own login, to record the failure.
        SubjectStore::current().logInAs(QString(), QString());
        if (said.contains(QLatin1String("password authentication failed")) ||
            said.contains(QLatin1String("does not exist")))
            return refuse(Result::Refused, name, QStringLiteral("رمز يا نام نادرست"), action,
                          detail, refusedText());
        if (said.contains(QLatin1String("not permitted to log in")))
            return refuse(Result::Disabled, name, QStringLiteral("کاربر غيرفعال"), action, detail,
                          QStringLiteral("اين کاربر غيرفعال است و نمي تواند وارد شود."));
        return failed(SubjectStore::current().failureMessage(said.trimmed()));
    }
    QString error;
    Role role = Role::None;
    if (!ServerOperators::roleOfSession(db, &role, &error)) {
        SubjectStore::current().logInAs(QString(), QString());
        return failed(SubjectStore::current().failureMessage(error));
    }
    if (role == Role::None) {
        SubjectStore::current().logInAs(QString(), QString());
        return refuse(Result::NotOperator, name, QStringLiteral("عضو هيچ نقش ولمورا نيست"), action,
                      detail,
                      QStringLiteral("اين نام روي سرور عضو هيچ يک از نقش هاي ولمورا نيست."));
    }
    // Then the store as this operator sees it (at the start of a run it was
    // not open yet).
    if (!Database::openAll(&error)) {
        SubjectStore::current().logInAs(QString(), QString());
        return failed(error);
    }
    return complete(name, role, action, detail);
}

} // namespace

int delaySeconds(int failures) {
    if (failures <= 0)
        return 0;
    return failures > 9 ? LongestDelay : std::min(LongestDelay, 1 << (failures - 1));
}

Attempt attempt(const QString& name, const QString& password, Action action,
                const QString& detail) {
    int wait = 0;
    QString error;
    if (!remainingWait(name, &wait, &error))
        return failed(Database::failureMessage(DbFile::Settings, error));
    if (wait > 0) {
        Attempt a =
            refuse(Result::Waiting, name, QStringLiteral("پيش از پايان درنگ"), action, detail,
                   QStringLiteral("پس از تلاش هاي نادرست براي اين نام، %1 ثانيه ديگر "
                                  "دوباره امتحان کنيد.")
                       .arg(wait));
        a.waitSeconds = wait;
        return a;
    }
    return SubjectStore::current().operatorsAreLogins() ? onServer(name, password, action, detail)
                                                        : onFile(name, password, action, detail);
}

} // namespace SignIn

namespace OperatorAdmin {

namespace {

QString roleWords(Role role) {
    return Roles::roleName(role);
}

// Runs change and records entry in one transaction on the subject store.
bool changeRecorded(const std::function<bool(QString*)>& change, const QString& entry,
                    QString* error) {
    StoreTransaction transaction;
    if (!transaction.begun()) {
        *error = SubjectStore::current().failureMessage(transaction.error());
        return false;
    }
    QString why;
    if (!change(&why)) {
        *error = why;
        return false;
    }
    if (!Audit::record(Action::Operators, QString(), Outcome::Done, entry, error))
        return false;
    if (!transaction.commit()) {
        *error = SubjectStore::current().failureMessage(transaction.error());
        return false;
    }
    QString ignored;
    Session::refresh(&ignored);
    return true;
}

bool find(const QString& name, Operator* op, bool* found, QString* error) {
    if (SubjectStore::current().operatorsAreLogins()) {
        QSqlDatabase db = SubjectStore::current().connection();
        return ServerOperators::exists(db, name, op, found, error);
    }
    return OperatorTable::find(name, op, found, error);
}

bool requireOperator(const QString& name, Operator* op, QString* error) {
    bool found = false;
    if (!find(name, op, &found, error))
        return false;
    if (!found)
        *error = QStringLiteral("کاربري به نام «%1» نيست.").arg(name);
    return found;
}

} // namespace

bool mayManage(QString* why) {
    if (SubjectStore::current().operatorsAreLogins()) {
        QSqlDatabase db = SubjectStore::current().connection();
        bool may = false;
        QString error;
        if (!ServerOperators::mayManageRoles(db, &may, &error)) {
            *why = SubjectStore::current().failureMessage(error);
            return false;
        }
        if (!may)
            *why = QStringLiteral("نقش شما روي سرور اجازه ساختن و تغيير نقش ها را ندارد "
                                  "(CREATEROLE)؛ مدير پايگاه داده بايد اين کار را انجام دهد.");
        return may;
    }
    if (Access::allowed(Action::Operators))
        return true;
    *why = Roles::refusal(Action::Operators, Session::role());
    return false;
}

bool add(const QString& name, Role role, const QString& password, QString* error) {
    if (const QString problem = operatorNameProblem(name); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    if (role == Role::None) {
        *error = QStringLiteral("نقش بايد reception، clinician يا admin باشد.");
        return false;
    }
    if (const QString problem = Passwords::problem(password); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    const QString entry = QStringLiteral("افزودن «%1» با نقش %2").arg(name, roleWords(role));
    if (SubjectStore::current().operatorsAreLogins())
        return changeRecorded(
            [&](QString* why) {
                QSqlDatabase db = SubjectStore::current().connection();
                if (ServerOperators::add(db, name, role, password, why))
                    return true;
                *why = SubjectStore::current().failureMessage(*why);
                return false;
            },
            entry, error);
    Operator op;
    bool taken = false;
    if (!find(name, &op, &taken, error))
        return false;
    if (taken) {
        *error = QStringLiteral("کاربري به نام «%1» از پيش هست.").arg(op.name);
        return false;
    }
    op.name = name;
    op.role = role;
    if (!Passwords::hash(password, &op.passwordHash, error))
        return false;
    return changeRecorded(
        [&](QString* why) {
            if (OperatorTable::add(op, why))
                return true;
            *why = SubjectStore::current().failureMessage(*why);
            return false;
        },
        entry, error);
}

bool setEnabled(const QString& name, bool enabled, QString* error) {
    Operator op;
    if (!requireOperator(name, &op, error))
        return false;
    if (!enabled && op.role == Role::Admin && op.enabled) {
        int admins = 0;
        bool counted;
        if (SubjectStore::current().operatorsAreLogins()) {
            QSqlDatabase db = SubjectStore::current().connection();
            counted = ServerOperators::enabledAdmins(db, &admins, error);
        } else {
            counted = OperatorTable::enabledAdmins(&admins, error);
        }
        if (!counted)
            return false;
        if (admins <= 1) {
            *error = QStringLiteral("«%1» آخرين مدير فعال است و غيرفعال نمي شود؛ نخست مدير "
                                    "ديگري بيفزاييد.")
                         .arg(op.name);
            return false;
        }
    }
    const QString entry = enabled ? QStringLiteral("فعال کردن «%1»").arg(op.name)
                                  : QStringLiteral("غيرفعال کردن «%1»").arg(op.name);
    return changeRecorded(
        [&](QString* why) {
            if (SubjectStore::current().operatorsAreLogins()) {
                QSqlDatabase db = SubjectStore::current().connection();
                if (ServerOperators::setEnabled(db, op.name, enabled, why))
                    return true;
                *why = SubjectStore::current().failureMessage(*why);
                return false;
            }
            return OperatorTable::setEnabled(op.name, enabled, why);
        },
        entry, error);
}

bool resetPassword(const QString& name, const QString& password, QString* error) {
    Operator op;
    if (!requireOperator(name, &op, error))
        return false;
    if (const QString problem = Passwords::problem(password); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    QString hashed;
    if (!SubjectStore::current().operatorsAreLogins() && !Passwords::hash(password, &hashed, error))
        return false;
    return changeRecorded(
        [&](QString* why) {
            if (SubjectStore::current().operatorsAreLogins()) {
                QSqlDatabase db = SubjectStore::current().connection();
                if (ServerOperators::setPassword(db, op.name, password, why))
                    return true;
                *why = SubjectStore::current().failureMessage(*why);
                return false;
            }
            return OperatorTable::setPasswordHash(op.name, hashed, why);
        },
        QStringLiteral("رمز تازه براي «%1»").arg(op.name), error);
}

bool list(QList<Operator>* operators, QString* error) {
    QString why;
    bool ok;
    if (SubjectStore::current().operatorsAreLogins()) {
        QSqlDatabase db = SubjectStore::current().connection();
        ok = ServerOperators::list(db, operators, &why);
    } else {
        ok = OperatorTable::list(operators, &why);
    }
    if (!ok)
        *error = SubjectStore::current().failureMessage(why);
    return ok;
}

} // namespace OperatorAdmin

} // namespace velmora
