#include "access/OperatorsWindow.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/AuditReport.h"
#include "access/Lock.h"
#include "access/SignIn.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/DigitsOnly.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace velmora {

namespace {

SkinLabel* makeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top,
                     int width) {
    auto* label = new SkinLabel(QString::fromLatin1(name), caption, parent);
    place(label, left, top, width, 405);
    return label;
}

QString title() {
    return QStringLiteral("کاربران");
}

} // namespace

OperatorsWindow::OperatorsWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OperatorsWindow"));
    setWindowTitle(title());
    setClientSize(this, 9600, 7200);
    setFont(formFont());

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Skin1 = new SkinEngine(this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    operatorsGrid = new QTableWidget(0, 4, this);
    operatorsGrid->setObjectName(QStringLiteral("operatorsGrid"));
    operatorsGrid->setHorizontalHeaderLabels({QStringLiteral("نام"), QStringLiteral("نقش"),
                                              QStringLiteral("وضعيت"),
                                              QStringLiteral("آخرين ورود")});
    operatorsGrid->setFont(formFont(12, false));
    operatorsGrid->horizontalHeader()->setFont(formFont());
    operatorsGrid->verticalHeader()->hide();
    operatorsGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    operatorsGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    operatorsGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    nameField(operatorsGrid, title());
    place(operatorsGrid, 240, 240, 5880, 4800);
    const int widths[] = {1800, 1100, 1000, 1900};
    for (int column = 0; column < 4; ++column)
        operatorsGrid->setColumnWidth(column, twips(widths[column]));

    // Beside the grid: what is done to the chosen operator.
    disableButton = makeButton(QStringLiteral("disableButton"), QStringLiteral("غيرفعال کردن"),
                               this, 6360, 240, 3000, 555);
    enableButton = makeButton(QStringLiteral("enableButton"), QStringLiteral("فعال کردن"), this,
                              6360, 900, 3000, 555);
    passwordButton = makeButton(QStringLiteral("passwordButton"), QStringLiteral("رمز تازه"), this,
                                6360, 1560, 3000, 555);

    // Below it: a new operator.
    nameBox = makeTextBox(QStringLiteral("nameBox"), this, 6360, 2700, 1800, 435, Qt::AlignHCenter);
    SkinLabel* captionName =
        makeLabel("nameLabel", QStringLiteral(" :نام"), this, 8220, 2715, 1140);
    roleList = new QComboBox(this);
    roleList->setObjectName(QStringLiteral("roleList"));
    roleList->setFont(formFont());
    for (Role role : {Role::Reception, Role::Clinician, Role::Admin})
        roleList->addItem(Roles::roleName(role), static_cast<int>(role));
    place(roleList, 6360, 3240, 1800, 435);
    SkinLabel* captionRole =
        makeLabel("roleLabel", QStringLiteral(" :نقش"), this, 8220, 3255, 1140);
    nameByCaption(nameBox, captionName);
    nameByCaption(roleList, captionRole);
    addButton = makeButton(QStringLiteral("addButton"), QStringLiteral("افزودن کاربر"), this, 6360,
                           3840, 3000, 555);

    lockBox = makeTextBox(QStringLiteral("lockBox"), this, 4860, 5340, 900, 435, Qt::AlignHCenter);
    makeDigitsOnly(lockBox, this, 4);
    SkinLabel* captionLock =
        makeLabel("lockLabel", QStringLiteral(" :قفل خودکار پس از چند دقيقه بي کاري (0: هرگز)"),
                  this, 5820, 5355, 3540);
    nameByCaption(lockBox, captionLock);
    lockButton = makeButton(QStringLiteral("lockButton"), QStringLiteral("ذخيره"), this, 3720, 5280,
                            1035, 555);
    closeButton = makeButton(QStringLiteral("closeButton"), QStringLiteral("خروج"), this, 240, 6360,
                             1335, 555);
    for (QPushButton* b :
         {disableButton, enableButton, passwordButton, addButton, lockButton, closeButton})
        b->setAutoDefault(false);
    lockBox->setText(QString::number(WorkstationSettings::lockMinutes()));

    connect(addButton, &QPushButton::clicked, this, &OperatorsWindow::addClick);
    connect(disableButton, &QPushButton::clicked, this, &OperatorsWindow::disableClick);
    connect(enableButton, &QPushButton::clicked, this, &OperatorsWindow::enableClick);
    connect(passwordButton, &QPushButton::clicked, this, &OperatorsWindow::passwordClick);
    connect(lockButton, &QPushButton::clicked, this, &OperatorsWindow::lockClick);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    placeWindow(this, 2400, 1200);
    ApplyTheme(this, Text1->text(), Skin1);
    refresh();
}

void OperatorsWindow::showModal(QWidget* owner) {
    if (!Access::permit(Action::Operators, owner))
        return;
    OperatorsWindow window(owner);
    window.exec();
    if (owner)
        owner->activateWindow();
}

void OperatorsWindow::refresh() {
    QList<Operator> operators;
    QString error;
    operatorsGrid->setRowCount(0);
    if (!OperatorAdmin::list(&operators, &error)) {
        platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
        return;
    }
    operatorsGrid->setRowCount(int(operators.size()));
    for (int row = 0; row < operators.size(); ++row) {
        const Operator& op = operators.at(row);
        const QStringList cells = {
            op.name, Roles::roleName(op.role),
            op.enabled ? QStringLiteral("فعال") : QStringLiteral("غيرفعال"),
            op.lastSignIn.isEmpty() ? QStringLiteral("-")
                                    : AuditReport::solarDateOf(op.lastSignIn) + QLatin1Char(' ') +
                                          AuditReport::clockTimeOf(op.lastSignIn)};
        for (int column = 0; column < cells.size(); ++column)
            operatorsGrid->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
}

QString OperatorsWindow::chosenName() {
    const int row = operatorsGrid->currentRow();
    if (row < 0 || !operatorsGrid->item(row, 0)) {
        ShowNotice(this, QStringLiteral("نخست کاربري را در فهرست انتخاب کنيد"));
        return QString();
    }
    return operatorsGrid->item(row, 0)->text();
}

QString OperatorsWindow::askPassword(const QString& name) {
    QString first = platform().secretBox(
        this, QStringLiteral("رمز تازه «%1» را وارد کنيد (دست کم 8 نويسه):").arg(name), title());
    if (first.isEmpty())
        return QString();
    const QString again =
        platform().secretBox(this, QStringLiteral("رمز را دوباره وارد کنيد:"), title());
    if (again != first) {
        platform().messageBox(this, title(), QStringLiteral("دو رمز يکي نيستند."),
                              QMessageBox::Warning);
        return QString();
    }
    return first;
}

void OperatorsWindow::tell(bool done, const QString& error) {
    if (done) {
        ShowNotice(this, QStringLiteral("انجام شد"));
        refresh();
        return;
    }
    platform().messageBox(this, title(), error, QMessageBox::Warning);
}

void OperatorsWindow::addClick() {
    QString why;
    if (!OperatorAdmin::mayManage(&why)) {
        platform().messageBox(this, title(), why, QMessageBox::Warning);
        return;
    }
    const QString name = nameBox->text();
    if (const QString problem = operatorNameProblem(name); !problem.isEmpty()) {
        ShowNotice(this, problem, LongNoticeInterval);
        nameBox->setFocus();
        return;
    }
    const QString password = askPassword(name);
    if (password.isEmpty())
        return;
    const Role role = static_cast<Role>(roleList->currentData().toInt());
    QString error;
    const bool done = OperatorAdmin::add(name, role, password, &error);
    if (done)
        nameBox->clear();
    tell(done, error);
}

void OperatorsWindow::disableClick() {
    const QString name = chosenName();
    QString error;
    if (!name.isEmpty())
        tell(OperatorAdmin::setEnabled(name, false, &error), error);
}

void OperatorsWindow::enableClick() {
    const QString name = chosenName();
    QString error;
    if (!name.isEmpty())
        tell(OperatorAdmin::setEnabled(name, true, &error), error);
}

void OperatorsWindow::passwordClick() {
    const QString name = chosenName();
    if (name.isEmpty())
        return;
    const QString password = askPassword(name);
    if (password.isEmpty())
        return;
    QString error;
    tell(OperatorAdmin::resetPassword(name, password, &error), error);
}

void OperatorsWindow::lockClick() {
    bool number = false;
    const int minutes = lockBox->text().toInt(&number);
    if (!number || minutes < 0) {
        ShowNotice(this, QStringLiteral("تعداد دقيقه ها را وارد کنيد"));
        lockBox->setFocus();
        return;
    }
    // The setting and its entry go together: the entry first, in a
    // transaction that the setting's failure rolls back.
    StoreTransaction transaction;
    QString error;
    if (!transaction.begun() ||
        !Audit::record(Action::Settings, QString(), Outcome::Done,
                       QStringLiteral("قفل خودکار پس از %1 دقيقه").arg(minutes), &error) ||
        !WorkstationSettings::setLockMinutes(minutes, &error) || !transaction.commit()) {
        transaction.rollback();
        platform().messageBox(this, errorTitle(), error.isEmpty() ? transaction.error() : error,
                              QMessageBox::Critical);
        return;
    }
    Lock::install(minutes);
    ShowNotice(this, QStringLiteral("ذخيره شد"));
}

} // namespace velmora
