#include "backup/Frmbackup.h"

#include "access/Access.h"
#include "backup/Backup.h"
#include "backup/ClinicKey.h"
#include "backup/SealedBackup.h"
#include "data/DataControl.h"
#include "data/DirectionalText.h"
#include "data/SubjectStore.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace velmora {

namespace {

QLabel* makeLabel(const QString& name, QWidget* parent, int left, int top, int width, int height) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(formFont());
    label->setAlignment(Qt::AlignCenter);
    place(label, left, top, width, height);
    return label;
}

} // namespace

Frmbackup::Frmbackup(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Frmbackup"));
    setWindowTitle(QStringLiteral("Back up ...  Reastor"));
    setAttribute(Qt::WA_DeleteOnClose);
    setClientSize(this, 8130, 3000);
    setFont(formFont());

    VisualButtonEx2 = makeButton(QStringLiteral("VisualButtonEx2"), QStringLiteral("BACKUP"), this,
                                 5880, 360, 1215, 735);
    Text1 = makeTextBox(QStringLiteral("Text1"), this, 360, 480, 4815, 375);
    b1 = makeButton(QStringLiteral("b1"), QStringLiteral("---"), this, 5280, 480, 495, 495);
    VisualButtonEx3 = makeButton(QStringLiteral("VisualButtonEx3"), QStringLiteral("REASTOR"), this,
                                 5895, 1560, 1215, 735);
    Text2 = makeTextBox(QStringLiteral("Text2"), this, 360, 1680, 4815, 375);
    b2 = makeButton(QStringLiteral("b2"), QStringLiteral("---"), this, 5280, 1680, 495, 495);
    Label1 = makeLabel(QStringLiteral("Label1"), this, 2760, 60, 1575, 375);
    Label2 = makeLabel(QStringLiteral("Label2"), this, 1620, 60, 975, 375);
    Label3 = makeLabel(QStringLiteral("Label3"), this, 2040, 1140, 1575, 375);
    Command1 =
        makeButton(QStringLiteral("Command1"), QStringLiteral("خروج"), this, 2460, 2220, 1455, 435);
    // Paths read left to right, whatever the window's direction.
    showPathLeftToRight(Text1);
    showPathLeftToRight(Text2);
    // The path boxes have no caption, and the browse buttons only dashes.
    nameField(Text1, QStringLiteral("مسير تهيه نسخه پشتيبان"));
    nameField(b1, QStringLiteral("انتخاب مسير تهيه نسخه پشتيبان"));
    nameField(Text2, QStringLiteral("مسير فايل پشتيبان براي بازيابي"));
    nameField(b2, QStringLiteral("انتخاب فايل پشتيبان براي بازيابي"));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setTextVisible(false);
    place(ProgressBar1, 360, 2730, 7410, 195);
    ProgressBar1->setVisible(false);

    sealBox = new QCheckBox(QStringLiteral("رمزگذاري با کليد مرکز"), this);
    sealBox->setObjectName(QStringLiteral("sealBox"));
    sealBox->setFont(formFont());
    place(sealBox, 3300, 1110, 2475, 405);
    keyButton = makeButton(QStringLiteral("keyButton"), QStringLiteral("کليد مرکز ..."), this, 360,
                           2220, 1455, 435);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Text3 = makeHiddenBox(QStringLiteral("Text3"), this);
    Text3->setText(QStringLiteral("1"));
    bind(Adodc1, Text3, QStringLiteral("TH"));
    Skin1 = new SkinEngine(this);

    connect(VisualButtonEx2, &QPushButton::clicked, this, &Frmbackup::VisualButtonEx2_Click);
    connect(VisualButtonEx3, &QPushButton::clicked, this, &Frmbackup::VisualButtonEx3_Click);
    connect(b1, &QPushButton::clicked, this, &Frmbackup::b1_Click);
    connect(b2, &QPushButton::clicked, this, &Frmbackup::b2_Click);
    connect(Command1, &QPushButton::clicked, this, &Frmbackup::Command1_Click);
    connect(keyButton, &QPushButton::clicked, this, &Frmbackup::keyButton_Click);
    connect(sealBox, &QCheckBox::toggled, this, &Frmbackup::sealBox_Toggled);
    connect(Timer1, &QTimer::timeout, this, &Frmbackup::Timer1_Timer);

    Form_Load();
    Timer1->start();
}

Frmbackup* Frmbackup::showWindow() {
    // The window (its backups, restores and the clinic key) is for admins
    // only; every way of opening it passes here.
    if (!Access::permit(Action::Backup, nullptr))
        return nullptr;
    auto* window = new Frmbackup;
    window->show();
    window->activateWindow();
    return window;
}

void Frmbackup::Form_Load() {
    placeWindow(this, 2340, 765);
    ApplyTheme(this, Text3->text(), Skin1, SkinTable::BackupWindow);
    const QDateTime now = QDateTime::currentDateTime();
    Label2->setText(BackupFiles::timeText(now.time()));
    Label1->setText(BackupFiles::dateText(now.date()));
    Label3->setText(Label1->text());
    showSealing();
}

void Frmbackup::showSealing() {
    // A sealed backup needs the clinic key; without one a plain backup is the
    // only kind.
    const bool keySet = ClinicKey::isSet();
    sealBox->setEnabled(keySet);
    sealBox->setChecked(keySet);
}

void Frmbackup::sealBox_Toggled(bool sealed) {
    // The name in the box follows the kind of backup.
    const QString path = Text1->text();
    if (!path.isEmpty())
        Text1->setText(sealed ? SealedBackup::sealedName(path) : SealedBackup::plainName(path));
}

void Frmbackup::Timer1_Timer() {
    Label2->setText(BackupFiles::timeText(QTime::currentTime()));
}

void Frmbackup::b1_Click() {
    QDir().mkpath(BackupFiles::backupFolder());
    const bool sealed = sealBox->isChecked();
    const QString name = BackupFiles::defaultBackupName(Label3->text(), Label2->text());
    const QString chosen = platform().saveFileName(this, QString(), BackupFiles::backupFolder(),
                                                   sealed ? SealedBackup::sealedDialogFilter()
                                                          : BackupFiles::dialogFilter(),
                                                   sealed ? SealedBackup::sealedName(name) : name);
    if (!chosen.isEmpty())
        Text1->setText(chosen);
}

void Frmbackup::b2_Click() {
    QDir().mkpath(BackupFiles::backupFolder());
    const QString chosen = platform().openFileName(this, QString(), BackupFiles::backupFolder(),
                                                   SealedBackup::restoreDialogFilter());
    if (!chosen.isEmpty())
        Text2->setText(chosen);
}

void Frmbackup::VisualButtonEx2_Click() {
    if (m_copying || backupCopyRunning() || !Access::permit(Action::Backup, this))
        return;
    QString path = Text1->text();
    if (path.isEmpty()) {
        platform().messageBox(this, errorTitle(),
                              QStringLiteral("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"),
                              QMessageBox::Warning);
        return;
    }
    // A sealed backup's name says so; a plain one never carries that name.
    const bool sealed = sealBox->isChecked();
    if (sealed && !SealedBackup::hasSealedName(path)) {
        path = SealedBackup::sealedName(path);
        Text1->setText(path);
    } else if (!sealed && SealedBackup::hasSealedName(path)) {
        platform().messageBox(
            this, applicationTitle(),
            QStringLiteral("نام نسخه پشتيبان رمزگذاري نشده نبايد به .age پايان يابد؛ "
                           "رمزگذاري با کليد مرکز را برگزينيد يا نام ديگري بدهيد."),
            QMessageBox::Warning);
        return;
    }
    if (QFileInfo::exists(path)) {
        const QMessageBox::StandardButton answer = platform().messageBox(
            this, applicationTitle(),
            QStringLiteral(
                "فايل پشتيباني با اين نام قبلا ايجاد شده آيا ميخواهيد اين فايل را جايگزين کنيد؟"),
            QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            platform().messageBox(this, applicationTitle(),
                                  QStringLiteral("عدم موفقيت در تهيه نسخه پشتيبان"),
                                  QMessageBox::Information);
            return;
        }
    }
    const QString recipient = sealed ? ClinicKey::recipient() : QString();
    if (sealed && recipient.isEmpty()) {
        platform().messageBox(this, applicationTitle(),
                              copyFailureText(QStringLiteral("کليد مرکز ساخته نشده است.")),
                              QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    QString why;
    const BackupRoutes::Participant taking = participant();
    const BackupRoutes::Outcome outcome =
        keepingWindowAlive([&] { return BackupRoutes::backUp(path, recipient, taking, &why); });
    if (outcome == BackupRoutes::Outcome::NotReleased) {
        platform().messageBox(this, QStringLiteral("Error"), why, QMessageBox::NoIcon);
        return;
    }
    if (outcome != BackupRoutes::Outcome::Done) {
        if (!why.isEmpty())
            platform().messageBox(this, applicationTitle(), copyFailureText(why),
                                  QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    platform().messageBox(this, applicationTitle(), QStringLiteral("نسخه پشتيبان تهيه گرديد"),
                          QMessageBox::NoIcon);
    platform().endProgram();
}

void Frmbackup::VisualButtonEx3_Click() {
    if (m_copying || backupCopyRunning() || !Access::permit(Action::Restore, this))
        return;
    const QString path = Text2->text();
    if (path.isEmpty()) {
        platform().messageBox(this, errorTitle(),
                              QStringLiteral("لطفا مسير فايل مربوطه را وارد کنيد"),
                              QMessageBox::Warning);
        return;
    }
    const QMessageBox::StandardButton answer = platform().messageBox(
        this, applicationTitle(), QStringLiteral("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"),
        QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                              QMessageBox::NoIcon);
        return;
    }
    QString why;
    BackupRoutes::Restored restored;
    const BackupRoutes::Participant taking = participant();
    const BackupRoutes::Outcome outcome =
        keepingWindowAlive([&] { return BackupRoutes::restore(path, taking, &restored, &why); });
    switch (outcome) {
    case BackupRoutes::Outcome::Done:
        break;
    case BackupRoutes::Outcome::NotReleased:
        platform().messageBox(
            this, errorTitle(),
            why + QStringLiteral("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره"),
            QMessageBox::Warning);
        return;
    case BackupRoutes::Outcome::Declined:
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                              QMessageBox::NoIcon);
        return;
    case BackupRoutes::Outcome::Failed:
        if (!why.isEmpty())
            platform().messageBox(this, applicationTitle(), copyFailureText(why),
                                  QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    QString done = QStringLiteral("بازيابي اطلاعات انجام شد");
    if (!restored.safetyCopy.isEmpty())
        done += QStringLiteral("\r\n") +
                QStringLiteral("پايگاه داده پيش از بازيابي در اين فايل نگه داشته شد:") +
                QStringLiteral("\r\n") + isolatedPath(restored.safetyCopy);
    else if (restored.safetySkipped)
        done +=
            QStringLiteral("\r\n") + QStringLiteral("پايگاه داده پيش از بازيابي نگه داشته نشد.");
    platform().messageBox(this, applicationTitle(), done, QMessageBox::NoIcon);
    platform().endProgram();
}

BackupRoutes::Participant Frmbackup::participant() {
    BackupRoutes::Participant taking;
    taking.progress = [this](qint64 done, qint64 total) { betweenChunks(done, total); };
    taking.aside = [this](const std::function<bool(QString*)>& step, QString* why) {
        return runBeside(step, why);
    };
    taking.despiteOthers = [this](const QList<Workstation>& others) {
        QStringList names;
        for (const Workstation& w : others)
            names.append(QChar(0x2066) + w.name +
                         (w.address.isEmpty() ? QString() : QStringLiteral(" ") + w.address) +
                         QChar(0x2069));
        return platform().messageBox(
                   this, applicationTitle(),
                   QStringLiteral("اين ايستگاه ها اکنون به همين پايگاه داده وصل اند و پرونده همه "
                                  "آزمودني ها براي آنها هم جايگزين مي شود:") +
                       QStringLiteral("\r\n") + names.join(QStringLiteral("\r\n")) +
                       QStringLiteral("\r\n") +
                       QStringLiteral(
                           "آنها در گام بعدي خود از بازيابي باخبر مي شوند. بازيابي انجام شود؟"),
                   QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
    };
    taking.askKey = [this](QString* typed) {
        *typed = platform().secretBox(
            this,
            QStringLiteral("اين نسخه پشتيبان رمزگذاري شده است. گذرواژه کليد مرکز يا کليد "
                           "بازيابي (AGE-SECRET-KEY-1…) را وارد کنيد:"),
            applicationTitle());
        return !typed->isEmpty();
    };
    // The operator may restore without the copy of the subjects before it,
    // but has to say so.
    taking.withoutSafetyCopy = [this](const QString& reason) {
        return platform().messageBox(
                   this, applicationTitle(),
                   QStringLiteral("پايگاه داده فعلي در پوشه Back نگه داشته نشد: ") + reason +
                       QStringLiteral("\r\n") + QStringLiteral("آيا بازيابي بدون آن انجام شود؟"),
                   QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
    };
    return taking;
}

void Frmbackup::keyButton_Click() {
    if (m_copying || backupCopyRunning())
        return;
    // The clinic key is the admin's to make.
    if (!Access::permit(Action::Backup, this))
        return;
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        platform().messageBox(this, applicationTitle(), missing, QMessageBox::Critical,
                              QMessageBox::Ok);
        return;
    }
    const bool replacing = ClinicKey::isSet();
    if (replacing) {
        const QMessageBox::StandardButton answer = platform().messageBox(
            this, applicationTitle(),
            QStringLiteral("کليد مرکز پيش از اين ساخته شده است.") + QStringLiteral("\r\n") +
                ClinicKey::replacementNotice() + QStringLiteral("\r\n") +
                QStringLiteral("آيا کليد تازه اي جاي آن را بگيرد؟"),
            QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    QString first =
        platform().secretBox(this,
                             QStringLiteral("گذرواژه کليد مرکز را برگزينيد (دست کم %1 نويسه):")
                                 .arg(ClinicKey::MinimumPassphrase),
                             applicationTitle());
    if (first.isEmpty())
        return;
    QString second = platform().secretBox(this, QStringLiteral("گذرواژه را دوباره وارد کنيد:"),
                                          applicationTitle());
    const QString problem =
        second.isEmpty() ? QString() : ClinicKey::passphraseProblem(first, second);
    const bool cancelled = second.isEmpty();
    wipeText(&second);
    if (cancelled || !problem.isEmpty()) {
        wipeText(&first);
        if (!problem.isEmpty())
            platform().messageBox(this, applicationTitle(), problem, QMessageBox::Warning);
        return;
    }
    const Secret passphrase = Secret::takeText(&first);
    ClinicKey::Prepared prepared;
    ClinicKey::Made made;
    QString why;
    // The age programs' work runs beside the window; the settings are written
    // here, on the thread of their connection.
    const bool ready = keepingWindowAlive([&] {
                           return runBeside(
                                      [&](QString* reason) {
                                          return ClinicKey::prepare(passphrase, &prepared, reason);
                                      },
                                      &why)
                                      ? BackupRoutes::Outcome::Done
                                      : BackupRoutes::Outcome::Failed;
                       }) == BackupRoutes::Outcome::Done;
    if (!ready || !ClinicKey::install(&prepared, &made, &why)) {
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("کليد مرکز ساخته نشد.") + QStringLiteral("\r\n") + why,
                              QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    QString text = QStringLiteral("کليد مرکز ساخته شد. کليد بازيابي آن:") +
                   QStringLiteral("\r\n\r\n") + QString::fromLatin1(made.recoveryKey.bytes()) +
                   QStringLiteral("\r\n\r\n") + ClinicKey::recoveryKeyAdvice();
    if (replacing) {
        text += QStringLiteral("\r\n\r\n") + ClinicKey::replacementNotice();
        if (!made.retired.isEmpty())
            text += QStringLiteral("\r\n") +
                    QStringLiteral("کليد پيشين، با گذرواژه پيشين، در اين فايل نگه داشته شد:") +
                    QStringLiteral("\r\n") + QDir::toNativeSeparators(made.retired);
    }
    platform().messageBox(this, applicationTitle(), text, QMessageBox::Information);
    wipeText(&text);
    showSealing();
}

void Frmbackup::Command1_Click() {
    close();
}

void Frmbackup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        Command1_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frmbackup::closeEvent(QCloseEvent* event) {
    if (m_copying) {
        // The window cannot go while a copy runs inside one of its handlers;
        // it goes as soon as the copy is over.
        m_closeWanted = true;
        event->ignore();
        return;
    }
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    Form_Unload();
}

void Frmbackup::Form_Unload() {
    platform().endProgram();
}

BackupRoutes::Outcome
Frmbackup::keepingWindowAlive(const std::function<BackupRoutes::Outcome()>& work) {
    m_copying = true;
    m_closeWanted = false;
    setButtonsEnabled(false);
    m_copyClock.start();
    m_lastEvents = 0;
    const BackupRoutes::Outcome result = work();
    ProgressBar1->setVisible(false);
    setButtonsEnabled(true);
    m_copying = false;
    if (m_closeWanted && result != BackupRoutes::Outcome::Done)
        QTimer::singleShot(0, this, &QWidget::close);
    return result;
}

bool Frmbackup::runBeside(const std::function<bool(QString* why)>& step, QString* why) {
    // Checking a clinic's file takes longer than copying it, and sealing or
    // opening one longer still; the step runs on a thread of its own (a check
    // with its own connection) while the window repaints and its clock ticks,
    // as during the copy.
    const bool barShown = !ProgressBar1->isHidden();
    QTimer busy;
    busy.setSingleShot(true);
    connect(&busy, &QTimer::timeout, this, [this] {
        ProgressBar1->setRange(0, 0);
        ProgressBar1->setVisible(true);
    });
    busy.start(ProgressDelayMs);
    auto promise = std::make_shared<QPromise<bool>>();
    auto reason = std::make_shared<QString>();
    QFuture<bool> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, reason, step] {
        promise->addResult(step(reason.get()));
        promise->finish();
    });
    QFutureWatcher<bool> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    future.waitForFinished();
    busy.stop();
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setVisible(barShown);
    *why = *reason;
    return future.result();
}

void Frmbackup::betweenChunks(qint64 copied, qint64 total) {
    // Repaint and let the clock tick some fifty times a second: often enough for
    // a window that stays alive, rarely enough not to slow a large copy down.
    const qint64 now = m_copyClock.elapsed();
    if (now - m_lastEvents < EventsEveryMs && copied > 0)
        return;
    m_lastEvents = now;
    QCoreApplication::processEvents();
    if (ProgressBar1->isHidden() && m_copyClock.elapsed() >= ProgressDelayMs)
        ProgressBar1->setVisible(true);
    if (!ProgressBar1->isHidden())
        ProgressBar1->setValue(total > 0 ? static_cast<int>(copied * 1000 / total) : 0);
}

void Frmbackup::setButtonsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{VisualButtonEx2, VisualButtonEx3, b1, b2,
                                                      Command1, Text1, Text2, keyButton, sealBox})
        w->setEnabled(enabled);
}

} // namespace velmora
