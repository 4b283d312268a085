#pragma once

#include "registry/RegistrationPanel.h"
#include "settings/ClinicPanel.h"
#include "settings/SettingsPanel.h"
#include "settings/ThemePanel.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The main window: menu, the four panels, title and hint lines. It is the hub
// every other window is opened from, and it is unloaded and created again
// during a theme change and when the operator cancels leaving.
class Frm1 : public QWidget {
    Q_OBJECT
public:
    explicit Frm1(QWidget* parent = nullptr);
    ~Frm1() override;

    // The loaded main window, or nullptr while it is unloaded.
    static Frm1* instance();
    // Shows the main window, creating it (and running its load steps) when it
    // is unloaded.
    static Frm1* showMain();

    // Closes whatever panel is open and drops an unsaved new subject record.
    void HidePanels();

    // --- Handlers (the menu and shell) ---
    void Command1_Click(); // registration
    void Command2_Click(); // test launch
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command9_Click();
    void Command12_Click();
    void Command69_Click();
    // The operators and the audit trail (admins).
    void operatorsClick();
    void auditClick();
    void Picture1_Click();
    // --- Settings: opening the theme and clinic panels ---
    void Command67_Click();
    void Command68_Click();
    void changeTheme(int number);

    // Data controls (see the table of the main window).
    DataControl* Adodc1 = nullptr; // Theme
    DataControl* Adodc2 = nullptr; // IDE: the registration data set
    DataControl* Adodc3 = nullptr; // Answer: the answer-sheet data set
    DataControl* Adodc4 = nullptr; // Answer
    DataControl* Adodc5 = nullptr; // IDE: the duplicate-code check
    SkinEngine* Skin1 = nullptr;

    // Window controls.
    SkinLabel* SkinLabel1 = nullptr; // title line: the clinic name
    SkinLabel* SkinLabel2 = nullptr; // hint line
    QLabel* Picture1 = nullptr;
    QLineEdit* Text1 = nullptr; // theme number (hidden)

    // Menu panel.
    QGroupBox* Frame7 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command12 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* operatorsButton = nullptr;
    QPushButton* auditButton = nullptr;
    QLineEdit* Text3 = nullptr; // unload mode flag (hidden)

    // The panels, each a class of its feature.
    SettingsPanel* Frame8 = nullptr;
    RegistrationPanel* Frame10 = nullptr;
    ThemePanel* Frame6 = nullptr;
    ClinicPanel* Frame9 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildPanels();
    void Form_Load();
    void Form_Unload();
    void showHint(QPushButton* button);
    void hideHint();
    // True while the table Answer holds no record.
    bool noAnswerSheets();

    bool m_unloaded = false;
};

} // namespace velmora
