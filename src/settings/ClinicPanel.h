#pragma once

#include <QGroupBox>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinLabel;

// The clinic panel of the main window (Frame9): the clinic's name and address,
// stored through the main window's theme data control. The title line follows
// the name box.
class ClinicPanel : public QGroupBox {
    Q_OBJECT
public:
    ClinicPanel(QWidget* mainWindow, DataControl* theme, QLabel* titleLine);

    void open();
    void Command64_Click(); // store
    void Command7_Click();  // cancel

    SkinLabel* SkinLabel4 = nullptr;
    QLineEdit* Text2 = nullptr; // Name
    SkinLabel* SkinLabel5 = nullptr;
    QLineEdit* Text14 = nullptr; // Adress
    QPushButton* Command64 = nullptr;
    QPushButton* Command7 = nullptr;

private:
    DataControl* m_theme;
};

} // namespace velmora
