#include "backup/BackupRoutes.h"

#include "backup/SealedBackup.h"
#include "backup/StoreCopy.h"
#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace velmora {

namespace BackupRoutes {

bool makeCheckedPlainBackup(const QString& destination, const BackupFiles::ChunkHook& progress,
                            QString* why) {
    if (Database::subjectsOnServer())
        return exportStoreToFile(destination, progress, why);
    if (!BackupFiles::releaseSubjectDatabase(why))
        return false;
    const QString database = BackupFiles::subjectDatabase();
    BackupFiles::CopySteps steps;
    steps.betweenChunks = progress;
    steps.sourceIsDatabase = true;
    steps.acceptCopy = [database, destination](const QString& copy, QString* reason) {
        return BackupFiles::checkBackupCopy(copy, database, destination, reason);
    };
    return BackupFiles::copyFile(database, destination, steps, why);
}

bool keepCurrentSubjects(const QString& folder, const BackupFiles::ChunkHook& progress,
                         QString* kept, QString* why) {
    // Nothing may have the database open when it is copied and replaced.
    Database::close(DbFile::Subjects);
    kept->clear();
    const bool onServer = Database::subjectsOnServer();
    const QString database = BackupFiles::subjectDatabase();
    if (!onServer && !QFileInfo::exists(database))
        return true;
    QDir().mkpath(folder);
    const QString path = BackupFiles::safetyCopyPath(folder, QDateTime::currentDateTime());
    BackupFiles::CopySteps steps;
    steps.betweenChunks = progress;
    steps.sourceIsDatabase = true;
    // The server's tables are kept as a subject file like any other.
    const bool copied = onServer ? exportStoreToFile(path, progress, why)
                                 : BackupFiles::copyFile(database, path, steps, why);
    if (copied)
        *kept = path;
    return copied;
}

bool restoreFromPlainFile(const QString& plain, const BackupFiles::ChunkHook& progress,
                          const BackupFiles::ReplaceStep& beforeReplace, QString* why) {
    if (!Database::subjectsOnServer()) {
        if (!BackupFiles::releaseSubjectDatabase(why))
            return false;
        BackupFiles::CopySteps steps;
        steps.betweenChunks = progress;
        steps.acceptCopy = BackupFiles::checkRestoreCopy;
        steps.beforeReplace = beforeReplace;
        return BackupFiles::copyFile(plain, BackupFiles::subjectDatabase(), steps, why);
    }
    // On a server the file is first copied into a private place and checked
    // there, as a restore of the file checks its copy; the tables are then
    // replaced from that copy in one transaction.
    SealedBackup::PrivateStage stage(QStringLiteral("restore"));
    if (!stage.create(why))
        return false;
    BackupFiles::CopySteps staging;
    staging.betweenChunks = progress;
    staging.acceptCopy = BackupFiles::checkRestoreCopy;
    if (!BackupFiles::copyFile(plain, stage.path(), staging, why))
        return false;
    stage.hold();
    if (beforeReplace && !beforeReplace(why))
        return false;
    return importFileToStore(stage.path(), progress, why);
}

} // namespace BackupRoutes

} // namespace velmora
