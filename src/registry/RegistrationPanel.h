#pragma once

#include <QGroupBox>
#include <array>
#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinLabel;

// The registration panel of the main window (Frame10): a new subject's record
// in IDE and the empty answer sheet that goes with it. The data controls are
// the main window's; the panel only binds its boxes to them.
class RegistrationPanel : public QGroupBox {
    Q_OBJECT
public:
    struct Controls {
        DataControl* subjects = nullptr;   // Adodc2: the registration data set
        DataControl* sheets = nullptr;     // Adodc3: the answer-sheet data set
        DataControl* sheetCodes = nullptr; // Adodc4
        DataControl* duplicates = nullptr; // Adodc5: the duplicate-code check
    };
    // hidePanels closes every panel of the main window (and drops an unsaved
    // new record), as a stored or cancelled registration does.
    RegistrationPanel(QWidget* mainWindow, const Controls& controls,
                      std::function<void()> hidePanels);

    // Opens the panel with a new record: today's solar date and the time.
    void open();

    // --- Handlers ---
    void Command8_Click();  // store
    void Command10_Click(); // cancel

    QLineEdit* Text11 = nullptr; // Code
    QLineEdit* Text6 = nullptr;  // FName
    QLineEdit* Text4 = nullptr;  // LName
    QLineEdit* Text5 = nullptr;  // Sen
    QComboBox* Combo1 = nullptr; // marital status
    QLineEdit* Text8 = nullptr;  // Date
    QComboBox* Combo2 = nullptr; // gender
    QComboBox* Combo3 = nullptr; // group
    QLineEdit* Text7 = nullptr;  // Tahsil
    QPushButton* Command8 = nullptr;
    QPushButton* Command10 = nullptr;
    QLineEdit* Text9 = nullptr;  // Time
    QLineEdit* Text15 = nullptr; // Taahol (hidden)
    QLineEdit* Text16 = nullptr; // Jens (hidden)
    QLineEdit* Text17 = nullptr; // Group (hidden)
    QLineEdit* Text12 = nullptr; // Answer.ID (hidden)
    QLineEdit* Text10 = nullptr; // Answer.Code (hidden)
    QLineEdit* Text13 = nullptr; // IDE.FName of the duplicate check (hidden)
    SkinLabel* SkinLbl = nullptr;
    SkinLabel* SkinLabel3 = nullptr;
    std::array<SkinLabel*, 8> SkinLabel21{};

private:
    Controls m_data;
    std::function<void()> m_hidePanels;
};

} // namespace velmora
