#pragma once

#include <QString>

namespace velmora {

// The audit trail's part in backup and restore: each is recorded before
// the copy takes its place (a copy nobody could record is not made), and
// the trail's head at every backup is kept in the settings file under the
// backup's name, so an older copy of the trail put in place later shows.
namespace BackupAudit {

// Records the backup to destination (its file name); on the file store
// through the trail's own connection, as the subject file is held for the
// copy. False with why.
bool recordBackup(const QString& destination, QString* why);

// After a backup is in place: the trail's head kept in the settings file
// under its name. A failure here costs only the anchor.
void anchorBackup(const QString& destination);

// Records the restore from source, with the copy of the store kept first
// (empty: none), before the store is replaced. False with why.
bool recordRestore(const QString& source, const QString& safetyCopy, QString* why);

// Records that a backup or restore recorded as begun did not happen.
void recordFailure(bool restore, const QString& file);

} // namespace BackupAudit

} // namespace velmora
