#include "backup/Frmbackup.h"

#include "backup/Backup.h"
#include "backup/BackupRoutes.h"
#include "backup/ClinicKey.h"
#include "backup/SealedBackup.h"
#include "backup/StoreCopy.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
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
    Adodc1->bind(Text3, QStringLiteral("TH"));
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
    // Once there are operators: the window (its backups, restores and the
    // clinic key) is for admins only; the check belongs here, where every
    // way of opening it passes.
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
    if (m_copying || backupCopyRunning())
        return;
    QString path = Text1->text();
    if (path.isEmpty()) {
        platform().messageBox(this, QStringLiteral("خطا"),
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
    // Writing a subject backup over the settings would leave the program
    // without its theme and clinic record.
    if (BackupFiles::sameFile(path, BackupFiles::settingsDatabase())) {
        platform().messageBox(this, applicationTitle(),
                              copyFailureText(QStringLiteral(
                                  "نسخه پشتيبان نمي تواند جاي پايگاه داده تنظيمات را بگيرد.")),
                              QMessageBox::Critical);
        return;
    }
    // Nor over the clinic key: the backups sealed with it would be lost.
    if (BackupFiles::sameFile(path, ClinicKey::sealedKeyPath())) {
        platform().messageBox(
            this, applicationTitle(),
            copyFailureText(QStringLiteral("نسخه پشتيبان نمي تواند جاي کليد مرکز را بگيرد.")),
            QMessageBox::Critical);
        return;
    }
    QString why;
    if (!BackupFiles::releaseSubjectDatabase(&why)) {
        platform().messageBox(this, QStringLiteral("Error"), why, QMessageBox::NoIcon);
        return;
    }
    if (sealed) {
        makeSealedBackup(path);
        return;
    }
    // The copy is taken under a read transaction, then checked as a restore
    // would check it: only a copy that can be brought back counts as a backup.
    const QString database = BackupFiles::subjectDatabase();
    BackupFiles::CopySteps steps;
    steps.sourceIsDatabase = true;
    steps.acceptCopy = [this, database, path](const QString& copy, QString* reason) {
        return checkKeepingWindowAlive(
            [database, path](const QString& c, QString* r) {
                return BackupFiles::checkBackupCopy(c, database, path, r);
            },
            copy, reason);
    };
    if (copyKeepingWindowAlive(database, path, steps) != 1)
        return;
    // Once there is an audit trail: the plain backup made, into path.
    platform().messageBox(this, applicationTitle(), QStringLiteral("نسخه پشتيبان تهيه گرديد"),
                          QMessageBox::NoIcon);
    platform().endProgram();
}

void Frmbackup::VisualButtonEx3_Click() {
    if (m_copying || backupCopyRunning())
        return;
    const QString path = Text2->text();
    if (path.isEmpty()) {
        platform().messageBox(this, QStringLiteral("خطا"),
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
    if (!BackupFiles::releaseSubjectDatabase(&why)) {
        platform().messageBox(
            this, QStringLiteral("خطا"),
            why + QStringLiteral("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره"),
            QMessageBox::Warning);
        return;
    }
    // A sealed backup is opened into a private place first; the plain file
    // there is then restored as any other, and goes with the stage.
    SealedBackup::PrivateStage stage(QStringLiteral("unsealed"));
    QString source = path;
    const SealedBackup::Content content = SealedBackup::lookAt(path);
    if (content == SealedBackup::Content::Sealed ||
        (SealedBackup::hasSealedName(path) && content != SealedBackup::Content::Unreadable)) {
        if (content != SealedBackup::Content::Sealed) {
            platform().messageBox(
                this, applicationTitle(),
                copyFailureText(content == SealedBackup::Content::SubjectFile
                                    ? SealedBackup::plainNamedSealedText()
                                    : QStringLiteral("اين فايل نسخه پشتيبان رمزگذاري شده نيست يا "
                                                     "آسيب ديده است.")),
                QMessageBox::Critical, QMessageBox::Ok);
            return;
        }
        if (!openSealedBackup(path, &stage))
            return;
        source = stage.path();
    }
    // The backup is copied beside the database and replaces it only when it
    // proves to be a whole subject database, after the current database has
    // been kept in Back: a wrong or damaged file can never cost the clinic its
    // data, and a wrong restore can be undone.
    BackupFiles::CopySteps steps;
    steps.acceptCopy = [this](const QString& copy, QString* reason) {
        return checkKeepingWindowAlive(BackupFiles::checkRestoreCopy, copy, reason);
    };
    steps.beforeReplace = [this](QString* reason) { return keepSafetyCopy(reason); };
    m_safetyCopy.clear();
    m_safety = Safety::NotNeeded;
    if (copyKeepingWindowAlive(source, BackupFiles::subjectDatabase(), steps) != 1) {
        if (m_safety == Safety::Declined)
            platform().messageBox(this, applicationTitle(),
                                  QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                                  QMessageBox::NoIcon);
        return;
    }
    QString done = QStringLiteral("بازيابي اطلاعات انجام شد");
    if (m_safety == Safety::Kept)
        done += QStringLiteral("\r\n") +
                QStringLiteral("پايگاه داده پيش از بازيابي در اين فايل نگه داشته شد:") +
                QStringLiteral("\r\n") + QDir::toNativeSeparators(m_safetyCopy);
    else if (m_safety == Safety::Skipped)
        done +=
            QStringLiteral("\r\n") + QStringLiteral("پايگاه داده پيش از بازيابي نگه داشته نشد.");
    // Once there is an audit trail: the restore from path (sealed or not),
    // and where the subjects before it were kept.
    platform().messageBox(this, applicationTitle(), done, QMessageBox::NoIcon);
    platform().endProgram();
}

bool Frmbackup::keepSafetyCopy(QString* why) {
    QString reason;
    QString kept;
    if (BackupRoutes::keepCurrentSubjects(
            BackupFiles::backupFolder(),
            [this](qint64 copied, qint64 total) { betweenChunks(copied, total); }, &kept,
            &reason)) {
        if (!kept.isEmpty()) {
            m_safetyCopy = kept;
            m_safety = Safety::Kept;
        }
        return true;
    }
    // The copy is only a way back from a wrong restore; the operator may
    // restore without it, but has to say so.
    const QMessageBox::StandardButton answer = platform().messageBox(
        this, applicationTitle(),
        QStringLiteral("پايگاه داده فعلي در پوشه Back نگه داشته نشد: ") + reason +
            QStringLiteral("\r\n") + QStringLiteral("آيا بازيابي بدون آن انجام شود؟"),
        QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        m_safety = Safety::Skipped;
        return true;
    }
    m_safety = Safety::Declined;
    why->clear();
    return false;
}

void Frmbackup::makeSealedBackup(const QString& path) {
    // A plain backup is made and checked in a private place first, exactly as
    // a plain backup into path would be; it is then sealed into path, opened
    // again and compared, and removed.
    const QString recipient = ClinicKey::recipient();
    QString why = AgeTool::missingTools();
    if (why.isEmpty() && recipient.isEmpty())
        why = QStringLiteral("کليد مرکز ساخته نشده است.");
    SealedBackup::PrivateStage stage(QStringLiteral("sealing"));
    if (!why.isEmpty() || !stage.create(&why)) {
        platform().messageBox(this, applicationTitle(), copyFailureText(why), QMessageBox::Critical,
                              QMessageBox::Ok);
        return;
    }
    const QString database = BackupFiles::subjectDatabase();
    const QString plain = stage.path();
    BackupFiles::CopySteps steps;
    steps.sourceIsDatabase = true;
    steps.acceptCopy = [this, database, plain](const QString& copy, QString* reason) {
        return checkKeepingWindowAlive(
            [database, plain](const QString& c, QString* r) {
                return BackupFiles::checkBackupCopy(c, database, plain, r);
            },
            copy, reason);
    };
    if (copyKeepingWindowAlive(database, plain, steps) != 1)
        return;
    stage.hold();
    if (!runKeepingWindowAlive(
            [&](QString* reason) {
                return SealedBackup::sealCheckedBackup(plain, path, recipient, reason);
            },
            &why)) {
        platform().messageBox(this, applicationTitle(), copyFailureText(why), QMessageBox::Critical,
                              QMessageBox::Ok);
        return;
    }
    // Once there is an audit trail: the sealed backup made, into path.
    platform().messageBox(this, applicationTitle(), QStringLiteral("نسخه پشتيبان تهيه گرديد"),
                          QMessageBox::NoIcon);
    platform().endProgram();
}

bool Frmbackup::openSealedBackup(const QString& path, SealedBackup::PrivateStage* stage) {
    QString typed = platform().secretBox(
        this,
        QStringLiteral("اين نسخه پشتيبان رمزگذاري شده است. گذرواژه کليد مرکز يا کليد بازيابي "
                       "(AGE-SECRET-KEY-1…) را وارد کنيد:"),
        applicationTitle());
    if (typed.isEmpty()) {
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                              QMessageBox::NoIcon);
        return false;
    }
    QString why;
    const bool opened = runKeepingWindowAlive(
        [&](QString* reason) {
            Secret identity;
            AgeTool::Failure failure = AgeTool::Failure::None;
            return ClinicKey::identityFromTyped(&typed, &identity, reason) &&
                   stage->create(reason) &&
                   SealedBackup::unseal(path, identity, stage->path(), &failure, reason);
        },
        &why);
    wipeText(&typed);
    if (!opened)
        platform().messageBox(this, applicationTitle(), copyFailureText(why), QMessageBox::Critical,
                              QMessageBox::Ok);
    return opened;
}

void Frmbackup::keyButton_Click() {
    if (m_copying || backupCopyRunning())
        return;
    // Once there are operators: the clinic key is the admin's to make.
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
    if (!runKeepingWindowAlive(
            [&](QString* reason) { return ClinicKey::prepare(passphrase, &prepared, reason); },
            &why) ||
        !ClinicKey::install(&prepared, &made, &why)) {
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("کليد مرکز ساخته نشد.") + QStringLiteral("\r\n") + why,
                              QMessageBox::Critical, QMessageBox::Ok);
        return;
    }
    // Once there is an audit trail: the clinic key made (or replaced), with
    // its public key; never the recovery key.
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

int Frmbackup::copyKeepingWindowAlive(const QString& source, const QString& destination,
                                      BackupFiles::CopySteps steps) {
    steps.betweenChunks = [this](qint64 copied, qint64 total) { betweenChunks(copied, total); };
    m_copying = true;
    m_closeWanted = false;
    setButtonsEnabled(false);
    m_copyClock.start();
    m_lastEvents = 0;
    const int result = Database::subjectsOnServer()
                           ? CopyServerStore(source, destination, this, steps)
                           : CopyBackupFile(source, destination, this, steps);
    ProgressBar1->setVisible(false);
    setButtonsEnabled(true);
    m_copying = false;
    if (m_closeWanted && result != 1)
        QTimer::singleShot(0, this, &QWidget::close);
    return result;
}

bool Frmbackup::checkKeepingWindowAlive(const BackupFiles::CopyCheck& check, const QString& copy,
                                        QString* why) {
    // Checking a clinic's file takes longer than copying it; the check runs on
    // a thread of its own (with its own connection) while the window repaints
    // and its clock ticks, as during the copy.
    auto promise = std::make_shared<QPromise<bool>>();
    auto reason = std::make_shared<QString>();
    QFuture<bool> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, reason, check, copy] {
        promise->addResult(check(copy, reason.get()));
        promise->finish();
    });
    QFutureWatcher<bool> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    future.waitForFinished();
    *why = *reason;
    return future.result();
}

bool Frmbackup::runKeepingWindowAlive(const std::function<bool(QString*)>& work, QString* why) {
    m_copying = true;
    m_closeWanted = false;
    setButtonsEnabled(false);
    // The age programs tell nothing of their progress: a long run shows a
    // bar that is busy.
    QTimer busy;
    busy.setSingleShot(true);
    connect(&busy, &QTimer::timeout, this, [this] {
        ProgressBar1->setRange(0, 0);
        ProgressBar1->setVisible(true);
    });
    busy.start(ProgressDelayMs);
    const bool done = checkKeepingWindowAlive(
        [&work](const QString&, QString* reason) { return work(reason); }, QString(), why);
    busy.stop();
    ProgressBar1->setVisible(false);
    ProgressBar1->setRange(0, 1000);
    setButtonsEnabled(true);
    m_copying = false;
    if (m_closeWanted && !done)
        QTimer::singleShot(0, this, &QWidget::close);
    return done;
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
                                                      Command1, Text1, Text2, keyButton})
        w->setEnabled(enabled);
}

} // namespace velmora
