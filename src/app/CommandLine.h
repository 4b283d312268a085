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
    // --export-research FILE, absolute (empty: none), and how:
    QString exportResearch;
    bool allAdministrations = false; // --all-administrations
    bool identified = false;         // --identified
    bool datesAsYear = false;        // --research-dates year (shift: false)
    bool ageBands = false;           // --age-bands
    QString message;                 // the help text, the version line or the error

    // The operators and the audit trail (each a command without a window).
    QString signInAs;        // --operator NAME: who runs the command
    QString addOperator;     // --add-operator NAME
    QString role;            // --role reception|clinician|admin (with --add-operator)
    QString disableOperator; // --disable-operator NAME
    QString enableOperator;  // --enable-operator NAME
    QString resetPassword;   // --reset-password NAME
    bool listOperators = false;
    bool verifyAudit = false;
    QString exportAudit;  // --export-audit FILE, absolute
    QString eraseSubject; // --erase-subject CODE: that subject erased on request

    bool operatorCommand() const {
        return !addOperator.isEmpty() || !disableOperator.isEmpty() || !enableOperator.isEmpty() ||
               !resetPassword.isEmpty() || listOperators;
    }
};

// Reads the program's own options from arguments (the program's name first).
// The window system's options (-platform NAME, -style NAME, -reverse, ...)
// are left to it. Needs no application object, so --help and --version work
// where no window can be opened.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace velmora
