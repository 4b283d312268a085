#pragma once

#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <chrono>
#include <functional>

class QTextStream;

// What a clinic's network costs each operator step: the round trips a step
// makes to the server (each waits for the network twice), and the steps
// measured with the server reached through a delaying proxy.

// The round trips of one kind of step, once for each time it ran.
struct StepRoundTrips {
    QString step;
    QList<qint64> counts;
    qint64 median() const;
};

// Runs a workstation in a process of its own (`child-count`) with its
// subject tables in database, every connection through a counting proxy:
// it registers, tests, scores and looks up `runs` new subjects. The steps in
// the order they come; empty, with error, when the workstation failed.
QList<StepRoundTrips> countRoundTrips(const QString& database, int runs, QString* error);
int countChild(int argc, char** argv);

// The key of a step in the benchmark's table ("launch" for "test launch"),
// or the empty text for a step the table has no line for.
QString benchStepKey(const QString& step);

// Runs steps (a child process of the benchmark, started with the environment
// given) while the server is reached through a proxy that holds everything
// for delay each way. Empty, with error, when the proxy cannot start.
QMap<QString, QList<double>> stepsAtDistance(
    std::chrono::microseconds delay,
    const std::function<QMap<QString, QList<double>>(const QProcessEnvironment&)>& steps,
    QString* error);

// The round trips of every step, with the least time they cost at that delay.
void printRoundTrips(QTextStream& out, const QList<StepRoundTrips>& trips, int subjects,
                     double delayMs);
