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

    LabelPurpose = new SkinLabel(QStringLiteral("LabelPurpose"), purposeText(purpose), this);
    LabelPurpose->setWordWrap(true);
    LabelPurpose->setAlignment(Qt::AlignCenter);
    place(LabelPurpose, 240, 180, 6135, 615);

    // Each caption stands to the right of its box.
    TextName =
        makeTextBox(QStringLiteral("TextName"), this, 1440, 960, 3375, 435, Qt::AlignHCenter);
    LabelName = new SkinLabel(QStringLiteral("LabelName"), QStringLiteral(" :نام کاربر"), this);
    place(LabelName, 4875, 975, 1500, 405);
    TextPassword =
        makeTextBox(QStringLiteral("TextPassword"), this, 1440, 1560, 3375, 435, Qt::AlignHCenter);
    TextPassword->setEchoMode(QLineEdit::Password);
    LabelPassword = new SkinLabel(QStringLiteral("LabelPassword"), QStringLiteral(" :رمز"), this);
    place(LabelPassword, 4875, 1575, 1500, 405);
    nameByCaption(TextName, LabelName);
    nameByCaption(TextPassword, LabelPassword);

    CommandSignIn = makeButton(QStringLiteral("CommandSignIn"), QStringLiteral("ورود"), this, 3480,
                               2280, 1335, 555);
    CommandLeave = makeButton(QStringLiteral("CommandLeave"), leaveCaption(purpose), this, 1440,
                              2280, 1935, 555);
    // Return anywhere signs in; only the leave button is pressed by itself.
    CommandSignIn->setDefault(true);
    CommandLeave->setAutoDefault(false);
    setTabOrder(TextName, TextPassword);
    setTabOrder(TextPassword, CommandSignIn);
    setTabOrder(CommandSignIn, CommandLeave);

    connect(CommandSignIn, &QPushButton::clicked, this, &SignInWindow::CommandSignIn_Click);
    connect(CommandLeave, &QPushButton::clicked, this, &SignInWindow::CommandLeave_Click);

    placeWindow(this, 4350, 3000);
    ApplyTheme(this, Text1->text(), Skin1);
    TextName->setFocus();
}

bool SignInWindow::signIn(Purpose purpose, QWidget* owner) {
    SignInWindow window(purpose, owner);
    const bool signedIn = window.exec() == QDialog::Accepted;
    if (owner)
        owner->activateWindow();
    return signedIn;
}

void SignInWindow::CommandSignIn_Click() {
    // Name first, then the password: Return in an empty box asks for it.
    if (TextName->text().isEmpty()) {
        TextName->setFocus();
        return;
    }
    if (TextPassword->text().isEmpty()) {
        TextPassword->setFocus();
        return;
    }
    const Action action = m_purpose == Purpose::Unlock ? Action::Unlock : Action::SignIn;
    const QString detail =
        m_purpose == Purpose::LeaveTest ? QStringLiteral("براي خروج از تست") : QString();
    const SignIn::Attempt attempt =
        SignIn::attempt(TextName->text(), TextPassword->text(), action, detail);
    TextPassword->clear();
    if (attempt.result == SignIn::Result::Done) {
        accept();
        return;
    }
    platform().messageBox(this, windowTitle(), attempt.message,
                          attempt.result == SignIn::Result::Failed ? QMessageBox::Critical
                                                                   : QMessageBox::Warning);
    TextPassword->setFocus();
}

void SignInWindow::CommandLeave_Click() {
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
