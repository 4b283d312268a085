#include "backup/BackupFiles.h"
#include "backup/BackupRoutes.h"
#include "backup/ClinicKey.h"
#include "backup/Frmbackup.h"
#include "backup/SealedBackup.h"
#include "data/Database.h"
#include "support/AgeFiles.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace velmora;

// Backups sealed with the clinic key, through the backup window: the key's
// life, the sealed backup and its restore, both ways with the stock age, and
// every file that must be refused with nothing changed.
namespace {

const QByteArray Passphrase = "a clinic's passphrase";

// Subjects whose names and codes a sealed file must not show.
const QStringList Codes{QStringLiteral("ZQ-4711-K"), QStringLiteral("ZQ-4712-M")};
const QStringList FirstNames{QStringLiteral("Shirinak"), QStringLiteral("فرشته‌نيک")};
const QStringList LastNames{QStringLiteral("Tehranizadeh"), QStringLiteral("کاظمي‌پور")};

QString subjectsQuery() {
    return QStringLiteral("SELECT \"Code\", \"FName\", \"LName\", \"Group\", \"Tahsil\" FROM "
                          "\"IDE\" ORDER BY \"Code\"");
}

QList<QStringList> storedSubjects() {
    return ProgramFolder::rows(QStringLiteral("DBM/DB2.mdb"), subjectsQuery());
}

// The same rows read from a plain subject file.
QList<QStringList> subjectsOfFile(const QString& path) {
    QList<QStringList> rows;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("file-subjects"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(subjectsQuery());
            while (q.next()) {
                QStringList row;
                for (int i = 0; i < 5; ++i)
                    row.append(q.value(i).toString());
                rows.append(row);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("file-subjects"));
    return rows;
}

// Two subjects with their answers, and enough text for a file of several
// of age's 64 KiB chunks.
void fill() {
    for (int i = 0; i < Codes.size(); ++i) {
        ProgramFolder::addSubject(Codes.at(i), FirstNames.at(i), LastNames.at(i));
        ProgramFolder::setAnswers(Codes.at(i), {"5", "4", "3", "2", "1"});
    }
    ProgramFolder::exec(QStringLiteral("DBM/DB2.mdb"),
                        "INSERT INTO \"IDE\" (\"Code\", \"Tahsil\") VALUES ('pad', ?)",
                        {QString(300000, QLatin1Char('p'))});
}

QString passphraseText() {
    return QString::fromUtf8(Passphrase);
}

} // namespace

class TestSealedBackup : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;
    // One clinic key for every case (making one takes seconds of scrypt).
    QByteArray m_identity;
    QString m_recipient;
    QByteArray m_sealedKey;

    ScriptedPlatform& platform() { return m_folder->platform(); }
    QList<ScriptedPlatform::Interaction> boxes() { return platform().ofKind("messageBox"); }

    void installKey() {
        ClinicKey::Prepared key;
        key.identity = Secret(m_identity);
        key.recipient = m_recipient;
        key.sealed = m_sealedKey;
        ClinicKey::Made made;
        QString why;
        QVERIFY2(ClinicKey::install(&key, &made, &why), qPrintable(why));
    }

    // A sealed backup through the window: true when it reported it made.
    bool backUpSealed(const QString& path) {
        Frmbackup* w = Frmbackup::showWindow();
        w->Text1->setText(path);
        platform().clear();
        platform().messageAnswers.enqueue(QMessageBox::Yes); // over an existing file
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        const bool made =
            platform().messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد"));
        deleteAllWindows();
        return made;
    }

    // A restore through the window, typing secret when asked; the last
    // message shown.
    QString restore(const QString& path, const QString& secret) {
        Frmbackup* w = Frmbackup::showWindow();
        w->Text2->setText(path);
        platform().clear();
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        platform().secretAnswers.enqueue(secret);
        QTest::mouseClick(w->VisualButtonEx3, Qt::LeftButton);
        const QStringList texts = platform().messageTexts();
        deleteAllWindows();
        return texts.isEmpty() ? QString() : texts.last();
    }

    static bool restored(const QString& message) {
        return message.startsWith(QStringLiteral("بازيابي اطلاعات انجام شد"));
    }

    // Nothing of a sealed run is left in the data folder.
    void noPlainLeftovers() {
        QStringList dbm = filesIn(m_folder->file("DBM"));
        dbm.removeAll(QStringLiteral("DB.mdb"));
        dbm.removeAll(QStringLiteral("DB2.mdb"));
        // The audit trail records the run; it holds no subject's data.
        dbm.removeAll(QStringLiteral("Audit.db"));
        for (const QString& name : std::as_const(dbm))
            QVERIFY2(name.startsWith(QLatin1String("clinic-key")), qPrintable(name));
        for (const QString& name : filesIn(m_folder->file("Back")))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
    }

private slots:
    void initTestCase() {
        QVERIFY2(StockAge::installed(), "the age package is needed (scripts/setup.sh --test)");
        ClinicKey::Prepared key;
        QString why;
        QVERIFY2(ClinicKey::prepare(Secret(Passphrase), &key, &why), qPrintable(why));
        m_identity = key.identity.bytes();
        m_recipient = key.recipient;
        m_sealedKey = key.sealed;
    }
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void theKeyIsMadeFromTheWindow_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("said"); // the start of the message; empty: the key is made
        QTest::newRow("too short")
            << "short"
            << "short" << QStringLiteral("گذرواژه بايد دست کم 8 نويسه باشد.");
        QTest::newRow("not repeated")
            << "passphrase one"
            << "passphrase two" << QStringLiteral("گذرواژه و تکرار آن يکي نيستند.");
        QTest::newRow("a key for a passphrase")
            << "AGE-SECRET-KEY-1QQQQQQQQQQ"
            << "AGE-SECRET-KEY-1QQQQQQQQQQ"
            << QStringLiteral("گذرواژه نمي تواند خود يک کليد باشد.");
        QTest::newRow("cancelled") << ""
                                   << "" << QString();
        QTest::newRow("made") << passphraseText() << passphraseText() << QString();
    }
    void theKeyIsMadeFromTheWindow() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, said);
        Frmbackup* w = Frmbackup::showWindow();
        // Without a key only a plain backup can be made.
        QVERIFY(!w->sealBox->isEnabled());
        QVERIFY(!w->sealBox->isChecked());
        platform().secretAnswers.enqueue(first);
        platform().secretAnswers.enqueue(second);
        QTest::mouseClick(w->keyButton, Qt::LeftButton);
        const bool made = said.isEmpty() && !first.isEmpty();
        QCOMPARE(ClinicKey::isSet(), made);
        QCOMPARE(QFileInfo::exists(ClinicKey::sealedKeyPath()), made);
        QCOMPARE(w->sealBox->isChecked(), made);
        QCOMPARE(platform().endCount, 0);
        if (!made) {
            QCOMPARE(platform().messageTexts(), said.isEmpty() ? QStringList() : QStringList{said});
            return;
        }
        // The recovery key is shown once, and is the key's own.
        const QStringList texts = platform().messageTexts();
        QCOMPARE(texts.size(), 1);
        QByteArray recovery;
        for (const QString& line : texts.first().split(QStringLiteral("\r\n")))
            if (line.startsWith(QLatin1String("AGE-SECRET-KEY-1")))
                recovery = line.toLatin1();
        QVERIFY(!recovery.isEmpty());
        const StockAge publicHalf =
            StockAge::run(QStringLiteral("age-keygen"), {QStringLiteral("-y")}, recovery + '\n');
        QCOMPARE(publicHalf.status, 0);
        QCOMPARE(QString::fromLatin1(publicHalf.out.trimmed()), ClinicKey::recipient());
        QVERIFY(texts.first().contains(ClinicKey::recoveryKeyAdvice()));
        QVERIFY(!texts.first().contains(ClinicKey::replacementNotice()));
        // The private half in the data folder: the owner's only, sealed, and
        // it opens with the stock age and the passphrase.
        const QString sealedKey = ClinicKey::sealedKeyPath();
        QCOMPARE(fileMode(sealedKey), 0600);
        QVERIFY(!bytesOf(sealedKey).contains(recovery));
        QVERIFY(bytesOf(sealedKey).startsWith("age-encryption.org/v1\n-> scrypt "));
        const QString opened = m_folder->file("opened-key.txt");
        const StockAge byHand = StockAge::openWithPassphrase(sealedKey, opened, Passphrase);
        QCOMPARE(byHand.status, 0);
        QVERIFY(bytesOf(opened).contains(QByteArray(recovery + '\n')));
        QVERIFY(bytesOf(opened).contains(
            QByteArray("# public key: " + ClinicKey::recipient().toLatin1())));
    }

    void aSealedBackupAndItsRestore_data() {
        QTest::addColumn<QString>("secret");
        QTest::newRow("the passphrase") << passphraseText();
        QTest::newRow("the recovery key") << QString();
        QTest::newRow("the recovery key as written down") << QStringLiteral("lower");
    }
    void aSealedBackupAndItsRestore() {
        QFETCH(QString, secret);
        if (secret.isEmpty())
            secret = QString::fromLatin1(m_identity);
        else if (secret == QLatin1String("lower"))
            secret =
                QStringLiteral("  ") + QString::fromLatin1(m_identity).toLower().insert(20, u' ');
        fill();
        installKey();
        const QList<QStringList> before = storedSubjects();
        QCOMPARE(before.size(), 3);

        // The window offers a sealed backup, named so.
        Frmbackup* w = Frmbackup::showWindow();
        QVERIFY(w->sealBox->isEnabled());
        QVERIFY(w->sealBox->isChecked());
        const QString path = m_folder->file("Back/sealed.mdbB.age");
        platform().saveAnswers.enqueue(path);
        QTest::mouseClick(w->b1, Qt::LeftButton);
        const auto dialog = platform().ofKind("saveFileName").constLast();
        QVERIFY(dialog.defaultName.endsWith(QLatin1String(".mdbB.age")));
        QCOMPARE(dialog.filter, SealedBackup::sealedDialogFilter());
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QCOMPARE(platform().endCount, 1);
        deleteAllWindows();
        QCOMPARE(fileMode(path), 0600);
        noPlainLeftovers();

        // Nothing of the subjects shows in its bytes.
        const QByteArray sealed = bytesOf(path);
        QVERIFY(sealed.startsWith("age-encryption.org/v1\n"));
        for (const QString& text : Codes + FirstNames + LastNames)
            QVERIFY2(!sealed.contains(text.toUtf8()), qPrintable(text));
        QVERIFY(!sealed.contains("SQLite format 3"));
        QVERIFY(!sealed.contains(QByteArray(1000, 'p')));

        // The stock age opens it with the recovery key into the subject file.
        const StockAge opened = StockAge::open(path, m_identity);
        QCOMPARE(opened.status, 0);
        const QString plain = m_folder->file("opened.mdb");
        writeFile(plain, opened.out);
        QString why;
        QVERIFY2(Database::isSoundSubjectDatabase(plain, &why), qPrintable(why));
        QCOMPARE(subjectsOfFile(plain), before);
        if (!ProgramFolder::onServer())
            QCOMPARE(opened.out, bytesOf(m_folder->file("DBM/DB2.mdb")));

        // Later work, then the restore brings the backup back.
        ProgramFolder::addSubject(QStringLiteral("later"));
        QCOMPARE(storedSubjects().size(), 4);
        platform().endCount = 0;
        const QString message = restore(path, secret);
        QVERIFY2(restored(message), qPrintable(message));
        QCOMPARE(platform().ofKind("secretBox").size(), 1);
        QCOMPARE(storedSubjects(), before);
        if (!ProgramFolder::onServer())
            QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), opened.out);
        // The subjects before the restore are kept in Back, as with any restore.
        QStringList kept = QDir(m_folder->file("Back")).entryList({"*.mdbB"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept.first().startsWith(QStringLiteral("پيش از بازيابي")));
        QCOMPARE(subjectsOfFile(m_folder->file("Back/" + kept.first())).size(), 4);
        noPlainLeftovers();
    }

    void aBackupSealedByTheStockAgeRestores_data() {
        QTest::addColumn<bool>("armor");
        QTest::newRow("binary") << false;
        QTest::newRow("armoured") << true;
    }
    void aBackupSealedByTheStockAgeRestores() {
        QFETCH(bool, armor);
        fill();
        installKey();
        const QList<QStringList> before = storedSubjects();
        const QString plain = m_folder->file("plain.mdbB");
        QString why;
        QVERIFY2(BackupRoutes::makeCheckedPlainBackup(plain, {}, &why), qPrintable(why));
        const QString sealed = m_folder->file("Back/by-hand.mdbB.age");
        QCOMPARE(StockAge::seal(plain, ClinicKey::recipient(), sealed, armor).status, 0);
        ProgramFolder::addSubject(QStringLiteral("later"));
        const QString message = restore(sealed, QString::fromLatin1(m_identity));
        QVERIFY2(restored(message), qPrintable(message));
        QCOMPARE(storedSubjects(), before);
        if (!ProgramFolder::onServer())
            QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), bytesOf(plain));
        noPlainLeftovers();
    }

    void whatMustBeRefusedChangesNothing_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("secret"); // "key": the clinic's recovery key
        QTest::addColumn<QString>("said");
        const QString damaged = QStringLiteral("آسيب ديده");
        const QString otherKey = QStringLiteral("کليد ديگري");
        QTest::newRow("a damaged header") << "header"
                                          << "key" << otherKey;
        QTest::newRow("a damaged header MAC") << "mac"
                                              << "key" << damaged;
        QTest::newRow("a damaged payload") << "payload"
                                           << "key" << damaged;
        QTest::newRow("truncated") << "truncated"
                                   << "key" << damaged;
        QTest::newRow("cut after the header") << "headeronly"
                                              << "key" << damaged;
        QTest::newRow("sealed to another key") << "otherkey"
                                               << "key" << otherKey;
        QTest::newRow("a plain file named .age") << "plain"
                                                 << "key" << SealedBackup::plainNamedSealedText();
        QTest::newRow("an empty file named .age") << "empty"
                                                  << "key" << damaged;
        QTest::newRow("the wrong passphrase")
            << ""
            << "not the passphrase" << QStringLiteral("گذرواژه کليد مرکز درست نيست.");
        QTest::newRow("another recovery key") << ""
                                              << "other" << otherKey;
        QTest::newRow("not a recovery key")
            << ""
            << "AGE-SECRET-KEY-1NOTAKEY" << QStringLiteral("کليد بازيابي درست نيست.");
        QTest::newRow("nothing typed") << ""
                                       << "" << QStringLiteral("عدم موفقيت در بازيابي اطلاعات ");
    }
    void whatMustBeRefusedChangesNothing() {
        QFETCH(QString, fault);
        QFETCH(QString, secret);
        QFETCH(QString, said);
        fill();
        installKey();
        const QString plain = m_folder->file("plain.mdbB");
        QString why;
        QVERIFY2(BackupRoutes::makeCheckedPlainBackup(plain, {}, &why), qPrintable(why));
        const QString path = m_folder->file("Back/bad.mdbB.age");
        QByteArray otherIdentity;
        QString otherRecipient;
        QVERIFY(StockAge::newKey(&otherIdentity, &otherRecipient));
        QCOMPARE(StockAge::seal(plain,
                                fault == QLatin1String("otherkey") ? otherRecipient
                                                                   : ClinicKey::recipient(),
                                path)
                     .status,
                 0);
        QByteArray bytes = bytesOf(path);
        const qsizetype header = bytes.indexOf("\n---") + 1;
        QVERIFY(header > 0 && bytes.size() > 3 * 65536);
        if (fault == QLatin1String("header"))
            bytes[header - 10] = bytes.at(header - 10) == 'A' ? 'B' : 'A';
        else if (fault == QLatin1String("mac"))
            bytes[header + 10] = bytes.at(header + 10) == 'A' ? 'B' : 'A';
        else if (fault == QLatin1String("payload"))
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x01);
        else if (fault == QLatin1String("truncated"))
            bytes.chop(100);
        else if (fault == QLatin1String("headeronly"))
            bytes.truncate(bytes.indexOf('\n', header) + 1);
        else if (fault == QLatin1String("plain"))
            bytes = bytesOf(plain);
        else if (fault == QLatin1String("empty"))
            bytes.clear();
        writeFile(path, bytes);
        if (secret == QLatin1String("key"))
            secret = QString::fromLatin1(m_identity);
        else if (secret == QLatin1String("other"))
            secret = QString::fromLatin1(otherIdentity);
        QFile::remove(plain);

        ProgramFolder::addSubject(QStringLiteral("later"));
        const QList<QStringList> before = storedSubjects();
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QStringList back = filesIn(m_folder->file("Back"));
        const QStringList dbm = filesIn(m_folder->file("DBM"));
        const QString message = restore(path, secret);
        QVERIFY2(message.contains(said), qPrintable(message));
        QVERIFY(!restored(message));
        QCOMPARE(platform().endCount, 0);
        if (!said.startsWith(QStringLiteral("عدم موفقيت")))
            QCOMPARE(boxes().last().icon, QMessageBox::Critical);
        QCOMPARE(storedSubjects(), before);
        QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
        QCOMPARE(filesIn(m_folder->file("Back")), back);
        QCOMPARE(filesIn(m_folder->file("DBM")), dbm);
    }

    void aReplacedKeyLeavesOldBackupsToTheirRecoveryKey() {
        fill();
        installKey();
        const QList<QStringList> atFirst = storedSubjects();
        const QString old = m_folder->file("Back/old.mdbB.age");
        QVERIFY(backUpSealed(old));

        // The admin replaces the key; the program says what it means for
        // the old backups before and after.
        Frmbackup* w = Frmbackup::showWindow();
        platform().clear();
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        platform().secretAnswers.enqueue(QStringLiteral("the new passphrase"));
        platform().secretAnswers.enqueue(QStringLiteral("the new passphrase"));
        QTest::mouseClick(w->keyButton, Qt::LeftButton);
        deleteAllWindows();
        const QStringList texts = platform().messageTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts.at(0).contains(ClinicKey::replacementNotice()));
        QCOMPARE(boxes().at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(texts.at(1).contains(ClinicKey::replacementNotice()));
        QVERIFY(ClinicKey::recipient() != m_recipient);
        // The old sealed key is kept, still under its own passphrase.
        QStringList retired = QDir(m_folder->file("DBM")).entryList({"clinic-key-*.age"});
        QCOMPARE(retired.size(), 1);
        QCOMPARE(bytesOf(m_folder->file("DBM/" + retired.first())), m_sealedKey);
        QVERIFY(texts.at(1).contains(retired.first()));

        // New backups are sealed with the new key.
        ProgramFolder::addSubject(QStringLiteral("later"));
        const QString fresh = m_folder->file("Back/new.mdbB.age");
        QVERIFY(backUpSealed(fresh));
        QCOMPARE(StockAge::open(fresh, m_identity).status, 1);

        // The old backup: not with the new passphrase, but with the old
        // recovery key.
        QString message = restore(old, QStringLiteral("the new passphrase"));
        QVERIFY2(message.contains(QStringLiteral("کليد ديگري")), qPrintable(message));
        QCOMPARE(storedSubjects().size(), atFirst.size() + 1);
        message = restore(old, QString::fromLatin1(m_identity));
        QVERIFY2(restored(message), qPrintable(message));
        QCOMPARE(storedSubjects(), atFirst);
        // And the new one with the new passphrase.
        message = restore(fresh, QStringLiteral("the new passphrase"));
        QVERIFY2(restored(message), qPrintable(message));
        QCOMPARE(storedSubjects().size(), atFirst.size() + 1);
    }

    void theNameFollowsTheKindOfBackup() {
        // Without a key a ".age" name is refused: only a plain backup exists.
        fill();
        Frmbackup* w = Frmbackup::showWindow();
        const QString path = m_folder->file("Back/x.mdbB.age");
        w->Text1->setText(path);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(platform().messageTexts().size(), 1);
        QVERIFY(platform().messageTexts().first().contains(QLatin1String(".age")));
        QVERIFY(!QFileInfo::exists(path));
        deleteAllWindows();

        // With one, the box adds and takes off the ending, and a sealed
        // backup always gets it.
        installKey();
        w = Frmbackup::showWindow();
        w->Text1->setText(m_folder->file("Back/y.mdbB"));
        w->sealBox->setChecked(false);
        QCOMPARE(w->Text1->text(), m_folder->file("Back/y.mdbB"));
        w->sealBox->setChecked(true);
        QCOMPARE(w->Text1->text(), m_folder->file("Back/y.mdbB.age"));
        w->sealBox->setChecked(false);
        QCOMPARE(w->Text1->text(), m_folder->file("Back/y.mdbB"));
        w->sealBox->setChecked(true);
        w->Text1->setText(m_folder->file("Back/z.mdbB"));
        platform().clear();
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(platform().messageTexts(), QStringList{QStringLiteral("نسخه پشتيبان تهيه گرديد")});
        QVERIFY(bytesOf(m_folder->file("Back/z.mdbB.age")).startsWith("age-encryption.org/v1\n"));
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/z.mdbB")));
        // Never over the clinic key itself.
        deleteAllWindows();
        w = Frmbackup::showWindow();
        w->Text1->setText(ClinicKey::sealedKeyPath());
        platform().clear();
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QCOMPARE(bytesOf(ClinicKey::sealedKeyPath()), m_sealedKey);
        QVERIFY(platform().messageTexts().last().contains(QStringLiteral("کليد مرکز")));
        QCOMPARE(platform().endCount, 0);
        // A plain backup still can be made, unsealed.
        deleteAllWindows();
        w = Frmbackup::showWindow();
        w->sealBox->setChecked(false);
        w->Text1->setText(m_folder->file("Back/plain.mdbB"));
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        QVERIFY(bytesOf(m_folder->file("Back/plain.mdbB")).startsWith("SQLite format 3"));
    }

    void withoutAgeTheWindowSaysSo() {
        fill();
        installKey();
        const QString sealed = m_folder->file("Back/s.mdbB.age");
        QVERIFY(backUpSealed(sealed));
        const QList<QStringList> before = storedSubjects();
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        const QString missing = AgeTool::missingTools();
        QVERIFY(missing.contains(QLatin1String("apt-get install age")));
        Frmbackup* w = Frmbackup::showWindow();
        platform().clear();
        QTest::mouseClick(w->keyButton, Qt::LeftButton);
        w->Text1->setText(m_folder->file("Back/t.mdbB.age"));
        QTest::mouseClick(w->VisualButtonEx2, Qt::LeftButton);
        deleteAllWindows();
        const QStringList texts = platform().messageTexts();
        const QString restoreMessage = restore(sealed, QString::fromLatin1(m_identity));
        qputenv("PATH", path);
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.at(0), missing);
        QVERIFY(texts.at(1).contains(missing));
        QVERIFY(restoreMessage.contains(missing));
        QVERIFY(!QFileInfo::exists(m_folder->file("Back/t.mdbB.age")));
        QCOMPARE(storedSubjects(), before);
        QCOMPARE(ClinicKey::recipient(), m_recipient);
        noPlainLeftovers();
    }

    void theStartRemovesPlainDataACutShortRunLeft() {
        // A held stage is in use and stays; what a killed run left goes.
        SealedBackup::PrivateStage held(QStringLiteral("unsealed"));
        QString why;
        QVERIFY2(held.create(&why), qPrintable(why));
        QCOMPARE(fileMode(held.path()), 0600);
        QCOMPARE(QFileInfo(held.path()).absolutePath(), m_folder->file("DBM"));
        const QStringList left{QStringLiteral("DBM/.sealing.0123abcd.part"),
                               QStringLiteral("DBM/.unsealed.89abcdef.part"),
                               QStringLiteral("DBM/.restore.00ff00ff.part"),
                               QStringLiteral("Back/.x.mdbB.age.0a0b0c0d.part")};
        for (const QString& name : left)
            writeFile(m_folder->file(name), "SQLite format 3");
        BackupFiles::removeLeftoversAtStart();
        for (const QString& name : left)
            QVERIFY2(!QFileInfo::exists(m_folder->file(name)), qPrintable(name));
        QVERIFY(QFileInfo::exists(held.path()));
    }
};

VELMORA_TEST_MAIN(TestSealedBackup)
#include "tst_sealedbackup.moc"
