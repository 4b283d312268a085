#pragma once

#include <QWidget>
#include <array>

class DataControl;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
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
    void Command2_Click(); // test launch
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command9_Click();
    void Command12_Click();
    void Command69_Click();
    void Picture1_Click();
    // --- Registration panel ---
    void Command1_Click();
    void Command8_Click();
    void Command10_Click();
    // --- Settings: theme and clinic panels ---
    void Command67_Click();
    void Command68_Click();
    void Command46_Click();
    void Command64_Click();
    void Command7_Click();
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
    QLineEdit* Text3 = nullptr; // unload mode flag (hidden)

    // Settings panel.
    QGroupBox* Frame8 = nullptr;
    QPushButton* Command68 = nullptr;
    QPushButton* Command67 = nullptr;
    QPushButton* Command69 = nullptr;
    QPushButton* Command66 = nullptr;
    QPushButton* Command65 = nullptr;

    // Registration panel.
    QGroupBox* Frame10 = nullptr;
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

    // Theme panel.
    QGroupBox* Frame6 = nullptr;
    std::array<QPushButton*, 12> themeButtons{}; // index = theme number 1..11
    QPushButton* Command46 = nullptr;

    // Clinic panel.
    QGroupBox* Frame9 = nullptr;
    SkinLabel* SkinLabel4 = nullptr;
    QLineEdit* Text2 = nullptr; // Name
    SkinLabel* SkinLabel5 = nullptr;
    QLineEdit* Text14 = nullptr; // Adress
    QPushButton* Command64 = nullptr;
    QPushButton* Command7 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildSettingsPanel();
    void buildRegistrationPanel(); // registry/
    void buildThemePanel();        // settings/
    void buildClinicPanel();       // settings/
    void Form_Load();
    void Form_Unload();
    void showHint(QPushButton* button);
    void hideHint();
    void showPanel(QGroupBox* panel, int height, int left, int top, int width);

    bool m_unloaded = false;
};

// Makes a button with the form font, named and placed in twips.
QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent, int left,
                        int top, int width, int height);
// Makes a text box with the form font, named and placed in twips.
QLineEdit* makeTextBox(const QString& name, QWidget* parent, int left, int top, int width,
                       int height, Qt::Alignment alignment = Qt::AlignRight);
// A hidden text box that only carries a bound field.
QLineEdit* makeHiddenBox(const QString& name, QWidget* parent);
// A frame (panel) without a caption.
QGroupBox* makeFrame(const QString& name, QWidget* parent);
