#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace velmora {

// Which skin file a window loads for a theme number.
enum class SkinTable {
    Standard,
    BackupWindow, // the backup window draws theme 7 with "Zippo.skn"
};

// The skin file of theme number 1..11, or the empty text for any other number.
QString skinFileFor(double themeNumber, SkinTable table = SkinTable::Standard);

// A window's skin engine (objectName "Skin1"): loads a skin file (a Qt style
// sheet beside the program) and draws a window in it. With no skin loaded, or
// a skin file that is missing or unreadable, the window keeps the plain look.
class SkinEngine : public QObject {
    Q_OBJECT
public:
    explicit SkinEngine(QWidget* window);

    bool loadSkin(const QString& fileName);
    void applyTo(QWidget* window) const;

    // The file loaded last (empty when none was loaded).
    QString loadedFile() const { return m_file; }

private:
    QString m_file;
    QString m_styleSheet;
};

// The skin step of a window's load steps: reads the theme number from the text
// of the window's theme number box, loads that theme's skin file into skin (no
// file for a number outside 1..11, fractions included) and applies the skin to
// the window either way. Returns the file loaded, or the empty text.
QString ApplyTheme(QWidget* window, const QString& themeNumberText, SkinEngine* skin,
                   SkinTable table = SkinTable::Standard);

} // namespace velmora
