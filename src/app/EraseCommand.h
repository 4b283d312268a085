#pragma once

namespace velmora {

struct CommandLine;

// velmora --erase-subject CODE: every row of a subject erased on request,
// without a window. The process's exit status, or -1 when the command line
// asks for something else.
int runEraseCommand(int argc, char** argv, const CommandLine& command);

} // namespace velmora
