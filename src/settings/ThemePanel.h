#pragma once

#include <QGroupBox>
#include <array>

class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;

// The theme panel of the main window (Frame6): one button per theme.
class ThemePanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ThemePanel(QWidget* mainWindow);

    void open();
    void Command46_Click();

    std::array<QPushButton*, 12> themeButtons{}; // index = theme number 1..11
    QPushButton* Command46 = nullptr;

signals:
    void themeChosen(int number);
};

// Stores the chosen theme through the main window's theme data control and
// its theme box, marking the coming unload as part of the theme change
// (unloadMode "1"). False when it could not be stored: the failure has been
// reported, the unload mode is back to "2" and nothing changed.
bool storeThemeChoice(int number, DataControl* theme, QLineEdit* themeBox, QLineEdit* unloadMode);

} // namespace velmora
