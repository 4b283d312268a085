#pragma once

// A busy clinic on one PostgreSQL server (the one the libpq variables name):
//
//   velmora_bench load --workstations N --subjects M [--collide] [--durable]
//                      [--latency-ms MS] [--database NAME] [--journal FILE] [--keep]
//
// starts N workstation processes, each a program of its own in its own data
// folder, with the subject tables in a new database of the server. Each
// registers, tests (every item answered, then save and exit) and scores M
// subjects through the windows' own handlers, as fast as it can; with
// --collide the pairs of workstations register and test the same codes at
// the same moment. Afterwards the store is checked against what was typed,
// the step times are printed (median, 95th percentile, maximum) with the
// throughput, and the server's log and the workstations' warnings are read.
// The exit status is 1 on any integrity fault.
//
// --durable makes the server write every commit through to the disk (as a
// clinic's does; a throwaway server spares itself that); --latency-ms puts a
// delaying proxy between the workstations and the server; --keep leaves the
// database and the workstations' folders; --journal names the file the
// workstations' reports go to, which
//
//   velmora_bench load-check --database NAME --journal FILE
//
// checks a kept database against again.
int loadCommand(int argc, char** argv);
int loadCheckCommand(int argc, char** argv);

// The workstation process of a load run (started by loadCommand).
int loadWorkstation(int argc, char** argv);
