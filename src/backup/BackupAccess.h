#pragma once

#include <QString>

namespace velmora {

// The two places where backups meet the clinic's people: who may handle
// them, and the audit trail of what was done. Every window and command of
// backups passes here, so that operators and the trail come in at one spot.
namespace BackupAccess {

enum class Act {
    OpenBackupWindow, // backups, restores and the clinic key from the window
    Restore,          // a restore from the command line
    MakeClinicKey,    // making or replacing the clinic key
};

// Whether the one at work may do act. Backups, restores and the clinic key
// are an admin's; until there are operators, whoever runs the program is.
bool allowed(Act act);

enum class Event {
    PlainBackup,      // detail: the backup file
    SealedBackup,     // detail: the backup file
    Restore,          // detail: the backup file, and the copy kept before it
    ClinicKeyMade,    // detail: the public key, never the recovery key
    ClinicKeyReplaced // detail: the new public key
};

// Enters what was done in the audit trail; until there is one, nothing is
// kept.
void note(Event event, const QString& detail);

} // namespace BackupAccess

} // namespace velmora
