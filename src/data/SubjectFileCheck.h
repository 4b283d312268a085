#pragma once

#include <QFuture>
#include <QString>

namespace velmora {

// A look at the subject database once the program runs: damage the database
// engine's quick check finds, or objects in the file the program does not
// make. The program goes on either way; the operator is told once.
namespace SubjectFileCheck {

// Empty when the file at path passes, or is missing, or another connection
// holds it too long to look; otherwise the Persian warning for the operator,
// naming the file.
QString quickCheck(const QString& path);

// quickCheck on a thread of the global pool, with a connection of its own, so
// that the main window appears as fast as without it. The future's one result
// is the warning (empty: nothing to say); the start-up can show it with
//     future.then(window, [window](const QString& warning) { ... });
// Leaving the application (its aboutToQuit) stops the check, as
// stopRunningChecks does, so the application's wait for its pool at the end
// is short however large the file.
QFuture<QString> quickCheckInBackground(const QString& path);

// Ends every check quickCheckInBackground runs at once; they say nothing. The
// check only reads, so breaking it off harms nothing. (Only a Qt whose SQLite
// driver uses the SQLite library the program is linked with can be
// interrupted; elsewhere a check that has begun runs to its end.)
void stopRunningChecks();

} // namespace SubjectFileCheck

} // namespace velmora
