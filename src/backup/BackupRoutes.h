#pragma once

#include "backup/BackupFiles.h"
#include "data/SubjectStore.h"

#include <QList>
#include <QString>
#include <functional>

namespace velmora {

// Backup and restore of the subject store, plain or sealed with the clinic
// key: the one sequence the backup window and the commands both go, the same
// for the file and the server. The caller takes part through a Participant:
// the window keeps itself alive and asks the operator; a command asks what it
// can on the terminal.
namespace BackupRoutes {

struct Participant {
    // Between the chunks of a copy, on the calling thread.
    CopyProgress progress;
    // Runs a long step that touches no connection of the run (a check,
    // sealing, opening) and returns its result; the window runs it beside
    // itself. Empty: run here.
    std::function<bool(const std::function<bool(QString* why)>& step, QString* why)> aside;
    // Other workstations are connected to the store a restore replaces:
    // true goes on. Empty: go on.
    std::function<bool(const QList<Workstation>& others)> despiteOthers;
    // Asks for the passphrase of the clinic key or a recovery key for a
    // sealed backup; false when none was given.
    std::function<bool(QString* typed)> askKey;
    // The subjects before a restore could not be kept (reason): true
    // restores without them. Empty: no restore without them.
    std::function<bool(const QString& reason)> withoutSafetyCopy;
};

enum class Outcome {
    Done,
    NotReleased, // another program holds the subject file; why says so
    Declined,    // stopped on the participant's word; why may say why
    Failed,      // why says what went wrong; nothing was changed
};

// The Persian sentence refusing a backup into path when path is a file the
// program keeps (the settings, the clinic key); empty when path may be used.
QString refusedTarget(const QString& path);

// A checked backup of the subject store at destination: the store is
// released, a snapshot of it copied and the copy checked as a restore would
// check it; only then does it take destination's place. With a recipient
// (the clinic key), the checked copy is made in a private place and sealed
// into destination, which is opened again and compared before it counts.
Outcome backUp(const QString& destination, const QString& recipient, const Participant& participant,
               QString* why);

// A checked plain backup, for those that need no participant.
bool makeCheckedPlainBackup(const QString& destination, const CopyProgress& progress, QString* why);

// What a restore did with the subjects it replaced.
struct Restored {
    QString safetyCopy;         // where they were kept, in Back
    bool safetySkipped = false; // not kept, on the participant's word
    bool sealed = false;        // the backup was a sealed one
};

// Replaces the subject store with the backup at path: other workstations are
// named first; a sealed backup is opened into a private place with the key
// the participant gives; the (opened) backup is copied beside the store and
// checked as every restore checks it; the current subjects are kept in Back;
// only then does the copy replace the store. Anything short of that leaves
// the store untouched.
Outcome restore(const QString& path, const Participant& participant, Restored* restored,
                QString* why);

} // namespace BackupRoutes

} // namespace velmora
