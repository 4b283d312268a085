#pragma once

namespace velmora {

struct CommandLine;

// velmora --export-research FILE: the subjects as an SPSS or Stata file for
// research, without a window. Returns the process's exit status.
int runResearchExport(int argc, char** argv, const CommandLine& command);

} // namespace velmora
