#include "platform/Folders.h"

#include <QDir>
#include <QFileInfo>

namespace velmora {

namespace {

QString& installedFolder() {
    static QString folder;
    return folder;
}

// One skin every resource folder holds.
bool holdsResources(const QString& folder) {
    return QFileInfo::exists(QDir(folder).filePath(QStringLiteral("office2007.skn")));
}

} // namespace

QString resourceFolder() {
    return installedFolder().isEmpty() ? QDir::currentPath() : installedFolder();
}

void setResourceFolder(const QString& folder) {
    installedFolder() = folder;
}

QString resourceFile(const QString& relative) {
    return QDir(resourceFolder()).absoluteFilePath(relative);
}

QString findResourceFolder(const QString& executableFolder) {
    if (holdsResources(executableFolder))
        return QDir(executableFolder).absolutePath();
    QString shared =
        QDir::cleanPath(QDir(executableFolder).filePath(QStringLiteral("../share/velmora")));
    if (holdsResources(shared))
        return shared;
    return QString();
}

} // namespace velmora
