#pragma once

#include <QString>

#include <functional>

class QApplication;
class QTextStream;

namespace velmora {

struct CommandLine;

// The lock file that keeps the program to one instance per data folder (the
// working directory): .velmora.lock in the folder itself.
QString instanceLockPath();
// False when another instance of the program already runs on this folder,
// under whatever path it was reached. A lock file this user did not make is
// not trusted but replaced; where no lock can be taken the run goes on.
bool acquireSingleInstance();
void releaseSingleInstance();

// Right-to-left layout, the form font and Qt's own texts in Persian for the
// whole program.
void prepareApplication(QApplication& app);

// The start of a run: refuses a second instance, makes both databases ready
// and shows the main window. False when the program must end at once.
bool startVelmora();

// A command without a window: the data folder and subject store chosen as for
// the program, both databases open while work runs; work's result is the
// process's exit status, and its messages go to err (standard error).
int runWithoutWindow(int argc, char** argv, const CommandLine& command,
                     const std::function<int(QTextStream& err)>& work);

// The whole program: the application object, the program folder as working
// directory, the start and the event loop.
int runVelmora(int argc, char** argv);

} // namespace velmora
