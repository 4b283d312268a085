#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// What the command line asks of a run.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString dataFolder;        // --data DIR; empty: not given
    QString database;          // --database URL; empty: not given
    QString exportCsv;         // --export-csv FILE, absolute; empty: a run with windows
    QString backup;            // --backup FILE, absolute
    QString restore;           // --restore FILE, absolute
    QString backupInto;        // --backup-into DIR, absolute
    int keep = 0;              // --keep N, with --backup-into; 0: not given
    bool newBackupKey = false; // --new-backup-key
    bool yes = false;          // --yes: no confirmation asked
    QString message;           // the help text, the version line or the error
};

// Reads the program's own options from arguments (the program's name first).
// The window system's options (-platform NAME, -style NAME, -reverse, ...)
// are left to it. Needs no application object, so --help and --version work
// where no window can be opened.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace velmora
