#include "RoundTrips.h"

#include "LatencyProxy.h"
#include "LoadPlan.h"
#include "OperatorDesk.h"

#include "app/App.h"
#include "support/ScriptedPlatform.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace velmora;

qint64 StepRoundTrips::median() const {
    if (counts.isEmpty())
        return -1;
    QList<qint64> sorted = counts;
    std::sort(sorted.begin(), sorted.end());
    return sorted.at(sorted.size() / 2);
}

namespace {

// Connections of this process go through proxy from here on.
void throughProxy(const LatencyProxy& proxy) {
    qputenv("PGHOST", "127.0.0.1");
    qputenv("PGPORT", QByteArray::number(proxy.port()));
    // TLS would hide the frames from the proxy.
    qputenv("PGSSLMODE", "disable");
    qunsetenv("PGHOSTADDR");
}

} // namespace

int countChild(int argc, char** argv) {
    QApplication app(argc, argv);
    prepareApplication(app);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: child-count DATABASE RUNS\n", stderr);
        return 2;
    }
    const QString database = args.at(2);
    const int runs = std::max(1, args.at(3).toInt());
    LatencyProxy proxy(LatencyProxy::fromEnvironment(), std::chrono::microseconds(0));
    QString error;
    if (!proxy.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    throughProxy(proxy);
    QTemporaryDir folder;
    ScriptedPlatform platform;
    QStringList order;
    QMap<QString, QList<qint64>> counts;
    OperatorDesk desk(
        platform,
        [&](const QString& step, double, qint64 trips) {
            if (!order.contains(step))
                order.append(step);
            counts[step].append(trips);
        },
        [&proxy] { return proxy.roundTrips(); });
    if (!desk.start(folder.path(), database)) {
        std::fprintf(stderr, "the workstation did not start: %s\n",
                     qPrintable(desk.said().join(u' ')));
        return 1;
    }
    const QString tag = QString::number(QCoreApplication::applicationPid());
    for (int i = 1; i <= runs; ++i) {
        const QString code = QStringLiteral("count-%1-%2").arg(tag).arg(i);
        QStringList typed;
        const bool stored = desk.registerSubject(code, LoadPlan::registration(0, i), {}, &typed) ==
                            OperatorDesk::Registered::Stored;
        if (!stored || !desk.takeTest(code, LoadPlan::answers(0, i)) ||
            desk.score(code).size() != 7) {
            std::fprintf(stderr, "a step failed: %s\n", qPrintable(desk.said().join(u' ')));
            return 1;
        }
        desk.lookUp();
    }
    desk.stop();
    for (const QString& step : order) {
        QStringList values;
        for (qint64 n : counts.value(step))
            values.append(QString::number(n));
        std::printf("trips\t%s\t%s\n", step.toUtf8().constData(),
                    values.join(u' ').toUtf8().constData());
    }
    return 0;
}

QList<StepRoundTrips> countRoundTrips(const QString& database, int runs, QString* error) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("child-count"), database, QString::number(runs)});
    if (!child.waitForFinished(10 * 60 * 1000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        *error = QStringLiteral("the round trips could not be counted");
        return {};
    }
    QList<StepRoundTrips> trips;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() != 3 || parts.at(0) != "trips")
            continue;
        StepRoundTrips step;
        step.step = QString::fromUtf8(parts.at(1));
        for (const QByteArray& n : parts.at(2).split(' '))
            if (!n.isEmpty())
                step.counts.append(n.toLongLong());
        trips.append(step);
    }
    return trips;
}

QString benchStepKey(const QString& step) {
    static const QMap<QString, QString> keys = {
        {QStringLiteral("registration"), QStringLiteral("registration")},
        {QStringLiteral("test launch"), QStringLiteral("launch")},
        {QStringLiteral("answer step"), QStringLiteral("answer")},
        {QStringLiteral("scoring search"), QStringLiteral("scoring")},
        {QStringLiteral("code lookup opening"), QStringLiteral("lookup-open")},
        {QStringLiteral("code lookup search"), QStringLiteral("lookup-search")},
    };
    return keys.value(step);
}

QMap<QString, QList<double>> stepsAtDistance(
    std::chrono::microseconds delay,
    const std::function<QMap<QString, QList<double>>(const QProcessEnvironment&)>& steps,
    QString* error) {
    LatencyProxy proxy(LatencyProxy::fromEnvironment(), delay);
    if (!proxy.start(error))
        return {};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PGHOST"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("PGPORT"), QString::number(proxy.port()));
    env.insert(QStringLiteral("PGSSLMODE"), QStringLiteral("disable"));
    env.remove(QStringLiteral("PGHOSTADDR"));
    return steps(env);
}

void printRoundTrips(QTextStream& out, const QList<StepRoundTrips>& trips, int subjects,
                     double delayMs) {
    out << "\nround trips to the server of each operator step at " << subjects
        << " subjects (every statement is one), and the least they cost at " << delayMs
        << " ms each way:\n";
    for (const StepRoundTrips& step : trips) {
        const auto [low, high] = std::minmax_element(step.counts.cbegin(), step.counts.cend());
        const QString range = step.counts.isEmpty() ? QStringLiteral("-")
                              : *low == *high       ? QString::number(*low)
                                                    : QStringLiteral("%1-%2").arg(*low).arg(*high);
        out << QStringLiteral("  %1").arg(step.step, -22) << QStringLiteral("%1").arg(range, 8)
            << QStringLiteral("%1 ms").arg(double(step.median()) * 2 * delayMs, 10, 'f', 1) << '\n';
    }
    out << "goal at " << delayMs
        << " ms each way: every operator step under 50 ms, the code lookup's opening under 100 "
           "ms\n";
}
