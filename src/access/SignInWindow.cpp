#include "access/SignInWindow.h"

#include "access/Roles.h"
#include "access/SignIn.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace {

QString purposeText(SignInWindow::Purpose purpose) {
    switch (purpose) {
    case SignInWindow::Purpose::Start:
        return QStringLiteral("براي کار با ولمورا نام کاربر و رمز خود را وارد کنيد");
    case SignInWindow::Purpose::Unlock:
        return QStringLiteral("برنامه قفل است؛ براي ادامه نام کاربر و رمز را وارد کنيد");
    case SignInWindow::Purpose::LeaveTest:
        return QStringLiteral("براي خروج از تست، يک کاربر نام و رمز خود را وارد کند");
    }
    return QString();
}

QString leaveCaption(SignInWindow::Purpose purpose) {
    return purpose == SignInWindow::Purpose::LeaveTest ? QStringLiteral("بازگشت به تست")
                                                       : QStringLiteral("خروج از برنامه");
}

} // namespace

SignInWindow::SignInWindow(Purpose purpose, QWidget* parent) : QDialog(parent), m_purpose(purpose) {
    setObjectName(QStringLiteral("SignInWindow"));
    setWindowTitle(QStringLiteral("ورود به ولمورا"));
    setClientSize(this, 6615, 3135);
    setFont(formFont());
    setWindowModality(Qt::ApplicationModal);

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Skin1 = new SkinEngine(this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    purposeLabel = new SkinLabel(QStringLiteral("purposeLabel"), purposeText(purpose), this);
    purposeLabel->setWordWrap(true);
    purposeLabel->setAlignment(Qt::AlignCenter);
    place(purposeLabel, 240, 180, 6135, 615);

    // Each caption stands to the right of its box.
    nameBox = makeTextBox(QStringLiteral("nameBox"), this, 1440, 960, 3375, 435, Qt::AlignHCenter);
    nameLabel = new SkinLabel(QStringLiteral("nameLabel"), QStringLiteral(" :نام کاربر"), this);
    place(nameLabel, 4875, 975, 1500, 405);
    passwordBox =
        makeTextBox(QStringLiteral("passwordBox"), this, 1440, 1560, 3375, 435, Qt::AlignHCenter);
    passwordBox->setEchoMode(QLineEdit::Password);
    passwordLabel = new SkinLabel(QStringLiteral("passwordLabel"), QStringLiteral(" :رمز"), this);
    place(passwordLabel, 4875, 1575, 1500, 405);
    nameByCaption(nameBox, nameLabel);
    nameByCaption(passwordBox, passwordLabel);

    signInButton = makeButton(QStringLiteral("signInButton"), QStringLiteral("ورود"), this, 3480,
                              2280, 1335, 555);
    leaveButton = makeButton(QStringLiteral("leaveButton"), leaveCaption(purpose), this, 1440, 2280,
                             1935, 555);
    // Return anywhere signs in; only the leave button is pressed by itself.
    signInButton->setDefault(true);
    leaveButton->setAutoDefault(false);
    setTabOrder(nameBox, passwordBox);
    setTabOrder(passwordBox, signInButton);
    setTabOrder(signInButton, leaveButton);

    connect(signInButton, &QPushButton::clicked, this, &SignInWindow::signInClick);
    connect(leaveButton, &QPushButton::clicked, this, &SignInWindow::leaveClick);

    placeWindow(this, 4350, 3000);
    ApplyTheme(this, Text1->text(), Skin1);
    nameBox->setFocus();
}

bool SignInWindow::signIn(Purpose purpose, QWidget* owner) {
    SignInWindow window(purpose, owner);
    const bool signedIn = window.exec() == QDialog::Accepted;
    if (owner)
        owner->activateWindow();
    return signedIn;
}

void SignInWindow::signInClick() {
    // Name first, then the password: Return in an empty box asks for it.
    if (nameBox->text().isEmpty()) {
        nameBox->setFocus();
        return;
    }
    if (passwordBox->text().isEmpty()) {
        passwordBox->setFocus();
        return;
    }
    const Action action = m_purpose == Purpose::Unlock ? Action::Unlock : Action::SignIn;
    const QString detail =
        m_purpose == Purpose::LeaveTest ? QStringLiteral("براي خروج از تست") : QString();
    const SignIn::Attempt attempt =
        SignIn::attempt(nameBox->text(), passwordBox->text(), action, detail);
    passwordBox->clear();
    if (attempt.result == SignIn::Result::Done) {
        accept();
        return;
    }
    platform().messageBox(this, windowTitle(), attempt.message,
                          attempt.result == SignIn::Result::Failed ? QMessageBox::Critical
                                                                   : QMessageBox::Warning);
    passwordBox->setFocus();
}

void SignInWindow::leaveClick() {
    m_leaving = true;
    reject();
}

void SignInWindow::closeEvent(QCloseEvent* event) {
    // A locked program has no way out but a sign-in or its leave button:
    // nothing behind it may be left in view without a window over it.
    if (m_purpose == Purpose::Unlock && !m_leaving) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void SignInWindow::keyPressEvent(QKeyEvent* event) {
    // Escape goes back to the test; at the start and in a lock it does nothing.
    if (event->key() == Qt::Key_Escape && m_purpose != Purpose::LeaveTest) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace velmora
