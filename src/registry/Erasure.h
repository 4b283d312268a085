#pragma once

#include <QList>
#include <QString>

namespace velmora {

// A subject erased on request: every row of the subject in every subject
// table, in one transaction with its entry in the audit trail, on the file
// store and on a server alike. The window (FrmCode) and the command
// (--erase-subject) both go through here.
namespace Erasure {

// A backup of the data folder's Back that still holds the subject after the
// erasure (nothing reaches into backups: they are the clinic's record of the
// past, and only the clinic decides to delete one).
struct KeptBackup {
    QString path;
    // True when the subject is in it: a plain backup looked into, or a
    // sealed one made after the subject's registration. False when it only
    // may be: a sealed backup while the trail knows no registration, or a
    // file that could not be read.
    bool holds = false;
};

// The backups in folder (Back) that hold code or may: plain backups (*.mdbB)
// looked into read-only, sealed backups (*.age), which open only with the
// clinic's private key, judged by their time against the registration the
// audit trail knows. Oldest first.
QList<KeptBackup> backupsHolding(const QString& folder, const QString& code);

// The Persian lines of the confirmation about earlier backups: that they
// still hold the subject, and which ones in Back do or may (each name between
// directional isolates).
QString backupsText(const QList<KeptBackup>& backups);
// The same in plain English, for the command line.
QString backupsEnglish(const QList<KeptBackup>& backups);

enum class Result {
    Erased,  // every row is gone (checked after the commit)
    Unknown, // no row of the code in any table: nothing to erase
    Failed,  // nothing erased (or, after a commit, rows still found)
};

// Erases every row of code and records it; message gets the Persian words
// for the operator (a failure's reason included).
Result eraseSubject(const QString& code, QString* message);

// The Persian words for a code no table holds, naming a stored code that
// reads the same (another yeh or kaf, an invisible mark) when there is one.
QString unknownText(const QString& code);

// The window's title and the action's Persian name ("حذف اطلاعات آزمودني").
QString title();

} // namespace Erasure

} // namespace velmora
