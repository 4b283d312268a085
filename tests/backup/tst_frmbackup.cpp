#include "backup/Backup.h"
#include "backup/BackupFiles.h"
#include "backup/Frmbackup.h"
#include "backup/SealedBackup.h"
#include "calendar/SolarCalendar.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/SubjectFiles.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#ifdef Q_OS_LINUX
#include "support/FileSizeLimit.h"
#endif

using namespace velmora;

namespace {

QList<QStringList> subjects() {
    return ProgramFolder::rows("DBM/DB2.mdb", "SELECT * FROM \"IDE\" ORDER BY \"ID\"");
}

QList<QStringList> sheets() {
    return ProgramFolder::rows("DBM/DB2.mdb", "SELECT * FROM \"Answer\" ORDER BY \"ID\"");
}

// Run in a child process of this test: stores subjects one after another as
// the program does (the registration and its answer sheet in one transaction)
// until the file stop appears, and prints how many it stored.
int storeSubjectsUntilStopped(const QString& path, const QString& stop) {
    int stored = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open())
            return 2;
        for (int n = 0; !QFileInfo::exists(stop); ++n) {
            QSqlQuery q(db);
            bool ok = db.transaction();
            ok = ok && q.exec(QStringLiteral("INSERT INTO \"IDE\" (\"Code\", \"Tahsil\") "
                                             "VALUES ('W%1', '%2')")
                                  .arg(n)
                                  .arg(QString(300, QLatin1Char('w'))));
            ok = ok &&
                 q.exec(QStringLiteral("INSERT INTO \"Answer\" (\"Code\") VALUES ('W%1')").arg(n));
            q.finish();
            if (ok && db.commit())
                ++stored;
            else
                db.rollback();
            QThread::msleep(5);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("writer");
    std::printf("%d\n", stored);
    std::fflush(stdout);
    return 0;
}

// The statement that makes table as the program does, with one change.
QString changedTable(const QString& table, const QString& from, const QString& to) {
    for (const Database::SchemaObject& object : Database::schemaObjects(DbFile::Subjects))
        if (object.name == table) {
            QString sql = object.sql;
            return sql.replace(from, to);
        }
    return QString();
}

} // namespace

class TestFrmbackup : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    Frmbackup* open() {
        Frmbackup* w = Frmbackup::showWindow();
        return w;
    }

    QList<ScriptedPlatform::Interaction> boxes() { return platform().ofKind("messageBox"); }

    // The copy failure message, as the operator sees it.
    bool reportedCopyFailure() {
        const QList<ScriptedPlatform::Interaction> b = boxes();
        return !b.isEmpty() &&
               b.last().text.startsWith(QStringLiteral("اشکال در ايجاد نسخه پشتيباني") +
                                        QStringLiteral("\r\n")) &&
               b.last().icon == QMessageBox::Critical;
    }

private slots:
    void initTestCase() {
        const QString writer = qEnvironmentVariable("VELMORA_TEST_WRITER");
        if (!writer.isEmpty())
            std::exit(storeSubjectsUntilStopped(writer, qEnvironmentVariable("VELMORA_TEST_STOP")));
    }
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void windowAndControls() {
        Frmbackup* w = open();
        QCOMPARE(w->objectName(), QStringLiteral("Frmbackup"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Back up ...  Reastor"));
        QCOMPARE(w->size(), QSize(twips(8130), twips(3000)));
        QCOMPARE(w->pos(), QPoint(twips(2340), twips(765)));
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        struct Control {
            const char* name;
            QString caption;
            int left, top, width, height;
        };
        const Control controls[] = {
            {"VisualButtonEx2", QStringLiteral("BACKUP"), 5880, 360, 1215, 735},
            {"Text1", QString(), 360, 480, 4815, 375},
            {"b1", QStringLiteral("---"), 5280, 480, 495, 495},
            {"VisualButtonEx3", QStringLiteral("REASTOR"), 5895, 1560, 1215, 735},
            {"Text2", QString(), 360, 1680, 4815, 375},
            {"b2", QStringLiteral("---"), 5280, 1680, 495, 495},
            {"Label1", QString(), 2760, 60, 1575, 375},
            {"Label2", QString(), 1620, 60, 975, 375},
            {"Label3", QString(), 2040, 1140, 1575, 375},
            {"Command1", QStringLiteral("خروج"), 2460, 2220, 1455, 435},
        };
        for (const Control& c : controls) {
            auto* widget = w->findChild<QWidget*>(QString::fromLatin1(c.name));
            QVERIFY2(widget, c.name);
            QCOMPARE(widget->geometry(),
                     QRect(twips(c.left), twips(c.top), twips(c.width), twips(c.height)));
            QVERIFY(widget->isVisible());
            if (auto* button = qobject_cast<QPushButton*>(widget))
                QCOMPARE(button->text(), c.caption);
            if (auto* box = qobject_cast<QLineEdit*>(widget))
                QCOMPARE(box->text(), QString());
        }
        auto* timer = w->findChild<QTimer*>("Timer1");
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        auto* theme = w->findChild<QLineEdit*>("Text3");
        QVERIFY(theme && !theme->isVisible());
        QCOMPARE(theme->text(), QStringLiteral("1")); // the stored theme number
        QVERIFY(w->findChild<DataControl*>("Adodc1"));
        QVERIFY(w->findChild<SkinEngine*>("Skin1"));
        QVERIFY(w->findChild<QProgressBar*>("ProgressBar1")->isHidden());
    }

    // The path boxes read left to right in the right-to-left window, as a
    // path is written: the chosen file's folder first, from the left edge.
    void pathBoxesReadLeftToRight() {
        Frmbackup* w = open();
        QCOMPARE(w->layoutDirection(), Qt::RightToLeft);
        const QString folder = BackupFiles::backupFolder();
        platform().saveAnswers.enqueue(folder + QStringLiteral("/Velmora 1403-01-05.mdbB"));
        platform().openAnswers.enqueue(folder + QStringLiteral("/.hidden.mdbB"));
        QTest::mouseClick(w->b1, Qt::LeftButton);
        QTest::mouseClick(w->b2, Qt::LeftButton);
        for (QLineEdit* box : {w->Text1, w->Text2}) {
            QCOMPARE(box->layoutDirection(), Qt::LeftToRight);
            QVERIFY(box->alignment() & Qt::AlignLeft);
            QVERIFY(box->text().startsWith(folder));
            box->setCursorPosition(0);
            QVERIFY(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() <
                    box->width() / 4);
        }
    }

    void datesAndTimeAtLoad() {
        const QTime before = QTime::currentTime();
        Frmbackup* w = open();
        const QTime after = QTime::currentTime();
        QCOMPARE(w->Label1->text(), SolarDate(QDate::currentDate(), 4));
        QCOMPARE(w->Label3->text(), w->Label1->text());
        QVERIFY(w->Label2->text() == BackupFiles::timeText(before) ||
                w->Label2->text() == BackupFiles::timeText(after));
    }

    void theClockTicksEverySecond() {
        Frmbackup* w = open();
        w->Label2->setText(QStringLiteral("x"));
        w->Label1->setText(QStringLiteral("d"));
        QTRY_VERIFY_WITH_TIMEOUT(w->Label2->text() != QStringLiteral("x"), 1500);
        const QString now = BackupFiles::timeText(QTime::currentTime());
        const QString aMomentAgo = BackupFiles::timeText(QTime::currentTime().addSecs(-2));
        QVERIFY(w->Label2->text() == now || w->Label2->text() == aMomentAgo);
        // Only the time follows the clock; the dates keep the day the window opened.
        QCOMPARE(w->Label1->text(), QStringLiteral("d"));
    }

    void skinOfTheBackupWindow_data() {
        QTest::addColumn<QString>("theme");
        QTest::addColumn<QString>("file");
        QTest::newRow("7 is Zippo here") << "7"
                                         << "Zippo.skn";
        QTest::newRow("3") << "3"
                           << "galaxy.skn";
        QTest::newRow("10") << "10"
                            << "winaqua.skn";
        QTest::newRow("a fraction") << "7.5"
                                    << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void skinOfTheBackupWindow() {
        QFETCH(QString, theme);
        QFETCH(QString, file);
        ProgramFolder::exec("DBM/DB.mdb", "UPDATE \"Theme\" SET \"TH\" = ?", {theme});
        Frmbackup* w = open();
        QCOMPARE(w->Skin1->loadedFile(), file);
        QVERIFY(w->isVisible());
    }

    void saveDialogOffersTheDatedName() {
        Frmbackup* w = open();
        const QString chosen = m_folder->file("Back/chosen.mdbB");
        platform().saveAnswers.enqueue(chosen);
        QTest::mouseClick(w->b1, Qt::LeftButton);
        QCOMPARE(w->Text1->text(), chosen);
        const QList<ScriptedPlatform::Interaction> dialogs = platform().ofKind("saveFileName");
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first().folder, m_folder->file("Back"));
        QCOMPARE(dialogs.first().filter, BackupFiles::dialogFilter());
        QCOMPARE(dialogs.first().defaultName, QStringLiteral("در تاريخ") + w->Label3->text() +
                                                  QStringLiteral(" ساعت)") + w->Label2->text() +
                                                  QStringLiteral(")") + QStringLiteral(".mdbB"));
        // Cancelling keeps the path.
        QTest::mouseClick(w->b1, Qt::LeftButton);
        QCOMPARE(w->Text1->text(), chosen);
        QVERIFY(boxes().isEmpty());
        QCOMPARE(platform().endCount, 0);
    }

    void openDialogFindsBackupsInBack() {
        Frmbackup* w = open();
        const QString chosen = m_folder->file("Back/old.mdbB");
        platform().openAnswers.enqueue(chosen);
        QTest::mouseClick(w->b2, Qt::LeftButton);
        QCOMPARE(w->Text2->text(), chosen);
        const QList<ScriptedPlatform::Interaction> dialogs = platform().ofKind("openFileName");
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first().folder, m_folder->file("Back"));
        // Plain and sealed backups alike.
        QCOMPARE(dialogs.first().filter, SealedBackup::restoreDialogFilter());
        QVERIFY(dialogs.first().filter.startsWith(
            QStringLiteral("Database Backup (*.mdbB *.mdbB.age)")));
        QTest::mouseClick(w->b2, Qt::LeftButton);
        QCOMPARE(w->Text2->text(), chosen);
    }

    void emptyPathsAreAskedFor() {
        Frmbackup* w = open();
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        const QList<ScriptedPlatform::Interaction> b = boxes();
        QCOMPARE(b.size(), 2);
        QCOMPARE(b.at(0).text, QStringLiteral("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"));
        QCOMPARE(b.at(0).title, QStringLiteral("خطا"));
        QCOMPARE(b.at(0).icon, QMessageBox::Warning);
        QCOMPARE(b.at(1).text, QStringLiteral("لطفا مسير فايل مربوطه را وارد کنيد"));
        QCOMPARE(b.at(1).title, QStringLiteral("خطا"));
        QCOMPARE(b.at(1).icon, QMessageBox::Warning);
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
    }

    void backupToANewFile() {
        ProgramFolder::addSubject("A1");
        Frmbackup* w = open();
        // Another window still holds the subject table.
        QWidget other;
        DataControl held(QStringLiteral("IDE"), &other, QStringLiteral("Adodc2"));
        QCOMPARE(held.recordCount(), qint64(1));
        QVERIFY(subjectConnectionOpen());
        bool closedDuringMessage = false;
        platform().onModal = [&](const ScriptedPlatform::Interaction&) {
            closedDuringMessage = !subjectConnectionOpen();
        };
        const QString path = m_folder->file("Back/new.mdbB");
        w->Text1->setText(path);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        platform().onModal = nullptr;
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QCOMPARE(boxes().first().icon, QMessageBox::NoIcon);
        QCOMPARE(boxes().first().title, applicationTitle());
        QVERIFY(closedDuringMessage);
        QCOMPARE(bytesOf(path), bytesOf(m_folder->file("DBM/DB2.mdb")));
        QCOMPARE(platform().endCount, 1);
        // The other window's data control opens the file again when it is used.
        QVERIFY(held.refresh());
        QCOMPARE(held.recordCount(), qint64(1));
    }

    void backupOverAnExistingFile_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << int(QMessageBox::No);
        QTest::newRow("Yes") << int(QMessageBox::Yes);
    }
    void backupOverAnExistingFile() {
        QFETCH(int, answer);
        const QString path = m_folder->file("Back/old.mdbB");
        writeFile(path, "an older backup");
        Frmbackup* w = open();
        w->Text1->setText(path);
        platform().messageAnswers.enqueue(QMessageBox::StandardButton(answer));
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        const QList<ScriptedPlatform::Interaction> b = boxes();
        QCOMPARE(b.size(), 2);
        QCOMPARE(
            b.at(0).text,
            QStringLiteral(
                "فايل پشتيباني با اين نام قبلا ايجاد شده آيا ميخواهيد اين فايل را جايگزين کنيد؟"));
        QCOMPARE(b.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(b.at(0).icon, QMessageBox::NoIcon);
        QCOMPARE(b.at(0).title, applicationTitle());
        if (answer == QMessageBox::No) {
            QCOMPARE(b.at(1).text, QStringLiteral("عدم موفقيت در تهيه نسخه پشتيبان"));
            QCOMPARE(b.at(1).icon, QMessageBox::Information);
            QCOMPARE(bytesOf(path), QByteArray("an older backup"));
            QCOMPARE(platform().endCount, 0);
            QVERIFY(w->isVisible());
        } else {
            QCOMPARE(b.at(1).text, QStringLiteral("نسخه پشتيبان تهيه گرديد"));
            QCOMPARE(bytesOf(path), bytesOf(m_folder->file("DBM/DB2.mdb")));
            QCOMPARE(platform().endCount, 1);
        }
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"old.mdbB"});
    }

    void backupOntoADatabaseIsRefused_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("the subject database") << "DBM/DB2.mdb";
        QTest::newRow("its full path") << "%1/DBM/DB2.mdb";
        QTest::newRow("another spelling") << "%1/Back/../DBM/./DB2.mdb";
        QTest::newRow("the settings database") << "DBM/DB.mdb";
    }
    void backupOntoADatabaseIsRefused() {
        QFETCH(QString, path);
        if (path.contains("%1"))
            path = path.arg(m_folder->path());
        ProgramFolder::addSubject("A1");
        const QByteArray subjects = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QByteArray settings = bytesOf(m_folder->file("DBM/DB.mdb"));
        Frmbackup* w = open();
        w->Text1->setText(path);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد")));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), subjects);
        QCOMPARE(bytesOf(m_folder->file("DBM/DB.mdb")), settings);
        QCOMPARE(filesIn(m_folder->file("DBM")), QStringList({"Audit.db", "DB.mdb", "DB2.mdb"}));
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
        QString why;
        QVERIFY2(Database::openAll(&why), qPrintable(why));
    }

    void backupIntoAMissingFolderFails() {
        Frmbackup* w = open();
        const QString path = m_folder->file("Nowhere/new.mdbB");
        w->Text1->setText(path);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(boxes().size(), 1); // no question: nothing exists there
        QVERIFY(reportedCopyFailure());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(m_folder->file("Nowhere")));
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
        QVERIFY(w->VisualButtonEx2->isEnabled());
    }

    void backupOntoAFullDiskLeavesNoFile() {
#ifdef Q_OS_LINUX
        for (int i = 0; i < 30; ++i)
            ProgramFolder::addSubject(QStringLiteral("S%1").arg(i));
        QVERIFY(QFileInfo(m_folder->file("DBM/DB2.mdb")).size() > 10000);
        Frmbackup* w = open();
        w->Text1->setText(m_folder->file("Back/full.mdbB"));
        {
            FileSizeLimit limit(10000);
            QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        }
        QVERIFY(reportedCopyFailure());
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList());
        QCOMPARE(platform().endCount, 0);
#else
        QSKIP("needs a per-process file size limit");
#endif
    }

    void restoreNotConfirmed() {
        const QString backup = m_folder->file("Back/b.mdbB");
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), backup));
        ProgramFolder::addSubject("A1");
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        Frmbackup* w = open();
        w->Text2->setText(backup);
        platform().messageAnswers.enqueue(QMessageBox::No);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        const QList<ScriptedPlatform::Interaction> b = boxes();
        QCOMPARE(b.size(), 2);
        QCOMPARE(b.at(0).text, QStringLiteral("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"));
        QCOMPARE(b.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(b.at(0).icon, QMessageBox::NoIcon);
        QCOMPARE(b.at(1).text, QStringLiteral("عدم موفقيت در بازيابي اطلاعات "));
        QCOMPARE(b.at(1).icon, QMessageBox::NoIcon);
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
        QCOMPARE(platform().endCount, 0);
    }

    void restoreFromAMissingFileFails() {
        ProgramFolder::addSubject("A1");
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        Frmbackup* w = open();
        w->Text2->setText(m_folder->file("Back/none.mdbB"));
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("بازيابي اطلاعات انجام شد")));
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/none.mdbB")));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
    }

    void restoreRefusesWhatIsNotASubjectDatabase_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a photo") << "photo";
        QTest::newRow("an empty file") << "empty";
        QTest::newRow("a truncated backup") << "truncated";
        QTest::newRow("the settings database") << "settings";
        QTest::newRow("the subject database itself") << "itself";
    }
    void restoreRefusesWhatIsNotASubjectDatabase() {
        QFETCH(QString, kind);
        for (int i = 0; i < 30; ++i)
            ProgramFolder::addSubject(QStringLiteral("S%1").arg(i));
        QString source = m_folder->file("Back/bad.mdbB");
        if (kind == "photo") {
            QByteArray photo("\x89PNG\r\n\x1a\n", 8);
            photo += QByteArray(30000, '\x42');
            writeFile(source, photo);
        } else if (kind == "empty") {
            writeFile(source, QByteArray());
        } else if (kind == "truncated") {
            const QByteArray whole = bytesOf(m_folder->file("DBM/DB2.mdb"));
            QVERIFY(whole.size() > 8192);
            writeFile(source, whole.left(whole.size() / 2));
        } else if (kind == "settings") {
            source = m_folder->file("DBM/DB.mdb");
        } else {
            source = m_folder->file("DBM/DB2.mdb");
        }
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QStringList back = filesIn(m_folder->file("Back"));
        const QStringList dbm = filesIn(m_folder->file("DBM"));
        Frmbackup* w = open();
        w->Text2->setText(source);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("بازيابي اطلاعات انجام شد")));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
        QCOMPARE(filesIn(m_folder->file("DBM")), dbm);
        QCOMPARE(filesIn(m_folder->file("Back")), back); // nothing to undo, so no safety copy
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
        QCOMPARE(subjects().size(), 30);
    }

    void backupThenRestoreGivesBackTheFirstState() {
        ProgramFolder::addSubject("A1", "Sara", "Karimi", "B");
        ProgramFolder::addSubject("A2", "Reza", "Amini", "C");
        ProgramFolder::setAnswers("A1", {"5", "4", "3", "", "1"});
        const QList<QStringList> firstSubjects = subjects();
        const QList<QStringList> firstSheets = sheets();

        // The backup, at the end of one run.
        Frmbackup* w = open();
        const QString backup =
            QDir(BackupFiles::backupFolder())
                .filePath(BackupFiles::defaultBackupName(w->Label3->text(), w->Label2->text()));
        platform().saveAnswers.enqueue(backup);
        QTest::mouseClick(w->b1, Qt::LeftButton);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        const QByteArray backupBytes = bytesOf(backup);
        QCOMPARE(backupBytes, bytesOf(m_folder->file("DBM/DB2.mdb")));

        // More work in a later run.
        deleteAllWindows();
        platform().clear();
        ProgramFolder::addSubject("B1");
        ProgramFolder::addSubject("B2");
        ProgramFolder::setAnswers("A1", {"1", "1", "1", "1", "1", "1"});
        const QList<QStringList> laterSubjects = subjects();
        const QByteArray laterBytes = bytesOf(m_folder->file("DBM/DB2.mdb"));
        QCOMPARE(laterSubjects.size(), 4);

        // The restore dialog finds the backup by its filter.
        QCOMPARE(QDir(BackupFiles::backupFolder()).entryList({"*.mdbB"}, QDir::Files),
                 QStringList{QFileInfo(backup).fileName()});
        w = open();
        platform().openAnswers.enqueue(backup);
        QTest::mouseClick(w->b2, Qt::LeftButton);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        const QStringList texts = platform().messageTexts();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.at(0), QStringLiteral("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"));
        QVERIFY(texts.at(1).startsWith(QStringLiteral("بازيابي اطلاعات انجام شد") +
                                       QStringLiteral("\r\n")));
        QCOMPARE(platform().endCount, 1);

        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), backupBytes);
        QCOMPARE(subjects(), firstSubjects);
        QCOMPARE(sheets(), firstSheets);
        QCOMPARE(filesIn(m_folder->file("DBM")), QStringList({"Audit.db", "DB.mdb", "DB2.mdb"}));

        // The database as it was before the restore is kept beside the backup.
        QStringList kept = QDir(BackupFiles::backupFolder()).entryList({"*.mdbB"}, QDir::Files);
        kept.removeAll(QFileInfo(backup).fileName());
        QCOMPARE(kept.size(), 1);
        QCOMPARE(bytesOf(QDir(BackupFiles::backupFolder()).filePath(kept.first())), laterBytes);
        QCOMPARE(filesIn(BackupFiles::backupFolder()).size(), 2);
        // Its name cannot be taken for a backup of the operator's own, and the
        // success message says where it is, its path kept whole in the Persian
        // text.
        QVERIFY(kept.first().startsWith(QStringLiteral("پيش از بازيابي")));
        QVERIFY(texts.at(1).endsWith(
            isolatedPath(QDir(BackupFiles::backupFolder()).filePath(kept.first()))));

        // The restored database opens and shows its subjects.
        QString why;
        QVERIFY2(Database::openAll(&why), qPrintable(why));
        QWidget reader;
        DataControl ide(QStringLiteral("IDE"), &reader, QStringLiteral("Adodc2"));
        QCOMPARE(ide.recordCount(), qint64(2));
        QVERIFY(ide.setFilter("Code", "A1"));
        QCOMPARE(ide.field("FName"), QStringLiteral("Sara"));
        QVERIFY(ide.setFilter("Code", "B1"));
        QVERIFY(ide.bof());
    }

    void aDatabaseInUseElsewhereIsLeftAlone_data() {
        QTest::addColumn<bool>("restore");
        QTest::newRow("backup") << false;
        QTest::newRow("restore") << true;
    }
    void aDatabaseInUseElsewhereIsLeftAlone() {
        QFETCH(bool, restore);
        const QString backup = m_folder->file("Back/r.mdbB");
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), backup));
        ProgramFolder::addSubject("A1");
        const QString db = m_folder->file("DBM/DB2.mdb");
        {
            // Another program is in the middle of a save.
            QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
            holder.setDatabaseName(db);
            QVERIFY(holder.open());
            QSqlQuery q(holder);
            QVERIFY(q.exec("BEGIN IMMEDIATE"));
            QVERIFY(q.exec("UPDATE \"IDE\" SET \"FName\" = 'changed'"));
            QVERIFY(QFileInfo(db + "-journal").size() > 0);
            const QByteArray before = bytesOf(db);

            Frmbackup* w = open();
            if (restore) {
                w->Text2->setText(backup);
                platform().messageAnswers.enqueue(QMessageBox::Yes);
                QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
                QCOMPARE(boxes().size(), 2);
                QCOMPARE(boxes().last().title, QStringLiteral("خطا"));
                QCOMPARE(boxes().last().icon, QMessageBox::Warning);
                QVERIFY(boxes().last().text.endsWith(
                    QStringLiteral("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره")));
                QVERIFY(boxes().last().text.size() >
                        QString(QStringLiteral("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره"))
                            .size());
            } else {
                w->Text1->setText(m_folder->file("Back/new.mdbB"));
                QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
                QCOMPARE(boxes().size(), 1);
                QCOMPARE(boxes().last().title, QStringLiteral("Error"));
                QCOMPARE(boxes().last().icon, QMessageBox::NoIcon);
                QVERIFY(!boxes().last().text.isEmpty());
            }
            QCOMPARE(bytesOf(db), before);
            QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"r.mdbB"});
            QCOMPARE(platform().endCount, 0);
            QVERIFY(w->isVisible());
            QVERIFY(q.exec("ROLLBACK"));
            q.finish();
            holder.close();
        }
        QSqlDatabase::removeDatabase("holder");
        QCOMPARE(subjects().size(), 1);
        QCOMPARE(subjects().first().at(2), QStringLiteral("F"));
    }

    void everyWayOutEndsTheProgram_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("exit button") << "button";
        QTest::newRow("window frame") << "frame";
        QTest::newRow("escape key") << "escape";
        QTest::newRow("completed backup") << "backup";
        QTest::newRow("completed restore") << "restore";
    }
    void everyWayOutEndsTheProgram() {
        QFETCH(QString, way);
        const QString backup = m_folder->file("Back/r.mdbB");
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), backup));
        QPointer<Frmbackup> w = open();
        if (way == "button") {
            QTest::mouseClick(w->Command1, Qt::LeftButton);
        } else if (way == "frame") {
            w->close();
        } else if (way == "escape") {
            QVERIFY(QTest::qWaitForWindowActive(w));
            QVERIFY(w->focusWidget());
            pressKey(w, Qt::Key_Escape);
        } else if (way == "backup") {
            w->Text1->setText(m_folder->file("Back/new.mdbB"));
            QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        } else {
            w->Text2->setText(backup);
            platform().messageAnswers.enqueue(QMessageBox::Yes);
            QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        }
        QCOMPARE(platform().endCount, 1);
        if (way == "button" || way == "frame" || way == "escape") {
            QVERIFY(boxes().isEmpty());
            QTRY_VERIFY(w.isNull()); // destroyed when it closes
        }
    }

    void aLongCopyKeepsTheWindowAlive() {
        // A database of a few megabytes: hundreds of chunks.
        ProgramFolder::exec("DBM/DB2.mdb",
                            "INSERT INTO \"IDE\" (\"Code\", \"Tahsil\") VALUES ('big', ?)",
                            {QString(3000000, QLatin1Char('x'))});
        Frmbackup* w = open();
        const QString path = m_folder->file("Back/long.mdbB");
        w->Text1->setText(path);
        w->Label2->setText(QStringLiteral("x"));
        bool copying = false, progress = false, ticked = false, buttonsOff = false,
             stillOpen = false;
        qsizetype boxesDuring = -1;
        // The copy is slowed down once, long enough for the clock to tick and the
        // progress bar to appear; then the operator clicks around.
        QTimer::singleShot(0, [] { QThread::msleep(1200); });
        QTimer::singleShot(1100, [&] {
            copying = w->copying();
            progress = !w->ProgressBar1->isHidden();
            ticked = w->Label2->text() != QStringLiteral("x");
            buttonsOff = !w->VisualButtonEx2->isEnabled() && !w->VisualButtonEx3->isEnabled() &&
                         !w->Command1->isEnabled();
            QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
            w->VisualButtonEx2_Click();
            w->VisualButtonEx3_Click();
            w->close();
            stillOpen = w->isVisible();
            boxesDuring = boxes().size();
        });
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QVERIFY(copying);
        QVERIFY(progress);
        QVERIFY(ticked);
        QVERIFY(buttonsOff);
        QVERIFY(stillOpen);
        QCOMPARE(boxesDuring, 0);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QCOMPARE(platform().endCount, 1);
        QCOMPARE(bytesOf(path), bytesOf(m_folder->file("DBM/DB2.mdb")));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"long.mdbB"});
        QVERIFY(w->ProgressBar1->isHidden());
        QVERIFY(w->VisualButtonEx2->isEnabled());
    }

    void theWindowStaysAliveWhileTheCopyIsChecked() {
        // Large enough that its check outlasts the window's first look at it
        // even on a busy machine (a quick check can end before the window
        // waits for it, and then there is nothing to stay alive for).
        ProgramFolder::exec("DBM/DB2.mdb",
                            "INSERT INTO \"IDE\" (\"Code\", \"Tahsil\") VALUES ('big', ?)",
                            {QString(20000000, QLatin1Char('x'))});
        const qint64 size = QFileInfo(m_folder->file("DBM/DB2.mdb")).size();
        Frmbackup* w = open();
        w->Text1->setText(m_folder->file("Back/checked.mdbB"));
        // Events reach the window while the whole copy waits beside its place.
        bool aliveWhileChecked = false;
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, [&] {
            if (!w->copying())
                return;
            for (const QString& name : filesIn(m_folder->file("Back")))
                if (name.endsWith(QLatin1String(".part")) &&
                    QFileInfo(m_folder->file("Back/" + name)).size() == size)
                    aliveWhileChecked = true;
        });
        probe.start();
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        probe.stop();
        QVERIFY(aliveWhileChecked);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QCOMPARE(bytesOf(m_folder->file("Back/checked.mdbB")),
                 bytesOf(m_folder->file("DBM/DB2.mdb")));
    }

    void restoreRefusesWhatVelmoraDoesNotMake_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("object");
        QTest::newRow("a trigger that deletes every answer sheet")
            << QStringList{"CREATE TRIGGER \"wipe\" AFTER INSERT ON \"IDE\" BEGIN DELETE FROM "
                           "\"Answer\"; END"}
            << "wipe";
        QTest::newRow("a view") << QStringList{"CREATE VIEW \"everyone\" AS SELECT * FROM \"IDE\""}
                                << "everyone";
        QTest::newRow("another table")
            << QStringList{"CREATE TABLE \"Notes\" (\"Text\" TEXT)"} << "Notes";
        // Without its unique index a file may hold a code twice; the lookup
        // and the export would list the subject twice.
        QTest::newRow("a code held twice, its unique index gone")
            << QStringList{"DROP INDEX \"IDE_Code\"",
                           "INSERT INTO \"IDE\" (\"Code\", \"FName\") VALUES ('S7', 'other')"}
            << "S7";
        QTest::newRow("a sheet held twice, its unique index gone")
            << QStringList{"DROP INDEX \"Answer_Code\"",
                           "INSERT INTO \"Answer\" (\"Code\") VALUES ('S12')"}
            << "Answer";
        QTest::newRow("IDE_Code not unique")
            << QStringList{"DROP INDEX \"IDE_Code\"",
                           "CREATE INDEX \"IDE_Code\" ON \"IDE\" (\"Code\")"}
            << "IDE_Code";
        QTest::newRow("IDE_Code unique for some codes only")
            << QStringList{"DROP INDEX \"IDE_Code\"",
                           "CREATE UNIQUE INDEX \"IDE_Code\" ON \"IDE\" (\"Code\") WHERE \"Code\" "
                           "> 'S5'"}
            << "IDE_Code";
        QTest::newRow("another index")
            << QStringList{"CREATE INDEX \"IDE_Sen\" ON \"IDE\" (\"Sen\")"} << "IDE_Sen";
        QTest::newRow("a changed column type")
            << QStringList{"ALTER TABLE \"IDE\" RENAME TO \"Old\"",
                           changedTable("IDE", "\"Code\" TEXT", "\"Code\" INTEGER"),
                           "INSERT INTO \"IDE\" SELECT * FROM \"Old\"", "DROP TABLE \"Old\""}
            << "IDE";
        QTest::newRow("a code that replaces the subject holding it")
            << QStringList{"ALTER TABLE \"IDE\" RENAME TO \"Old\"",
                           changedTable("IDE", "\"Code\" TEXT",
                                        "\"Code\" TEXT UNIQUE ON CONFLICT REPLACE"),
                           "INSERT INTO \"IDE\" SELECT * FROM \"Old\"", "DROP TABLE \"Old\""}
            << "IDE";
    }
    void restoreRefusesWhatVelmoraDoesNotMake() {
        QFETCH(QStringList, statements);
        QFETCH(QString, object);
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 30));
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), m_folder->file("Back/crafted.mdbB")));
        for (const QString& sql : statements)
            ProgramFolder::exec("Back/crafted.mdbB", sql);
        // The file is otherwise whole: only what it defines is wrong.
        QCOMPARE(ProgramFolder::value("Back/crafted.mdbB", "PRAGMA integrity_check"),
                 QStringLiteral("ok"));
        ProgramFolder::addSubject("A1");
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QStringList back = filesIn(m_folder->file("Back"));
        const QStringList dbm = filesIn(m_folder->file("DBM"));

        Frmbackup* w = open();
        w->Text2->setText(m_folder->file("Back/crafted.mdbB"));
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        const QString reason = boxes().last().text.section(QStringLiteral("\r\n"), 1);
        QVERIFY2(reason.startsWith(QStringLiteral("اين فايل پايگاه داده آزمودني ها نيست")),
                 qPrintable(reason));
        // The object's name is kept whole in the Persian sentence.
        QVERIFY2(reason.contains(QStringLiteral("«") + isolatedText(object) + QStringLiteral("»")),
                 qPrintable(reason));
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("بازيابي اطلاعات انجام شد")));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
        QCOMPARE(filesIn(m_folder->file("DBM")), dbm);
        QCOMPARE(filesIn(m_folder->file("Back")), back);
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
    }

    void restoreOfAFileInWriteAheadLogMode() {
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 20));
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), m_folder->file("Back/wal.mdbB")));
        QCOMPARE(ProgramFolder::value("Back/wal.mdbB", "PRAGMA journal_mode = WAL"),
                 QStringLiteral("wal"));
        QCOMPARE(bytesOf(m_folder->file("Back/wal.mdbB")).mid(18, 2), QByteArray("\x02\x02"));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"wal.mdbB"});
        ProgramFolder::addSubject("A1");

        Frmbackup* w = open();
        w->Text2->setText(m_folder->file("Back/wal.mdbB"));
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QVERIFY(platform().messageTexts().last().startsWith(
            QStringLiteral("بازيابي اطلاعات انجام شد")));
        QCOMPARE(platform().endCount, 1);

        // A file of the program's own journal mode, with nothing beside it.
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")).mid(18, 2), QByteArray("\x01\x01"));
        QCOMPARE(filesIn(m_folder->file("DBM")), QStringList({"Audit.db", "DB.mdb", "DB2.mdb"}));
        QCOMPARE(subjects().size(), 20);
        QString why;
        QVERIFY2(Database::openAll(&why), qPrintable(why));
        ProgramFolder::addSubject("B1");
        Database::closeAll();
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "PRAGMA journal_mode"),
                 QStringLiteral("delete"));
        QCOMPARE(filesIn(m_folder->file("DBM")), QStringList({"Audit.db", "DB.mdb", "DB2.mdb"}));
        QCOMPARE(filesIn(m_folder->file("Back")).size(), 2); // the backup and the safety copy
    }

    // The chosen backup is in write-ahead-log mode and its latest rows live
    // only in the -wal beside it: the restore brings them, and the operator's
    // two files stay as they were.
    void restoreBringsTheRowsOfTheWriteAheadLogBesideTheFile() {
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 20));
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), m_folder->file("Back/base.mdbB")));
        const QString backup = m_folder->file("Back/side.mdbB");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "wal-writer");
            db.setDatabaseName(m_folder->file("Back/base.mdbB"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("PRAGMA journal_mode = WAL") && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
            QVERIFY(q.exec("PRAGMA wal_autocheckpoint = 0"));
            for (int n = 1; n <= 5; ++n)
                QVERIFY(q.exec(
                    QStringLiteral("INSERT INTO \"IDE\" (\"Code\") VALUES ('WAL%1')").arg(n)));
            q.finish();
            // The file and its log as they are while the writer still has them.
            QVERIFY(QFile::copy(m_folder->file("Back/base.mdbB"), backup));
            QVERIFY(QFile::copy(m_folder->file("Back/base.mdbB-wal"), backup + "-wal"));
            db.close();
        }
        QSqlDatabase::removeDatabase("wal-writer");
        QFile::remove(m_folder->file("Back/base.mdbB"));
        QVERIFY(QFileInfo(backup + "-wal").size() > 0);
        const QByteArray file = bytesOf(backup);
        const QByteArray log = bytesOf(backup + "-wal");
        ProgramFolder::addSubject("A1");

        Frmbackup* w = open();
        w->Text2->setText(backup);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QVERIFY2(
            platform().messageTexts().last().startsWith(QStringLiteral("بازيابي اطلاعات انجام شد")),
            qPrintable(platform().messageTexts().last()));
        QCOMPARE(subjects().size(), 25);
        QCOMPARE(subjects().last().at(1), QStringLiteral("WAL5"));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")).mid(18, 2), QByteArray("\x01\x01"));
        QCOMPARE(filesIn(m_folder->file("DBM")), QStringList({"Audit.db", "DB.mdb", "DB2.mdb"}));
        QCOMPARE(bytesOf(backup), file);
        QCOMPARE(bytesOf(backup + "-wal"), log);
        QStringList back = filesIn(m_folder->file("Back"));
        QCOMPARE(back.filter(QStringLiteral(".part")), QStringList());
        QCOMPARE(back.size(), 3); // the backup, its log and the safety copy
    }

    void backupOfADamagedDatabaseIsKeptAsDamaged() {
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 30));
        Database::closeAll();
        QVERIFY(overwriteTablePage(m_folder->file("DBM/DB2.mdb"), "IDE"));
        const QByteArray damaged = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QString older = m_folder->file("Back/b.mdbB");
        writeFile(older, "an older backup");

        Frmbackup* w = open();
        w->Text1->setText(older);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد")));
        const QString kept = m_folder->file(QStringLiteral("Back/b-آسيب ديده.mdbB"));
        const QString text = boxes().last().text;
        QVERIFY2(text.contains(QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است")),
                 qPrintable(text));
        QVERIFY2(text.endsWith(isolatedPath(kept)), qPrintable(text));
        // Nothing is lost, and nothing passes for a good backup.
        QCOMPARE(bytesOf(kept), damaged);
        QCOMPARE(bytesOf(older), QByteArray("an older backup"));
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), damaged);
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList({"b-آسيب ديده.mdbB", "b.mdbB"}));
        QCOMPARE(platform().endCount, 0);
        QVERIFY(w->isVisible());
    }

    void backupWhileAnotherProgramStoresSubjects() {
        // A clinic's file, large enough for a copy to take a while.
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 30000, 400));
        Database::closeAll();
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELMORA_TEST_WRITER", m_folder->file("DBM/DB2.mdb"));
        environment.insert("VELMORA_TEST_STOP", m_folder->file("stop"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        writer.setProcessEnvironment(environment);
        writer.start(QCoreApplication::applicationFilePath(), {"windowAndControls"});
        QVERIFY(writer.waitForStarted());
        auto stored = [] {
            return ProgramFolder::value("DBM/DB2.mdb",
                                        "SELECT COUNT(*) FROM \"IDE\" WHERE \"Code\" LIKE 'W%'")
                .toInt();
        };
        QTRY_VERIFY_WITH_TIMEOUT(stored() > 0, 10000);

        int made = 0;
        QElapsedTimer clock;
        clock.start();
        for (int attempt = 0; made < 10 && clock.elapsed() < 120000; ++attempt) {
            const QString name = QStringLiteral("Back/b%1.mdbB").arg(attempt);
            platform().clear();
            Frmbackup* w = open();
            w->Text1->setText(m_folder->file(name));
            const int before = stored();
            QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
            deleteAllWindows();
            if (!platform().messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد"))) {
                // Refused (the other program was in the middle of a save): no file.
                QVERIFY(!QFileInfo::exists(m_folder->file(name)));
                continue;
            }
            ++made;
            QCOMPARE(ProgramFolder::value(name, "PRAGMA integrity_check"), QStringLiteral("ok"));
            QCOMPARE(ProgramFolder::value(name, "SELECT COUNT(*) FROM \"IDE\""),
                     ProgramFolder::value(name, "SELECT COUNT(*) FROM \"Answer\""));
            QVERIFY(ProgramFolder::value(name, "SELECT COUNT(*) FROM \"IDE\"").toInt() >=
                    30000 + before);
            QFile::remove(m_folder->file(name));
        }
        writeFile(m_folder->file("stop"), "");
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(made, 10);
        // The child's last line is how many subjects it stored.
        QVERIFY(writer.readAllStandardOutput().trimmed().split('\n').last().toInt() > 0);
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "PRAGMA integrity_check"),
                 QStringLiteral("ok"));
    }

    void restoreWithoutRoomForTheSafetyCopy_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("restoreAnyway");
        QTest::newRow("Back is a file, the operator declines") << "file" << false;
        QTest::newRow("Back is a file, the operator restores") << "file" << true;
        QTest::newRow("the disk fills, the operator declines") << "full" << false;
        QTest::newRow("the disk fills, the operator restores") << "full" << true;
    }
    void restoreWithoutRoomForTheSafetyCopy() {
#ifdef Q_OS_LINUX
        QFETCH(QString, obstacle);
        QFETCH(bool, restoreAnyway);
        QVERIFY(addSubjects(m_folder->file("DBM/DB2.mdb"), 20));
        const QString backup = m_folder->file("r.mdbB");
        QVERIFY(QFile::copy(m_folder->file("DBM/DB2.mdb"), backup));
        const QByteArray backupBytes = bytesOf(backup);
        // The current database has grown far past the backup.
        ProgramFolder::exec("DBM/DB2.mdb",
                            "INSERT INTO \"IDE\" (\"Code\", \"Tahsil\") VALUES ('big', ?)",
                            {QString(200000, QLatin1Char('x'))});
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        QVERIFY(database.size() > 4 * backupBytes.size());
        if (obstacle == "file") {
            QVERIFY(QDir(m_folder->file("Back")).removeRecursively());
            writeFile(m_folder->file("Back"), "not a folder");
        }
        const QStringList dbm = filesIn(m_folder->file("DBM"));

        Frmbackup* w = open();
        w->Text2->setText(backup);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        if (restoreAnyway)
            platform().messageAnswers.enqueue(QMessageBox::Yes);
        {
            // Room for the restored copy, not for the current database.
            FileSizeLimit limit(obstacle == "full" ? 2 * backupBytes.size() : RLIM_INFINITY);
            QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        }
        const QList<ScriptedPlatform::Interaction> b = boxes();
        QCOMPARE(b.size(), 3);
        QVERIFY2(
            b.at(1).text.startsWith(QStringLiteral("پايگاه داده فعلي در پوشه Back نگه داشته نشد")),
            qPrintable(b.at(1).text));
        QCOMPARE(b.at(1).buttons, QMessageBox::Yes | QMessageBox::No);
        if (obstacle == "file")
            QCOMPARE(bytesOf(m_folder->file("Back")), QByteArray("not a folder"));
        else
            QCOMPARE(filesIn(m_folder->file("Back")), QStringList());
        if (restoreAnyway) {
            QVERIFY(b.at(2).text.startsWith(QStringLiteral("بازيابي اطلاعات انجام شد") +
                                            QStringLiteral("\r\n")));
            QVERIFY(b.at(2).text.endsWith(QStringLiteral("نگه داشته نشد.")));
            QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), backupBytes);
            QCOMPARE(platform().endCount, 1);
        } else {
            // No answer is No.
            QCOMPARE(b.at(2).text, QStringLiteral("عدم موفقيت در بازيابي اطلاعات "));
            QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
            QCOMPARE(filesIn(m_folder->file("DBM")), dbm);
            QCOMPARE(platform().endCount, 0);
            QVERIFY(w->isVisible());
        }
#else
        QSKIP("needs a per-process file size limit");
#endif
    }

    void backupOntoAPipeIsRefused() {
#ifdef Q_OS_UNIX
        const QString pipe = m_folder->file("Back/pipe.mdbB");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        Frmbackup* w = open();
        w->Text1->setText(pipe);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QVERIFY(reportedCopyFailure());
        QVERIFY(!platform().messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد")));
        struct stat st;
        QVERIFY(::lstat(QFile::encodeName(pipe).constData(), &st) == 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(filesIn(m_folder->file("Back")), QStringList{"pipe.mdbB"});
        QCOMPARE(platform().endCount, 0);
#else
        QSKIP("needs pipes");
#endif
    }

    void whatTheWindowWritesIsForTheOwnerOnly() {
#ifdef Q_OS_UNIX
        ProgramFolder::addSubject("A1");
        Umask open(0);
        Frmbackup* w = this->open();
        const QString backup = m_folder->file("Back/new.mdbB");
        w->Text1->setText(backup);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QCOMPARE(fileMode(backup), 0600);
        deleteAllWindows();
        ProgramFolder::addSubject("A2");
        w = this->open();
        w->Text2->setText(backup);
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        QCOMPARE(platform().endCount, 2);
        QCOMPARE(fileMode(m_folder->file("DBM/DB2.mdb")), 0600);
        const QStringList back = filesIn(m_folder->file("Back"));
        QCOMPARE(back.size(), 2);
        for (const QString& name : back)
            QCOMPARE(fileMode(QDir(m_folder->file("Back")).filePath(name)), 0600);
#else
        QSKIP("needs Unix permissions");
#endif
    }
};

VELMORA_TEST_MAIN(TestFrmbackup)
#include "tst_frmbackup.moc"
