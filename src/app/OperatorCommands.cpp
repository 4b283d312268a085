#include "app/OperatorCommands.h"

#include "access/Audit.h"
#include "access/AuditReport.h"
#include "access/Roles.h"
#include "access/SignIn.h"
#include "app/CommandLine.h"
#include "app/Terminal.h"

#include <QTextStream>
#include <unistd.h>

namespace velmora {

namespace {

int refused(QTextStream& err, const QString& persian, const QString& english) {
    err << "velmora: " << persian << '\n' << "velmora: " << english << '\n';
    err.flush();
    return 1;
}

// A new password, typed twice at a terminal; once from a pipe.
bool newPassword(const QString& name, QString* password, QTextStream& err) {
    QString error;
    if (!readSecret(QStringLiteral("رمز تازه «%1» (new password): ").arg(name), password, &error)) {
        refused(err, QStringLiteral("رمزي خوانده نشد."), error);
        return false;
    }
    if (!::isatty(STDIN_FILENO))
        return true;
    QString again;
    if (!readSecret(QStringLiteral("دوباره (again): "), &again, &error) || again != *password) {
        again.fill(QChar(0));
        refused(err, QStringLiteral("دو رمز يکي نيستند."), QStringLiteral("the passwords differ"));
        return false;
    }
    again.fill(QChar(0));
    return true;
}

QString lastSignInText(const Operator& op) {
    return op.lastSignIn.isEmpty() ? QStringLiteral("-")
                                   : AuditReport::solarDateOf(op.lastSignIn) + QLatin1Char(' ') +
                                         AuditReport::clockTimeOf(op.lastSignIn);
}

} // namespace

int operatorCommand(const CommandLine& command, QTextStream& out, QTextStream& err) {
    QString why;
    if (!OperatorAdmin::mayManage(&why)) {
        Audit::record(Action::Operators, QString(), Outcome::Refused, QStringLiteral("خط فرمان"));
        return refused(err, why,
                       QStringLiteral("refused: only an admin changes operators (on a server: a "
                                      "role that may create and alter roles); sign in with "
                                      "--operator NAME"));
    }
    if (command.listOperators) {
        QList<Operator> operators;
        if (!OperatorAdmin::list(&operators, &why))
            return refused(err, why, QStringLiteral("the operators could not be read"));
        for (const Operator& op : std::as_const(operators))
            out << op.name << '\t' << roleKey(op.role) << '\t'
                << (op.enabled ? "enabled" : "disabled") << '\t' << lastSignInText(op) << '\n';
        out.flush();
        return 0;
    }
    bool done = false;
    QString password;
    if (!command.addOperator.isEmpty()) {
        if (!newPassword(command.addOperator, &password, err))
            return 1;
        done = OperatorAdmin::add(command.addOperator, roleFromKey(command.role), password, &why);
    } else if (!command.resetPassword.isEmpty()) {
        if (!newPassword(command.resetPassword, &password, err))
            return 1;
        done = OperatorAdmin::resetPassword(command.resetPassword, password, &why);
    } else if (!command.disableOperator.isEmpty()) {
        done = OperatorAdmin::setEnabled(command.disableOperator, false, &why);
    } else if (!command.enableOperator.isEmpty()) {
        done = OperatorAdmin::setEnabled(command.enableOperator, true, &why);
    }
    password.fill(QChar(0));
    if (!done)
        return refused(err, why, QStringLiteral("the operator was not changed"));
    return 0;
}

} // namespace velmora
