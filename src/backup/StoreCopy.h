#pragma once

#include "backup/BackupFiles.h"

#include <QString>
#include <functional>

class QWidget;

namespace velmora {

// Backup and restore when the subject tables live on a server: the backup is
// still one ordinary subject file (the same tables and fields as DBM/DB2.mdb),
// so a backup made on either kind of store restores on the other.
//
// Called with the rows copied so far and the rows to copy, so the caller can
// show progress and keep its window alive during a long copy.
using StoreCopyProgress = std::function<void(qint64 done, qint64 total)>;

// Writes every subject table of the server, as one consistent snapshot, into a
// new subject file at path. The file is written beside path, flushed to disk,
// checked and only then renamed into place: path is the whole backup or what
// it was before. False with a description otherwise.
bool exportStoreToFile(const QString& path, const StoreCopyProgress& progress, QString* error);

// Replaces the server's subject tables with the rows of the subject file at
// path (checked first, as a restore of a file is) in one transaction: all of
// them or none. Keys are kept, and new keys continue above them.
bool importFileToStore(const QString& path, const StoreCopyProgress& progress, QString* error);

// The backup window's copy when the subject tables are on a server, in the
// form of CopyBackupFile: the subject file's name as source or destination
// stands for the server's tables. A restore first keeps the server's tables
// in Back, as a restore of the file keeps the file. 1 when done, 0 after the
// operator has been told why.
int CopyServerStore(const QString& source, const QString& destination, QWidget* owner,
                    const BackupFiles::CopySteps& steps);

} // namespace velmora
