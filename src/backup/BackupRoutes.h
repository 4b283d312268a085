#pragma once

#include "backup/BackupFiles.h"

#include <QString>

namespace velmora {

// Backup and restore of the subject store, file or server, without a
// window: the few places where the commands reach today's copy and store
// functions (BackupFiles::copyFile with its checks, StoreCopy's export and
// import). The backup window goes its own way through the same functions,
// keeping itself alive.
namespace BackupRoutes {

// A checked plain backup of the subject store at destination: the file is
// copied under a read transaction, or the server's tables are written from
// one snapshot, and the result passes the restore's own check before it
// takes destination's place.
bool makeCheckedPlainBackup(const QString& destination, const BackupFiles::ChunkHook& progress,
                            QString* why);

// The copy of the subject store a restore keeps first, in folder under the
// name "پيش از بازيابي …"; kept gets its path. True with kept empty when
// there is nothing to keep (no subject file yet).
bool keepCurrentSubjects(const QString& folder, const BackupFiles::ChunkHook& progress,
                         QString* kept, QString* why);

// Replaces the subject store with the plain subject file plain, which is
// checked on the way as every restore checks it; beforeReplace runs just
// before the store is replaced (false stops the restore, nothing changed).
bool restoreFromPlainFile(const QString& plain, const BackupFiles::ChunkHook& progress,
                          const BackupFiles::ReplaceStep& beforeReplace, QString* why);

} // namespace BackupRoutes

} // namespace velmora
