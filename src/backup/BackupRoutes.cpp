#include "backup/BackupRoutes.h"

#include "backup/BackupAudit.h"
#include "backup/ClinicKey.h"
#include "backup/SealedBackup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <memory>

namespace velmora {

namespace BackupRoutes {

namespace {

bool run(const Participant& participant, const std::function<bool(QString*)>& step, QString* why) {
    return participant.aside ? participant.aside(step, why) : step(why);
}

// The subjects a restore replaces are kept in Back first, so that a wrong
// restore can be undone. False with outcome set when the restore must stop.
bool keepSafetyCopy(SubjectStore& store, const Participant& participant, Restored* restored,
                    Outcome* outcome, QString* why) {
    // Nothing may have the store open when it is copied and replaced, not
    // even a window that used it while the backup was being copied.
    if (!store.release(why)) {
        *outcome = Outcome::Failed;
        return false;
    }
    const QString folder = BackupFiles::backupFolder();
    QDir().mkpath(folder);
    const QString kept = BackupFiles::safetyCopyPath(folder, QDateTime::currentDateTime());
    QString reason;
    bool copied = false;
    std::unique_ptr<StoreSnapshot> snapshot = store.snapshot(folder, participant.progress, &reason);
    // A store with nothing in it yet (no subject file) has nothing to keep.
    if (snapshot && !QFileInfo::exists(snapshot->path()))
        return true;
    if (snapshot) {
        BackupFiles::CopySteps steps;
        steps.betweenChunks = participant.progress;
        copied = BackupFiles::copyFile(snapshot->path(), kept, steps, &reason);
    }
    snapshot.reset();
    if (copied) {
        restored->safetyCopy = kept;
        return true;
    }
    // The copy is only a way back from a wrong restore; the restore may go
    // without it, but only on the participant's word.
    if (participant.withoutSafetyCopy && participant.withoutSafetyCopy(reason)) {
        restored->safetySkipped = true;
        return true;
    }
    *outcome = Outcome::Declined;
    *why = QStringLiteral("پايگاه داده فعلي در پوشه Back نگه داشته نشد: ") + reason;
    return false;
}

} // namespace

QString refusedTarget(const QString& path) {
    // Writing a subject backup over the settings would leave the program
    // without its theme and clinic record; over the clinic key, without the
    // backups sealed with it.
    if (BackupFiles::sameFile(path, BackupFiles::settingsDatabase()))
        return QStringLiteral("نسخه پشتيبان نمي تواند جاي پايگاه داده تنظيمات را بگيرد.");
    if (BackupFiles::sameFile(path, ClinicKey::sealedKeyPath()))
        return QStringLiteral("نسخه پشتيبان نمي تواند جاي کليد مرکز را بگيرد.");
    return QString();
}

Outcome backUp(const QString& destination, const QString& recipient, const Participant& participant,
               QString* why) {
    *why = refusedTarget(destination);
    if (!why->isEmpty())
        return Outcome::Failed;
    const bool sealed = !recipient.isEmpty();
    if (sealed) {
        *why = AgeTool::missingTools();
        if (!why->isEmpty())
            return Outcome::Failed;
    }
    SubjectStore& store = SubjectStore::current();
    if (!store.release(why))
        return Outcome::NotReleased;
    // The copy is made from one consistent picture of the subject tables (the
    // file held still, or the server's tables as of one moment), then checked
    // as a restore would check it: only a copy that can be brought back counts
    // as a backup. A sealed backup is that copy, made in a private place and
    // sealed.
    std::unique_ptr<StoreSnapshot> snapshot =
        store.snapshot(BackupFiles::backupFolder(), participant.progress, why);
    if (!snapshot)
        return Outcome::Failed;
    SealedBackup::PrivateStage stage(QStringLiteral("sealing"));
    if (sealed && !stage.create(why))
        return Outcome::Failed;
    const QString source = snapshot->path();
    const QString copy = sealed ? stage.path() : destination;
    BackupFiles::CopySteps steps;
    steps.betweenChunks = participant.progress;
    steps.acceptCopy = [&participant, source, copy](const QString& made, QString* reason) {
        return run(
            participant,
            [source, copy, made](QString* r) {
                return BackupFiles::checkBackupCopy(made, source, copy, r);
            },
            reason);
    };
    // The backup is recorded once its copy has been checked, before it takes
    // its name: a backup nobody could record is not made.
    bool recorded = false;
    if (!sealed)
        steps.beforeReplace = [&destination, &recorded](QString* reason) {
            recorded = BackupAudit::recordBackup(destination, reason);
            return recorded;
        };
    if (!BackupFiles::copyFile(source, copy, steps, why)) {
        if (recorded)
            BackupAudit::recordFailure(false, destination);
        return Outcome::Failed;
    }
    snapshot.reset();
    if (sealed) {
        stage.hold();
        if (!BackupAudit::recordBackup(destination, why))
            return Outcome::Failed;
        if (!run(
                participant,
                [&](QString* reason) {
                    return SealedBackup::sealCheckedBackup(copy, destination, recipient, reason);
                },
                why)) {
            BackupAudit::recordFailure(false, destination);
            return Outcome::Failed;
        }
    }
    BackupAudit::anchorBackup(destination);
    return Outcome::Done;
}

bool makeCheckedPlainBackup(const QString& destination, const CopyProgress& progress,
                            QString* why) {
    Participant participant;
    participant.progress = progress;
    return backUp(destination, QString(), participant, why) == Outcome::Done;
}

Outcome restore(const QString& path, const Participant& participant, Restored* restored,
                QString* why) {
    *restored = Restored();
    why->clear();
    SubjectStore& store = SubjectStore::current();
    // On a shared server every workstation's subjects are replaced: whoever
    // is at work elsewhere is named first.
    QString unasked;
    const QList<Workstation> others = store.otherWorkstations(&unasked);
    if (!others.isEmpty() && participant.despiteOthers && !participant.despiteOthers(others))
        return Outcome::Declined;
    // The subject file itself is not a backup of itself.
    if (BackupFiles::sameFile(path, BackupFiles::subjectDatabase())) {
        *why = QStringLiteral("فايل را نمي توان روي خودش کپي کرد.");
        return Outcome::Failed;
    }
    if (!store.release(why))
        return Outcome::NotReleased;

    // A sealed backup is opened into a private place first; the plain file
    // there is then restored as any other, and goes with the stage.
    SealedBackup::PrivateStage stage(QStringLiteral("unsealed"));
    QString source = path;
    const SealedBackup::Content content = SealedBackup::lookAt(path);
    if (content == SealedBackup::Content::Sealed ||
        (SealedBackup::hasSealedName(path) && content != SealedBackup::Content::Unreadable)) {
        if (content != SealedBackup::Content::Sealed) {
            *why = content == SealedBackup::Content::SubjectFile
                       ? SealedBackup::plainNamedSealedText()
                       : QStringLiteral("اين فايل نسخه پشتيبان رمزگذاري شده نيست يا آسيب ديده "
                                        "است.");
            return Outcome::Failed;
        }
        QString typed;
        if (!participant.askKey || !participant.askKey(&typed) || typed.isEmpty()) {
            wipeText(&typed);
            return Outcome::Declined;
        }
        const bool opened = run(
            participant,
            [&](QString* reason) {
                Secret identity;
                AgeTool::Failure failure = AgeTool::Failure::None;
                return ClinicKey::identityFromTyped(&typed, &identity, reason) &&
                       stage.create(reason) &&
                       SealedBackup::unseal(path, identity, stage.path(), &failure, reason);
            },
            why);
        wipeText(&typed);
        if (!opened)
            return Outcome::Failed;
        source = stage.path();
        restored->sealed = true;
    }

    // The backup is copied beside the subject tables and replaces them only
    // when it proves to be a whole subject database, after the current tables
    // have been kept in Back: a wrong or damaged file can never cost the
    // clinic its data, and a wrong restore can be undone.
    QDir().mkpath(store.stagingFolder());
    const QString staged =
        QDir(store.stagingFolder())
            .filePath(QStringLiteral(".restore.%1.staged")
                          .arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
    struct StagedCopy {
        QString path;
        ~StagedCopy() { QFile::remove(path); }
    } stagedCopy{staged};
    BackupFiles::CopySteps steps;
    steps.betweenChunks = participant.progress;
    steps.acceptCopy = [&participant](const QString& copy, QString* reason) {
        return run(
            participant, [copy](QString* r) { return BackupFiles::checkRestoreCopy(copy, r); },
            reason);
    };
    if (!BackupFiles::copyFile(source, staged, steps, why))
        return why->isEmpty() ? Outcome::Declined : Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    if (!keepSafetyCopy(store, participant, restored, &outcome, why))
        return outcome;
    // The restore is recorded, with the copy kept, before the store is
    // replaced: a restore nobody could record is not done.
    if (!BackupAudit::recordRestore(path, restored->safetyCopy, why))
        return Outcome::Failed;
    if (!store.replaceWith(staged, participant.progress, why)) {
        BackupAudit::recordFailure(true, path);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

} // namespace BackupRoutes

} // namespace velmora
