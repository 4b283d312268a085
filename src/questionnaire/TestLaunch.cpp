// The test launch of the main window: asks for a subject code, restricts the
// test window to that subject's answer sheet and registration row, and runs
// the test modally.
#include "questionnaire/TestLaunch.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/Lock.h"
#include "access/Session.h"
#include "data/DataControl.h"
#include "data/History.h"
#include "platform/Platform.h"
#include "questionnaire/FrmTest.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace velmora {

namespace {

// A sheet that was completed and kept in the history would come up with every
// answer already chosen, and a subject pressing "next" through it would give
// yesterday's answers as today's. The operator says whether this run goes on
// with that sheet or is a new administration. An interrupted sheet (answers
// stored since the last save-and-exit) and a sheet never answered go on as
// they are, unasked. False when the operator cancels the launch.
bool chooseAdministration(QWidget* owner, FrmTest* test) {
    History::SheetState state;
    QString error;
    if (!History::sheetState(test->Adodc2->currentId(), test->Adodc2->field(QStringLiteral("Code")),
                             &state, &error)) {
        platform().messageBox(owner, errorTitle(),
                              Database::failureMessage(DbFile::Subjects, error),
                              QMessageBox::Critical);
        return false;
    }
    if (!state.answered || !state.kept)
        return true;
    const QMessageBox::StandardButton answer = platform().messageBox(
        owner, applicationTitle(), newAdministrationQuestion(), QMessageBox::Question,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        test->startNewAdministration();
    return answer == QMessageBox::Yes || answer == QMessageBox::No;
}

} // namespace

QString newAdministrationQuestion() {
    return QStringLiteral("پاسخنامه اين آزمودني کامل شده و در سوابق آزمون نگه داشته شده است.\n\n"
                          "آزمون تازه اي آغاز شود؟\n"
                          "بله: پاسخنامه خالي؛ پاسخنامه قبلي در سوابق آزمون مي ماند.\n"
                          "خير: ادامه همان پاسخنامه، با پاسخهاي قبلي.");
}

void launchTest(QWidget* owner) {
    if (!Access::permit(Action::LaunchTest, owner))
        return;
    // Reading again drops the filter of an earlier launch. A read that failed
    // has been reported; looking a code up in it would only call the subject
    // unknown.
    FrmTest* test = FrmTest::loaded();
    if (!test->Adodc2->refresh() || !test->Adodc3->refresh())
        return;

    const QString code = platform().inputBox(owner, QStringLiteral(" Plese Insert Code "),
                                             QStringLiteral("Enter Code "), QString());
    if (code.isEmpty()) {
        ShowNotice(owner, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        return;
    }
    // The code is matched exactly as typed, as a value of its own: an
    // apostrophe in it is just a character.
    if (!test->Adodc2->setFilter(QStringLiteral("code"), code))
        return;
    if (test->Adodc2->bof()) {
        ShowNotice(owner, QStringLiteral("فردي با اين مشخصات وجود ندارد"));
        return;
    }
    // A sheet without a registration row is still tested; the subject frame
    // is then empty, and read-only: there is no row to store what is typed.
    if (!test->Adodc3->setFilter(QStringLiteral("code"), code))
        return;
    const bool registered = !test->Adodc3->bof();
    for (QLineEdit* box : {test->Text3, test->Text4, test->Text10, test->Text5, test->Text11,
                           test->Text7, test->Text8, test->Text9})
        box->setReadOnly(!registered);

    if (!chooseAdministration(owner, test))
        return;
    QString error;
    if (!Audit::record(Action::LaunchTest, code, Outcome::Done,
                       test->startsNewAdministration() ? QStringLiteral("اجراي تازه") : QString(),
                       &error)) {
        platform().messageBox(owner, errorTitle(), error, QMessageBox::Critical);
        return;
    }

    QPointer<FrmTest> run = test;
    test->exec();
    // The subject had the keyboard: whoever comes to the desk next signs in,
    // unless an operator already did to let the subject go.
    const bool signedIn = run && run->leftWithSignIn();
    // The keyboard goes back to the window it was opened from, even where no
    // window manager hands it back.
    if (owner)
        owner->activateWindow();
    // The closed window is done with; a fresh hidden one waits for the next
    // launch, already showing the subject frame instead of the title.
    delete run.data();
    test = FrmTest::loaded();
    test->SkinLabel4->setVisible(true);
    test->Command1->setVisible(true);
    test->Command2->setVisible(true);
    test->CmdBack->setVisible(false);
    test->SkinLabel3->setVisible(false);
    test->CmdNext->setVisible(false);
    test->Frame1->setVisible(true);
    test->SkinLbl5->setVisible(true);
    test->Text6->setText(QStringLiteral("0"));
    if (Session::inForce() && !signedIn)
        Lock::lockNow();
}

} // namespace velmora
