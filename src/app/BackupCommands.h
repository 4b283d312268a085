#pragma once

class QString;
class QTextStream;

namespace velmora {

struct CommandLine;

// The backup commands without a window: --backup FILE, --restore FILE,
// --new-backup-key and --backup-into DIR (the scheduled backup). Runs the one
// the command line asks for and returns the process's exit status; -1 when it
// asks for none of them.
int runBackupCommand(int argc, char** argv, const CommandLine& command);

// The dated sealed backups --backup-into makes and keeps: newest last.
// Removes all but the newest keep of them from folder (nothing else there
// is touched); returns how many it removed.
int removeOldScheduledBackups(const QString& folder, int keep);

} // namespace velmora
