#include "app/DataFolder.h"

#include "data/DirectionalText.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace velmora {

namespace {

// An earlier build ran from its own folder, skins beside it, and kept its DBM
// there too. An installed executable (in /usr/bin, say) never counts.
bool holdsLegacyData(const QString& executableFolder) {
    if (executableFolder.isEmpty() ||
        findResourceFolder(executableFolder) != QDir(executableFolder).absolutePath())
        return false;
    const QDir folder(executableFolder);
    for (const QString& entry : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (entry.compare(QLatin1String("DBM"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString folderMessage(const QString& folder, const QString& detail) {
    return QStringLiteral("پوشه اطلاعات برنامه آماده نشد:\n%1\n\n%2")
        .arg(isolatedPath(folder), detail);
}

} // namespace

QString chooseDataFolder(const QString& option, const QString& variable,
                         const QString& executableFolder, const QString& userDataFolder) {
    QString chosen;
    if (!option.isEmpty())
        chosen = option;
    else if (!variable.isEmpty())
        chosen = variable;
    else if (holdsLegacyData(executableFolder))
        chosen = executableFolder;
    else
        chosen = userDataFolder;
    return QDir::cleanPath(QDir::current().absoluteFilePath(chosen));
}

bool prepareDataFolder(const QString& folder, QString* error) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        *error = folderMessage(folder, QStringLiteral("اين نام پرونده است، نه پوشه."));
        return false;
    }
    if (!info.exists()) {
        if (!QDir().mkpath(folder)) {
            *error = folderMessage(folder, QStringLiteral("پوشه ساخته نشد."));
            return false;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // The backup dialogs open in Back.
    const QString back = QDir(folder).filePath(QStringLiteral("Back"));
    if (!QFileInfo::exists(back) && QDir().mkpath(back))
        QFile::setPermissions(back, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Writing is what the program will do there: try it rather than trust the
    // permission bits (a read-only mount, another user's folder).
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".velmora-write-XXXXXX")));
    if (!probe.open()) {
        *error = folderMessage(folder,
                               QStringLiteral("در اين پوشه نمي توان نوشت: ") + probe.errorString());
        return false;
    }
    return true;
}

} // namespace velmora
