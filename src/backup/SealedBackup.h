#pragma once

#include "backup/AgeTool.h"

#include <QString>
#include <functional>

namespace velmora {

// Backups sealed with the clinic key in the age format: a layer around a
// checked plain backup and a restore from a checked plain file. A sealed
// backup is a plain one made in a private place and then sealed; a sealed
// restore opens the file into a private place, and the plain file there goes
// the way of any restore. Plain subject data is only ever written inside the
// data folder, under a hidden temporary name that the start of the next run
// removes if this one is cut short, and it goes as soon as it is done with.
namespace SealedBackup {

// A sealed backup's name ends in this (a sealed "….mdbB.age").
QString sealedEnding();
bool hasSealedName(const QString& path);
// The name with the sealed ending added, or taken off.
QString sealedName(const QString& path);
QString plainName(const QString& path);

// The file dialogs' filters: sealed backups, and every backup (to restore).
QString sealedDialogFilter();
QString restoreDialogFilter();

// What the first bytes of a file are.
enum class Content {
    Sealed,      // an age file (binary or armoured)
    SubjectFile, // an SQLite file: a plain backup
    Other,       // anything else, an empty file
    Unreadable,  // missing, not a plain file, or not readable
};
Content lookAt(const QString& path);

// A hidden file for plain subject data beside the subject database, made
// empty (readable by its owner only) and held for as long as the object
// lives: a clean-up of left-over copies leaves it alone, and the start of a
// run removes it if the program was cut short. Removed when the object goes.
class PrivateStage {
public:
    explicit PrivateStage(const QString& label);
    ~PrivateStage();
    PrivateStage(const PrivateStage&) = delete;
    PrivateStage& operator=(const PrivateStage&) = delete;

    bool create(QString* why);
    QString path() const { return m_path; }
    // Holds the file again after something put another file in its place
    // (a copy renamed over it). False when nothing is there any more.
    bool hold();

private:
    QString m_label;
    QString m_path;
    int m_fd = -1;
};

// Writes target as every file is written (OutputFile, streams refused):
// fill writes the part file through its descriptor, check looks at it (by
// path), and only then does it take target's place. Target is either the
// whole new file or what it was before.
using Fill = std::function<bool(int fd, QString* why)>;
using Check = std::function<bool(const QString& partPath, QString* why)>;
bool writeOutputFile(const QString& target, const Fill& fill, const Check& check, QString* why);

// Seals the checked plain backup plain into destination for recipient (the
// clinic key), and opens it again before it takes destination's place: the
// bytes it opens to must be those of plain, which passed the restore's own
// check, so a sealed backup that is reported made restores. The reopening
// uses a second recipient, a key made for this one backup and forgotten once
// the file is checked; the age header's MAC, which covers every recipient's
// line, proves the clinic key's line is as age wrote it.
bool sealCheckedBackup(const QString& plain, const QString& destination, const QString& recipient,
                       QString* why);

// Opens the sealed backup at sealed with identity into the file stagePath
// (a PrivateStage's). On failure the stage may hold part of the file; its
// owner removes it. failure tells a wrong key from a damaged file.
bool unseal(const QString& sealed, const Secret& identity, const QString& stagePath,
            AgeTool::Failure* failure, QString* why);

// The Persian sentence for a file named as sealed that is a plain backup.
QString plainNamedSealedText();

} // namespace SealedBackup

} // namespace velmora
