#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace velmora {

// The stock age programs, run directly by the tests to prove that what the
// program seals opens without it and the other way round. Identities go to
// them on standard input, never as an argument.
struct StockAge {
    int status = -1;
    QByteArray out;
    QByteArray err;

    static bool installed() {
        return !QStandardPaths::findExecutable(QStringLiteral("age")).isEmpty() &&
               !QStandardPaths::findExecutable(QStringLiteral("age-keygen")).isEmpty();
    }

    static StockAge run(const QString& program, const QStringList& arguments,
                        const QByteArray& input = QByteArray()) {
        StockAge result;
        QProcess p;
        p.start(program, arguments);
        if (!p.waitForStarted(10000))
            return result;
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return result;
        }
        result.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        result.out = p.readAllStandardOutput();
        result.err = p.readAllStandardError();
        return result;
    }

    // A new key pair: the identity line and its public key.
    static bool newKey(QByteArray* identity, QString* recipient) {
        const StockAge keygen = run(QStringLiteral("age-keygen"), {});
        for (const QByteArray& line : keygen.out.split('\n')) {
            if (line.startsWith("AGE-SECRET-KEY-1"))
                *identity = line.trimmed();
            else if (line.startsWith("# public key: "))
                *recipient = QString::fromLatin1(line.mid(14).trimmed());
        }
        return keygen.status == 0 && !identity->isEmpty() && !recipient->isEmpty();
    }

    // age -d -i - FILE: the plain bytes, or status != 0.
    static StockAge open(const QString& sealed, const QByteArray& identity) {
        return run(QStringLiteral("age"),
                   {QStringLiteral("--decrypt"), QStringLiteral("-i"), QStringLiteral("-"), sealed},
                   identity + '\n');
    }

    // age -r RECIPIENT -o OUT FILE (armor: -a as well).
    static StockAge seal(const QString& plain, const QString& recipient, const QString& out,
                         bool armor = false) {
        QStringList args{QStringLiteral("--encrypt"), QStringLiteral("-r"), recipient,
                         QStringLiteral("-o"), out};
        if (armor)
            args.append(QStringLiteral("-a"));
        args.append(plain);
        return run(QStringLiteral("age"), args);
    }

    // age -d of a passphrase file, the passphrase typed on a terminal (the
    // only place stock age reads one from), through util-linux's script.
    static StockAge openWithPassphrase(const QString& sealed, const QString& out,
                                       const QByteArray& passphrase) {
        const QString command = QStringLiteral("age --decrypt -o '%1' '%2'").arg(out, sealed);
        return run(QStringLiteral("script"),
                   {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"), command,
                    QStringLiteral("/dev/null")},
                   passphrase + '\n');
    }
};

} // namespace velmora
