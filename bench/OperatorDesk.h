#pragma once

#include "LoadPlan.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace velmora {

class ScriptedPlatform;

// One workstation in this process, as an operator works it: the program
// started in a data folder of its own with the subject tables on the server,
// every step a press on a window's own handler, every dialog answered by the
// scripted platform. Each step is measured as the operator waits for it.
class OperatorDesk {
public:
    // Told of every measured step: its name, its time and the round trips to
    // the server it made (0 when nothing counts them).
    using Meter = std::function<void(const QString& step, double ms, qint64 roundTrips)>;

    // roundTrips reads a running count of round trips, if there is one.
    OperatorDesk(ScriptedPlatform& platform, Meter meter, std::function<qint64()> roundTrips = {});

    // Makes folder a data folder (the skins beside this program copied in)
    // and starts the program there with the subject tables in database on
    // the server the libpq variables name. False when it did not start.
    bool start(const QString& folder, const QString& database);
    // Closes every window and the connections, as the program's end does.
    void stop();

    enum class Registered { Stored, Duplicate, Refused };
    // Opens the registration panel, types the subject in, runs beforeStore
    // (a moment to wait for a partner) and presses store. typed gets the
    // registration row's fields as typed: Code, FName, LName, Jens, Sen,
    // Taahol, Tahsil, Group.
    Registered registerSubject(const QString& code, const LoadPlan::Registration& registration,
                               const std::function<void()>& beforeStore, QStringList* typed);

    // Launches the test for code, answers items 1..14 as given, saves and
    // exits. True when the window closed on saving.
    bool takeTest(const QString& code, const QList<int>& answers);

    // Opens the scoring window, searches code and closes it again: the seven
    // scores shown, in the order of the boxes (empty when it found nothing).
    QStringList score(const QString& code);

    // Opens the code lookup, searches one group and closes it.
    void lookUp();

    // The notices and message boxes shown since the last call, as
    // "kind<TAB>text" (line breaks written as \n).
    QStringList said();

private:
    double measure(const QString& step, const std::function<void()>& work);
    // Runs trigger, a handler that shows a modal window and returns when it
    // closes; the time until the window is shown is the step's. whileOpen
    // runs on the window then and must close it. False when none opened.
    bool measureUntilModal(const QString& step, const std::function<void()>& trigger,
                           const std::function<void(QWidget*)>& whileOpen);
    qint64 trips() const { return m_roundTrips ? m_roundTrips() : 0; }

    ScriptedPlatform& m_platform;
    Meter m_meter;
    std::function<qint64()> m_roundTrips;
    qsizetype m_heard = 0;
};

} // namespace velmora
