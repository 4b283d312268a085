#pragma once

class QTextStream;

namespace velmora {

struct CommandLine;

// --add-operator, --disable-operator, --enable-operator, --reset-password and
// --list-operators, with the databases open and the caller signed in. New
// passwords are read from the terminal without echo, or as one line of
// standard input each. Returns the process's exit status: 0 when done, 1
// with a message on err otherwise.
int operatorCommand(const CommandLine& command, QTextStream& out, QTextStream& err);

} // namespace velmora
