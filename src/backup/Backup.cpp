#include "backup/Backup.h"

#include "platform/Platform.h"

namespace velmora {

namespace {
bool s_running = false;
}

QString copyFailureText(const QString& description) {
    return QStringLiteral("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral("\r\n") + description;
}

int CopyBackupFile(const QString& source, const QString& destination, QWidget* owner,
                   const BackupFiles::CopySteps& steps) {
    if (s_running)
        return 0;
    s_running = true;
    QString why;
    const bool copied = BackupFiles::copyFile(source, destination, steps, &why);
    s_running = false;
    if (copied)
        return 1;
    // A copy the operator chose to stop has nothing to report.
    if (why.isEmpty())
        return 0;
    platform().messageBox(owner, applicationTitle(), copyFailureText(why), QMessageBox::Critical,
                          QMessageBox::Ok);
    return 0;
}

bool backupCopyRunning() {
    return s_running;
}

} // namespace velmora
