#pragma once

#include "data/SubjectStore.h"

#include <QDialog>
#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The test window: the subject answers the items one at a time on a five-point
// scale, and each answer goes into the field of the subject's answer sheet
// that is named by the item number.
//
// The main window keeps one instance, hidden between runs; it restricts the
// data controls Adodc2 (Answer) and Adodc3 (IDE) to one subject code and shows
// the window modally. A run ends by closing the window, after which the main
// window replaces it with a fresh hidden one.
class FrmTest : public QDialog {
    Q_OBJECT
public:
    explicit FrmTest(QWidget* parent = nullptr);
    ~FrmTest() override;

    // The existing test window, or nullptr.
    static FrmTest* instance();
    // The existing test window, or a new hidden one (its load steps run).
    static FrmTest* loaded();
    // What the operator is told when the sheet was also changed at another
    // workstation while this window was open (both administrations kept).
    static QString changedElsewhereText();

    // --- Handlers ---
    void Command1_Click(); // start
    void Text6_Change();   // item number box
    void CmdNext_Click();
    void CmdBack_Click();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Option5_Click();
    void Command5_Click(); // save and exit
    void Command2_Click(); // exit

    // Selects the option of the answer the value box holds.
    void ShowStoredAnswer();

    // Data controls.
    DataControl* Adodc1 = nullptr; // Theme
    DataControl* Adodc2 = nullptr; // Answer: the subject's answer sheet
    DataControl* Adodc3 = nullptr; // IDE: the subject's registration row
    DataControl* Adodc4 = nullptr; // Answer
    DataControl* Adodc5 = nullptr; // IDE
    SkinEngine* Skin1 = nullptr;

    SkinLabel* SkinLabel3 = nullptr; // title
    SkinLabel* SkinLabel4 = nullptr; // instructions
    SkinLabel* SkinLbl5 = nullptr;   // the current item's text
    QLineEdit* Text6 = nullptr;      // item number
    QLineEdit* Text2 = nullptr;      // theme number (hidden)
    QLineEdit* Text13 = nullptr;     // IDE.FName of Adodc5 (hidden)
    QLineEdit* Text15 = nullptr;     // Answer.ID (hidden)

    // Subject frame.
    QGroupBox* Frame1 = nullptr;
    SkinLabel* SkinLbl = nullptr;
    SkinLabel* SkinLabel1 = nullptr;
    std::array<SkinLabel*, 7> SkinLabel2{};
    QLineEdit* Text1 = nullptr;  // Code (read-only)
    QLineEdit* Text3 = nullptr;  // FName
    QLineEdit* Text4 = nullptr;  // LName
    QLineEdit* Text10 = nullptr; // Jens
    QLineEdit* Text5 = nullptr;  // Sen
    QLineEdit* Text11 = nullptr; // Taahol
    QLineEdit* Text7 = nullptr;  // Tahsil
    QLineEdit* Text8 = nullptr;  // Date
    QLineEdit* Text9 = nullptr;  // Time

    // Options frame.
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option1 = nullptr; // 5
    QRadioButton* Option2 = nullptr; // 4
    QRadioButton* Option3 = nullptr; // 3
    QRadioButton* Option4 = nullptr; // 2
    QRadioButton* Option5 = nullptr; // 1
    QLineEdit* Text12 = nullptr;     // answer value (never shown)

    QPushButton* CmdBack = nullptr;
    QPushButton* CmdNext = nullptr;
    QPushButton* Command1 = nullptr; // start
    QPushButton* Command5 = nullptr; // save and exit
    QPushButton* Command2 = nullptr; // exit

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildSubjectFrame();
    void buildOptionsFrame();
    void Form_Load();
    void showItem(int number);
    void bindAnswerBox(int number);
    void step(int delta);
    bool storeSheet();
    bool saveSheet();
    bool saveBothRows();
    void reportFailedSave(const QString& detail, StoreFailure failure = StoreFailure::Other);
    void refreshAll();
    void endRun();

    bool m_ending = false;
    // Another workstation changed the sheet while this run had it open.
    bool m_changedElsewhere = false;
};

} // namespace velmora
