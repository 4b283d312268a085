#pragma once

#include "platform/Platform.h"

#include "backup/BackupFiles.h"

#include <QString>

class QWidget;

namespace velmora {

// The text shown when a copy fails: the fixed line, a line break and the
// system's description of the failure.
QString copyFailureText(const QString& description);

// Copies source to destination, in both directions of backup and restore (see
// BackupFiles::copyFile: the destination is either the whole copy or left as
// it was). Returns 1 when the whole file was copied, 0 after a failure, which
// has already been reported to the operator over owner (not a copy stopped on
// the operator's word, see BackupFiles::copyFile). While a copy runs, a second
// one is not started: it returns 0 at once without a message.
int CopyBackupFile(const QString& source, const QString& destination, QWidget* owner = nullptr,
                   const BackupFiles::CopySteps& steps = {});

// True while CopyBackupFile is copying.
bool backupCopyRunning();

} // namespace velmora
