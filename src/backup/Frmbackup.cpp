#include "backup/Frmbackup.h"

#include "backup/Backup.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

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
#include <QUuid>

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
    connect(Timer1, &QTimer::timeout, this, &Frmbackup::Timer1_Timer);

    Form_Load();
    Timer1->start();
}

Frmbackup* Frmbackup::showWindow() {
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
}

void Frmbackup::Timer1_Timer() {
    Label2->setText(BackupFiles::timeText(QTime::currentTime()));
}

void Frmbackup::b1_Click() {
    QDir().mkpath(BackupFiles::backupFolder());
    const QString chosen = platform().saveFileName(
        this, QString(), BackupFiles::backupFolder(), BackupFiles::dialogFilter(),
        BackupFiles::defaultBackupName(Label3->text(), Label2->text()));
    if (!chosen.isEmpty())
        Text1->setText(chosen);
}

void Frmbackup::b2_Click() {
    QDir().mkpath(BackupFiles::backupFolder());
    const QString chosen = platform().openFileName(this, QString(), BackupFiles::backupFolder(),
                                                   BackupFiles::dialogFilter());
    if (!chosen.isEmpty())
        Text2->setText(chosen);
}

void Frmbackup::VisualButtonEx2_Click() {
    if (m_copying || backupCopyRunning())
        return;
    const QString path = Text1->text();
    if (path.isEmpty()) {
        platform().messageBox(this, QStringLiteral("خطا"),
                              QStringLiteral("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"),
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
    SubjectStore& store = SubjectStore::current();
    QString why;
    if (!store.release(&why)) {
        platform().messageBox(this, QStringLiteral("Error"), why, QMessageBox::NoIcon);
        return;
    }
    // The copy is made from one consistent picture of the subject tables (the
    // file held still, or the server's tables as of one moment), then checked
    // as a restore would check it: only a copy that can be brought back counts
    // as a backup.
    std::unique_ptr<StoreSnapshot> snapshot;
    if (keepingWindowAlive([&] {
            snapshot = store.snapshot(
                BackupFiles::backupFolder(),
                [this](qint64 done, qint64 total) { betweenChunks(done, total); }, &why);
            return snapshot ? 1 : 0;
        }) != 1) {
        platform().messageBox(this, applicationTitle(), copyFailureText(why),
                              QMessageBox::Critical);
        return;
    }
    const QString source = snapshot->path();
    BackupFiles::CopySteps steps;
    steps.acceptCopy = [this, source, path](const QString& copy, QString* reason) {
        return checkKeepingWindowAlive(
            [source, path](const QString& c, QString* r) {
                return BackupFiles::checkBackupCopy(c, source, path, r);
            },
            copy, reason);
    };
    if (copyKeepingWindowAlive(source, path, steps) != 1)
        return;
    snapshot.reset();
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
    SubjectStore& store = SubjectStore::current();
    QString why;
    // On a shared server every workstation's subjects are replaced: whoever
    // is at work elsewhere is named first.
    const QList<Workstation> others = store.otherWorkstations(&why);
    if (!others.isEmpty()) {
        QStringList names;
        for (const Workstation& w : others)
            names.append(QChar(0x2066) + w.name +
                         (w.address.isEmpty() ? QString() : QStringLiteral(" ") + w.address) +
                         QChar(0x2069));
        const QMessageBox::StandardButton go = platform().messageBox(
            this, applicationTitle(),
            QStringLiteral("اين ايستگاه ها اکنون به همين پايگاه داده وصل اند و پرونده همه "
                           "آزمودني ها براي آنها هم جايگزين مي شود:") +
                QStringLiteral("\r\n") + names.join(QStringLiteral("\r\n")) +
                QStringLiteral("\r\n") +
                QStringLiteral("آنها در گام بعدي خود از بازيابي باخبر مي شوند. بازيابي انجام شود؟"),
            QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (go != QMessageBox::Yes) {
            platform().messageBox(this, applicationTitle(),
                                  QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                                  QMessageBox::NoIcon);
            return;
        }
    }
    // The subject file itself is not a backup of itself.
    if (BackupFiles::sameFile(path, BackupFiles::subjectDatabase())) {
        platform().messageBox(this, applicationTitle(),
                              copyFailureText(QStringLiteral("فايل را نمي توان روي خودش کپي کرد.")),
                              QMessageBox::Critical);
        return;
    }
    if (!store.release(&why)) {
        platform().messageBox(
            this, QStringLiteral("خطا"),
            why + QStringLiteral("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره"),
            QMessageBox::Warning);
        return;
    }
    // The backup is copied beside the subject tables and replaces them only
    // when it proves to be a whole subject database, after the current tables
    // have been kept in Back: a wrong or damaged file can never cost the
    // clinic its data, and a wrong restore can be undone.
    const QString staged =
        QDir(store.stagingFolder())
            .filePath(QStringLiteral(".restore.%1.staged")
                          .arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
    struct StagedCopy {
        QString path;
        ~StagedCopy() { QFile::remove(path); }
    } stagedCopy{staged};
    BackupFiles::CopySteps steps;
    steps.acceptCopy = [this](const QString& copy, QString* reason) {
        return checkKeepingWindowAlive(BackupFiles::checkRestoreCopy, copy, reason);
    };
    m_safetyCopy.clear();
    m_safety = Safety::NotNeeded;
    if (copyKeepingWindowAlive(path, staged, steps) != 1)
        return;
    why.clear();
    if (!keepSafetyCopy(&why)) {
        if (m_safety == Safety::Declined)
            platform().messageBox(this, applicationTitle(),
                                  QStringLiteral("عدم موفقيت در بازيابي اطلاعات "),
                                  QMessageBox::NoIcon);
        else
            platform().messageBox(this, applicationTitle(), copyFailureText(why),
                                  QMessageBox::Critical);
        return;
    }
    if (keepingWindowAlive([&] {
            return store.replaceWith(
                       staged, [this](qint64 done, qint64 total) { betweenChunks(done, total); },
                       &why)
                       ? 1
                       : 0;
        }) != 1) {
        platform().messageBox(this, applicationTitle(), copyFailureText(why),
                              QMessageBox::Critical);
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
    platform().messageBox(this, applicationTitle(), done, QMessageBox::NoIcon);
    platform().endProgram();
}

bool Frmbackup::keepSafetyCopy(QString* why) {
    SubjectStore& store = SubjectStore::current();
    // Nothing may have the database open when it is copied and replaced, not
    // even a window that used it while the backup was being copied.
    if (!store.release(why))
        return false;
    const QString folder = BackupFiles::backupFolder();
    QDir().mkpath(folder);
    BackupFiles::CopySteps steps;
    steps.betweenChunks = [this](qint64 copied, qint64 total) { betweenChunks(copied, total); };
    const QString kept = BackupFiles::safetyCopyPath(folder, QDateTime::currentDateTime());
    QString reason;
    // A store with nothing in it yet (no subject file) has nothing to keep.
    bool copied = false;
    std::unique_ptr<StoreSnapshot> snapshot = store.snapshot(folder, steps.betweenChunks, &reason);
    if (snapshot && !QFileInfo::exists(snapshot->path()))
        return true;
    if (snapshot)
        copied = BackupFiles::copyFile(snapshot->path(), kept, steps, &reason);
    snapshot.reset();
    if (copied) {
        m_safetyCopy = kept;
        m_safety = Safety::Kept;
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
    return keepingWindowAlive([&] { return CopyBackupFile(source, destination, this, steps); });
}

int Frmbackup::keepingWindowAlive(const std::function<int()>& work) {
    m_copying = true;
    m_closeWanted = false;
    setButtonsEnabled(false);
    m_copyClock.start();
    m_lastEvents = 0;
    const int result = work();
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
                                                      Command1, Text1, Text2})
        w->setEnabled(enabled);
}

} // namespace velmora
