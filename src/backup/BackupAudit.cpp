#include "backup/BackupAudit.h"

#include "access/Audit.h"

#include <QFileInfo>

namespace velmora {

namespace BackupAudit {

namespace {

QString nameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

bool recordBackup(const QString& destination, QString* why) {
    return Audit::recordAlone(Action::Backup, QString(), Outcome::Done, nameOf(destination), why);
}

void anchorBackup(const QString& destination) {
    qint64 seq = 0;
    QString hash, first, ignored;
    Audit::keepAnchor(QStringLiteral("پشتيبان ") + nameOf(destination), &seq, &hash, &first,
                      &ignored);
}

bool recordRestore(const QString& source, const QString& safetyCopy, QString* why) {
    const QString detail =
        safetyCopy.isEmpty()
            ? QStringLiteral("از %1؛ بدون نسخه نگه داشته").arg(nameOf(source))
            : QStringLiteral("از %1؛ نسخه نگه داشته: %2").arg(nameOf(source), nameOf(safetyCopy));
    return Audit::recordAlone(Action::Restore, QString(), Outcome::Done, detail, why);
}

void recordFailure(bool restore, const QString& file) {
    Audit::recordAlone(restore ? Action::Restore : Action::Backup, QString(), Outcome::Failed,
                       nameOf(file));
}

} // namespace BackupAudit

} // namespace velmora
