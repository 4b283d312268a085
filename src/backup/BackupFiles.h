#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

class QIODevice;

namespace velmora {

// The file work of backup and restore, kept free of windows so that it can be
// exercised on its own: names, paths, the chunked copy and the checks that keep
// the subject database whole.
namespace BackupFiles {

// The copy moves this many bytes at a time (not 4096: the size the clinics'
// backups have always been written with).
inline constexpr qint64 ChunkBytes = 4048;

// Called before every chunk with the bytes copied so far and the whole length,
// so the caller can keep its window alive during a long copy.
using ChunkHook = std::function<void(qint64 copied, qint64 total)>;

// Looks at a finished copy (by its temporary path) before it takes the
// destination's place; false with a description refuses it.
using CopyCheck = std::function<bool(const QString& copyPath, QString* why)>;

// Runs just before the copy replaces the destination; false with a
// description stops the copy and leaves the destination as it was.
using ReplaceStep = std::function<bool(QString* why)>;

struct CopySteps {
    ChunkHook betweenChunks;
    CopyCheck acceptCopy;
    ReplaceStep beforeReplace;
};

// The time of day as the backup window shows it: the hour without a leading
// zero, a full stop and two-digit minutes (9.05, 14.30, 0.00).
QString timeText(const QTime& time);
// Today's date as the backup window shows it (1393.8.11).
QString dateText(const QDate& date);

// The name the save dialog offers, built from the window's date and time texts.
QString defaultBackupName(const QString& date, const QString& time);
QString defaultBackupName(const QDateTime& moment);

// The filter of both file dialogs, as the program has always named it
// ("description|pattern"), and the same filter in the file dialog's own form.
QString backupFilter();
QString dialogFilter();

// The folder both file dialogs open in, and the subject database.
QString backupFolder();
QString subjectDatabase();
QString settingsDatabase();

// True when both paths name one existing file (through links or another
// spelling of the same folder).
bool sameFile(const QString& a, const QString& b);

// Copies every byte of from into to, ChunkBytes at a time, calling hook before
// each chunk. total is the number of bytes to copy. False with the system's
// description when a read or a write fails or comes up short.
bool copyChunks(QIODevice& from, QIODevice& to, qint64 total, const ChunkHook& hook,
                QString* error);

// Copies source to destination so that destination is either the complete
// copy or exactly what it was before: the bytes go to a temporary file beside
// destination, which is flushed to disk, checked by steps.acceptCopy, and then
// renamed over destination after steps.beforeReplace. A failed copy leaves no
// temporary file behind (acceptCopy may have moved it elsewhere on purpose).
// The copy is readable and writable by its owner only. Copying a file onto
// itself is refused, and so is a source or destination that exists and is not
// a plain file (a device, a pipe); a destination that is a link to a plain
// file is written through, so the link stays and its file gets the copy.
// Error gets a Persian description, with the system's own after it where there
// is one; false with an empty description is a copy stopped by beforeReplace
// on the operator's word.
bool copyFile(const QString& source, const QString& destination, const CopySteps& steps,
              QString* error);

// The acceptCopy of a backup of the subject database source to destination:
// the copy must pass the restore's own check. When it does not and source
// fails the check too, the database itself is damaged: the copy is kept under
// damagedName(destination), which why then names, so that nothing is lost and
// nobody takes it for a good backup.
bool checkBackupCopy(const QString& copy, const QString& source, const QString& destination,
                     QString* why);

// The acceptCopy of a restore: a copy made in write-ahead-log mode is turned
// into the rollback journal the program works with, and the copy must then be
// a sound subject database (Database::isSoundSubjectDatabase).
bool checkRestoreCopy(const QString& copy, QString* why);

// Path with "-آسيب ديده" before its extension; never an existing file.
QString damagedName(const QString& path);

// A path in folder for the copy of the subject database a restore keeps,
// named so that it is not taken for a backup of the operator's own; never the
// path of an existing file.
QString safetyCopyPath(const QString& folder, const QDateTime& moment);

// Removes what copies cut short (the program killed, the power gone) left in
// folder: the hidden temporary copies and their journals. A temporary copy
// that a running copy still writes is left alone.
void removeLeftovers(const QString& folder);
// The same for the folders the program copies into: Back and DBM. Meant for
// the start of a run.
void removeLeftoversAtStart();

// A path in folder for a copy of the subject database taken at moment, under
// the default backup name; never the path of an existing file.
QString freeBackupPath(const QString& folder, const QDateTime& moment);

} // namespace BackupFiles

} // namespace velmora
