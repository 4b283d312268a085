#pragma once

#include <QGroupBox>

class QPushButton;

namespace velmora {

// The settings panel of the main window (Frame8): the ways to the theme and
// clinic panels. What its buttons open is the main window's wiring.
class SettingsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit SettingsPanel(QWidget* mainWindow);

    // Opens the panel at its place.
    void open();

    QPushButton* Command68 = nullptr; // theme
    QPushButton* Command67 = nullptr; // clinic name
    QPushButton* Command69 = nullptr; // close
    QPushButton* Command66 = nullptr; // blank
    QPushButton* Command65 = nullptr; // blank
};

} // namespace velmora
