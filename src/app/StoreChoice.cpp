#include "app/StoreChoice.h"

#include "data/StoreUrl.h"
#include "data/SubjectStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace velmora {

QStringList storeConfigFiles(const QString& dataFolder) {
    return {QDir(dataFolder).filePath(QStringLiteral("velmora.conf")),
            QStringLiteral("/etc/velmora/velmora.conf")};
}

bool chooseSubjectStore(const QString& commandLine, const QString& environment,
                        const QStringList& configFiles, QString* error) {
    QString text = commandLine.trimmed();
    QString source = QStringLiteral("--database");
    if (text.isEmpty()) {
        text = environment.trimmed();
        source = QStringLiteral("VELMORA_DATABASE");
    }
    for (const QString& file : configFiles) {
        if (!text.isEmpty())
            break;
        if (!QFileInfo(file).isFile())
            continue;
        const QSettings settings(file, QSettings::IniFormat);
        text = settings.value(QStringLiteral("database")).toString().trimmed();
        source = QDir::toNativeSeparators(file);
    }
    if (text.isEmpty()) {
        SubjectStore::install(SubjectStore::file());
        return true;
    }
    StoreUrl url;
    QString why;
    if (!parseStoreUrl(text, &url, &why)) {
        *error = QStringLiteral("نشاني سرور پايگاه داده (%1) درست نيست:\n%2").arg(source, why);
        return false;
    }
    SubjectStore::install(SubjectStore::server(url));
    return true;
}

} // namespace velmora
