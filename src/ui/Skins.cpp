#include "ui/Skins.h"

#include "data/TextNumber.h"
#include "platform/Folders.h"

#include <QFile>
#include <QWidget>
#include <cmath>

namespace velmora {

QString skinFileFor(double themeNumber, SkinTable table) {
    static const char* const files[11] = {
        "chizh.skn",      "Green.skn",    "galaxy.skn", "_temp.skn",   "B-Studio.skn",  "Mac.skn",
        "O-Universe.skn", "metallic.skn", "Paper.skn",  "winaqua.skn", "office2007.skn"};
    if (themeNumber < 1 || themeNumber > 11 || std::floor(themeNumber) != themeNumber)
        return QString();
    const int n = static_cast<int>(themeNumber);
    if (n == 7 && table == SkinTable::BackupWindow)
        return QStringLiteral("Zippo.skn");
    return QString::fromLatin1(files[n - 1]);
}

SkinEngine::SkinEngine(QWidget* window) : QObject(window) {
    setObjectName(QStringLiteral("Skin1"));
}

bool SkinEngine::loadSkin(const QString& fileName) {
    m_file.clear();
    m_styleSheet.clear();
    QFile f(resourceFile(fileName));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    m_styleSheet = QString::fromUtf8(f.readAll());
    m_file = fileName;
    return true;
}

void SkinEngine::applyTo(QWidget* window) const {
    window->setStyleSheet(m_styleSheet);
}

QString ApplyTheme(QWidget* window, const QString& themeNumberText, SkinEngine* skin,
                   SkinTable table) {
    const QString file = skinFileFor(leadingNumber(themeNumberText), table);
    if (!file.isEmpty())
        skin->loadSkin(file);
    skin->applyTo(window);
    return skin->loadedFile();
}

} // namespace velmora
