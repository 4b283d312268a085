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
// The application waits for the check to end before it quits.
QFuture<QString> quickCheckInBackground(const QString& path);

} // namespace SubjectFileCheck

} // namespace velmora
