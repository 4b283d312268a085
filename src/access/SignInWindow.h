#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The sign-in: an operator's name, then the password; Return signs in. It
// opens before the main window once operators are set up, covers the
// program while it is locked, and guards the test window's way out when a
// subject has the keyboard.
class SignInWindow : public QDialog {
    Q_OBJECT
public:
    enum class Purpose {
        Start,     // before the main window; leaving ends the program
        Unlock,    // the program is locked; leaving ends the program
        LeaveTest, // the test window is to be left before it was saved
    };
    explicit SignInWindow(Purpose purpose, QWidget* parent = nullptr);

    // Shows the window modally over owner until an operator has signed in
    // (true) or it is left (false).
    static bool signIn(Purpose purpose, QWidget* owner);

    Purpose purpose() const { return m_purpose; }

    // --- Handlers ---
    void signInClick();
    void leaveClick();

    DataControl* Adodc1 = nullptr; // Theme
    SkinEngine* Skin1 = nullptr;
    QLineEdit* Text1 = nullptr; // theme number (hidden)
    SkinLabel* purposeLabel = nullptr;
    SkinLabel* nameLabel = nullptr;
    SkinLabel* passwordLabel = nullptr;
    QLineEdit* nameBox = nullptr;
    QLineEdit* passwordBox = nullptr;
    QPushButton* signInButton = nullptr;
    QPushButton* leaveButton = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Purpose m_purpose;
    bool m_leaving = false;
};

} // namespace velmora
