#pragma once

#include "support/ProgramFolder.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace velmora {

// What a command of the real program did.
struct CommandResult {
    int status = -1;
    QString out;
    QString err;
};

// Runs the real program as a command on the current program folder (and the
// case's database on the test server, when the case has one), with input on
// its standard input: the way the clinic's IT person or a script runs it.
inline CommandResult runCommand(const QStringList& arguments, const QByteArray& input = {},
                                const QString& databaseUrl = QString()) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("VELMORA_DATA"));
    env.remove(QStringLiteral("VELMORA_DATABASE"));
    process.setProcessEnvironment(env);
    QStringList all{QStringLiteral("--data"), QDir::currentPath()};
    if (!databaseUrl.isEmpty())
        all += {QStringLiteral("--database"), databaseUrl};
    else if (ProgramFolder::onServer())
        all += {QStringLiteral("--database"),
                QStringLiteral("postgresql:///") + ProgramFolder::caseDatabase()};
    process.start(QStringLiteral(VELMORA_BINARY), all + arguments);
    CommandResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace velmora
