#include "app/App.h"
#include "app/BackupCommands.h"
#include "backup/BackupRoutes.h"
#include "backup/ClinicKey.h"
#include "data/Database.h"
#include "support/AgeFiles.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
#include <unistd.h>

using namespace velmora;

// The backup commands as a clinic's IT person and the scheduled job run
// them: the real program in a process of its own, its standard input,
// output, error and exit status.
namespace {

const QByteArray Passphrase = "the clinic passphrase";

struct Ran {
    int status = -1;
    QByteArray out;
    QString err;
};

QString subjectsQuery() {
    return QStringLiteral(
        "SELECT \"Code\", \"FName\", \"LName\", \"Tahsil\" FROM \"IDE\" ORDER BY \"Code\"");
}

QList<QStringList> storedSubjects() {
    return ProgramFolder::rows(QStringLiteral("DBM/DB2.mdb"), subjectsQuery());
}

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
            while (q.next())
                rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                             q.value(3).toString()});
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("file-subjects"));
    return rows;
}

void fill() {
    ProgramFolder::addSubject(QStringLiteral("C-1001"), QStringLiteral("Roya"),
                              QStringLiteral("Golshiri"));
    ProgramFolder::addSubject(QStringLiteral("C-1002"), QStringLiteral("مريم"),
                              QStringLiteral("سپهري"));
    ProgramFolder::setAnswers(QStringLiteral("C-1001"), {"1", "2", "3"});
}

QStringList datedBackups(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("velmora-*.mdbB.age")}, QDir::Files, QDir::Name);
}

} // namespace

class TestBackupCommands : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;
    // The runtime folder of this test and the programs it starts: where the
    // lock of a running program is looked for.
    QTemporaryDir m_runtime;
    QByteArray m_identity;
    QString m_recipient;
    QByteArray m_sealedKey;

    // The program with the case's data folder (and server), arguments and
    // standard input; env adds to its environment.
    Ran velmora(const QStringList& arguments, const QByteArray& input = QByteArray(),
                const QString& folder = QString(), const QProcessEnvironment& extra = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("VELMORA_DATA"));
        env.remove(QStringLiteral("VELMORA_DATABASE"));
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        p.setProcessEnvironment(env);
        QStringList args{QStringLiteral("--data"), folder.isEmpty() ? m_folder->path() : folder};
        if (folder.isEmpty() && ProgramFolder::onServer())
            args << QStringLiteral("--database")
                 << QStringLiteral("postgresql:///") + ProgramFolder::caseDatabase();
        p.start(QStringLiteral(VELMORA_BINARY), args + arguments);
        Ran ran;
        if (!p.waitForStarted(20000))
            return ran;
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
            return ran;
        }
        ran.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        ran.out = p.readAllStandardOutput();
        ran.err = QString::fromUtf8(p.readAllStandardError());
        return ran;
    }

    void installKey() {
        ClinicKey::Prepared key;
        key.identity = Secret(m_identity);
        key.recipient = m_recipient;
        key.sealed = m_sealedKey;
        ClinicKey::Made made;
        QString why;
        QVERIFY2(ClinicKey::install(&key, &made, &why), qPrintable(why));
    }

    // A sealed backup made by the stock age from a checked plain backup.
    void sealByHand(const QString& sealed) {
        const QString plain = m_folder->file("hand.mdbB");
        QString why;
        QVERIFY2(BackupRoutes::makeCheckedPlainBackup(plain, {}, &why), qPrintable(why));
        QCOMPARE(StockAge::seal(plain, m_recipient, sealed).status, 0);
        QFile::remove(plain);
    }

private slots:
    void initTestCase() {
        QVERIFY2(StockAge::installed(), "the age package is needed (scripts/setup.sh --test)");
        QVERIFY(QFileInfo(QStringLiteral(VELMORA_BINARY)).isExecutable());
        QFile::setPermissions(m_runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        ClinicKey::Prepared key;
        QString why;
        QVERIFY2(ClinicKey::prepare(Secret(Passphrase), &key, &why), qPrintable(why));
        m_identity = key.identity.bytes();
        m_recipient = key.recipient;
        m_sealedKey = key.sealed;
    }
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void aNewKeyPrintsItsRecoveryKeyAndNothingElse_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::newRow("made") << Passphrase + '\n' + Passphrase + '\n' << 0;
        QTest::newRow("not repeated") << Passphrase + "\nanother one\n" << 1;
        QTest::newRow("too short") << QByteArray("short\nshort\n") << 1;
        QTest::newRow("no input") << QByteArray() << 1;
    }
    void aNewKeyPrintsItsRecoveryKeyAndNothingElse() {
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        const Ran ran = velmora({QStringLiteral("--new-backup-key")}, input);
        QCOMPARE(ran.status, status);
        QVERIFY(!ran.err.isEmpty());
        if (status != 0) {
            QVERIFY(ran.out.isEmpty());
            QVERIFY(!ClinicKey::isSet());
            QVERIFY(!QFileInfo::exists(ClinicKey::sealedKeyPath()));
            return;
        }
        // One line: the recovery key, the private half of the key in the settings.
        QVERIFY(ran.out.startsWith("AGE-SECRET-KEY-1"));
        QVERIFY(ran.out.endsWith('\n'));
        QCOMPARE(ran.out.count('\n'), 1);
        const StockAge publicHalf =
            StockAge::run(QStringLiteral("age-keygen"), {QStringLiteral("-y")}, ran.out);
        QCOMPARE(QString::fromLatin1(publicHalf.out.trimmed()), ClinicKey::recipient());
        QVERIFY(ran.err.contains(ClinicKey::recipient()));
        QVERIFY(!ran.err.contains(QString::fromLatin1(ran.out.trimmed())));
        QCOMPARE(fileMode(ClinicKey::sealedKeyPath()), 0600);
        // The passphrase opens the sealed half to the same key.
        QString typed = QString::fromUtf8(Passphrase);
        Secret identity;
        QString why;
        QVERIFY2(ClinicKey::identityFromTyped(&typed, &identity, &why), qPrintable(why));
        QCOMPARE(identity.bytes(), ran.out.trimmed());
    }

    void replacingTheKeyIsConfirmedAndSaysWhatItMeans() {
        installKey();
        const QByteArray twice = "a new passphrase\na new passphrase\n";
        // Not on a terminal and without --yes: nothing is replaced.
        Ran ran = velmora({QStringLiteral("--new-backup-key")}, twice);
        QCOMPARE(ran.status, 1);
        QVERIFY(ran.out.isEmpty());
        QVERIFY(ran.err.contains(ClinicKey::replacementNotice()));
        QCOMPARE(ClinicKey::recipient(), m_recipient);
        ran = velmora({QStringLiteral("--new-backup-key"), QStringLiteral("--yes")}, twice);
        QCOMPARE(ran.status, 0);
        QVERIFY(ran.out.startsWith("AGE-SECRET-KEY-1"));
        QVERIFY(ran.err.contains(ClinicKey::replacementNotice()));
        QVERIFY(ClinicKey::recipient() != m_recipient);
        const QStringList retired =
            QDir(m_folder->file("DBM")).entryList({QStringLiteral("clinic-key-*.age")});
        QCOMPARE(retired.size(), 1);
        QCOMPARE(bytesOf(m_folder->file("DBM/" + retired.first())), m_sealedKey);
    }

    void theBackupCommand_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("key");
        QTest::addColumn<int>("status");
        QTest::newRow("sealed") << "Back/b.mdbB.age" << true << 0;
        QTest::newRow("sealed, no key") << "Back/b.mdbB.age" << false << 1;
        QTest::newRow("plain") << "Back/b.mdbB" << false << 0;
        QTest::newRow("plain, with a key") << "Back/b.mdbB" << true << 0;
        QTest::newRow("onto the settings") << "DBM/DB.mdb" << true << 1;
        QTest::newRow("onto the clinic key") << "DBM/clinic-key.age" << true << 1;
        QTest::newRow("into a missing folder") << "Nowhere/b.mdbB.age" << true << 1;
    }
    void theBackupCommand() {
        QFETCH(QString, target);
        QFETCH(bool, key);
        QFETCH(int, status);
        fill();
        if (key)
            installKey();
        const QList<QStringList> subjects = storedSubjects();
        const QString path = m_folder->file(target);
        const QByteArray before = bytesOf(path);
        // The program is open on the same data folder meanwhile.
        QVERIFY(acquireSingleInstance());
        const Ran ran = velmora({QStringLiteral("--backup"), target});
        releaseSingleInstance();
        QCOMPARE(ran.status, status);
        QVERIFY(ran.out.isEmpty());
        if (status != 0) {
            QVERIFY(ran.err.contains(QStringLiteral("اشکال در ايجاد نسخه پشتيباني")) ||
                    ran.err.contains(QLatin1String("--new-backup-key")));
            QCOMPARE(bytesOf(path), before);
            QVERIFY(!QFileInfo::exists(m_folder->file("Back/b.mdbB.age")));
            return;
        }
        QVERIFY(ran.err.isEmpty());
        QCOMPARE(fileMode(path), 0600);
        QByteArray plain = bytesOf(path);
        if (path.endsWith(QLatin1String(".age"))) {
            const StockAge opened = StockAge::open(path, m_identity);
            QCOMPARE(opened.status, 0);
            plain = opened.out;
        }
        writeFile(m_folder->file("plain.mdb"), plain);
        QString why;
        QVERIFY2(Database::isSoundSubjectDatabase(m_folder->file("plain.mdb"), &why),
                 qPrintable(why));
        QCOMPARE(subjectsOfFile(m_folder->file("plain.mdb")), subjects);
        if (!ProgramFolder::onServer())
            QCOMPARE(plain, bytesOf(m_folder->file("DBM/DB2.mdb")));
        for (const QString& name : filesIn(m_folder->file("DBM")))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
    }

    void theRestoreCommand_data() {
        QTest::addColumn<QString>("backup"); // sealed, plain, plain-named-sealed
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("status");
        QTest::newRow("sealed, the passphrase") << "sealed" << Passphrase + '\n'
                                                << true << false << 0;
        QTest::newRow("sealed, the recovery key")
            << "sealed" << QByteArray("key") << true << false << 0;
        QTest::newRow("plain") << "plain" << QByteArray() << true << false << 0;
        QTest::newRow("not confirmed") << "sealed" << Passphrase + '\n' << false << false << 1;
        QTest::newRow("the wrong passphrase")
            << "sealed" << QByteArray("not it at all\n") << true << false << 1;
        QTest::newRow("no passphrase") << "sealed" << QByteArray() << true << false << 1;
        QTest::newRow("a plain file named .age")
            << "plain-named-sealed" << QByteArray() << true << false << 1;
        QTest::newRow("the program running") << "sealed" << Passphrase + '\n' << true << true << 1;
    }
    void theRestoreCommand() {
        QFETCH(QString, backup);
        QFETCH(QByteArray, input);
        QFETCH(bool, yes);
        QFETCH(bool, running);
        QFETCH(int, status);
        if (input == "key")
            input = m_identity + '\n';
        fill();
        installKey();
        const QList<QStringList> backedUp = storedSubjects();
        QString path = m_folder->file("Back/r.mdbB");
        QString why;
        QVERIFY2(BackupRoutes::makeCheckedPlainBackup(path, {}, &why), qPrintable(why));
        if (backup == QLatin1String("sealed")) {
            sealByHand(path + ".age");
            QFile::remove(path);
            path += ".age";
        } else if (backup == QLatin1String("plain-named-sealed")) {
            QVERIFY(QFile::rename(path, path + ".age"));
            path += ".age";
        }
        ProgramFolder::addSubject(QStringLiteral("C-later"));
        const QList<QStringList> before = storedSubjects();
        const QByteArray database = bytesOf(m_folder->file("DBM/DB2.mdb"));
        const QStringList back = filesIn(m_folder->file("Back"));
        if (running)
            QVERIFY(acquireSingleInstance());
        QStringList args{QStringLiteral("--restore"), path};
        if (yes)
            args.append(QStringLiteral("--yes"));
        const Ran ran = velmora(args, input);
        releaseSingleInstance();
        QCOMPARE(ran.status, status);
        QVERIFY(ran.out.isEmpty());
        QVERIFY(!ran.err.isEmpty());
        for (const QString& name : filesIn(m_folder->file("DBM")))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
        if (status != 0) {
            QCOMPARE(storedSubjects(), before);
            QCOMPARE(bytesOf(m_folder->file("DBM/DB2.mdb")), database);
            QCOMPARE(filesIn(m_folder->file("Back")), back);
            if (running)
                QVERIFY(ran.err.contains(QLatin1String("Velmora is running")));
            return;
        }
        // On a server this test is another workstation at the same subjects:
        // it is named before the restore goes on.
        if (ProgramFolder::onServer())
            QVERIFY(
                ran.err.startsWith(QStringLiteral("اين ايستگاه ها به همين پايگاه داده وصل اند")));
        QVERIFY(ran.err.contains(QStringLiteral("\nبازيابي اطلاعات انجام شد")) ||
                ran.err.startsWith(QStringLiteral("بازيابي اطلاعات انجام شد")));
        QCOMPARE(storedSubjects(), backedUp);
        // The subjects before it are kept in Back, as the window's restore keeps them.
        QStringList kept = QDir(m_folder->file("Back")).entryList({"*.mdbB"}, QDir::Files);
        kept.removeAll(QStringLiteral("r.mdbB"));
        QCOMPARE(kept.size(), 1);
        QCOMPARE(subjectsOfFile(m_folder->file("Back/" + kept.first())), before);
        QVERIFY(ran.err.contains(kept.first()));
    }

    void theRecoveryKeyAloneOpensABackupOnAFreshDataFolder() {
        fill();
        installKey();
        const QList<QStringList> subjects = storedSubjects();
        const QString sealed = m_folder->file("Back/away.mdbB.age");
        QCOMPARE(velmora({QStringLiteral("--backup"), sealed}).status, 0);
        // Another computer: a new data folder, no clinic key, a file store.
        QTemporaryDir other;
        const QString elsewhere = other.filePath(QStringLiteral("data"));
        Ran ran = velmora({QStringLiteral("--restore"), sealed, QStringLiteral("--yes")},
                          Passphrase + '\n', elsewhere);
        QCOMPARE(ran.status, 1);
        QVERIFY(ran.err.contains(QLatin1String("AGE-SECRET-KEY-1")));
        ran = velmora({QStringLiteral("--restore"), sealed, QStringLiteral("--yes")},
                      m_identity + '\n', elsewhere);
        QCOMPARE(ran.status, 0);
        const QString restored = elsewhere + QStringLiteral("/DBM/DB2.mdb");
        QCOMPARE(subjectsOfFile(restored), subjects);
        if (!ProgramFolder::onServer())
            QCOMPARE(bytesOf(restored), bytesOf(m_folder->file("DBM/DB2.mdb")));
        QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/DBM/clinic-key.age")));
    }

    void theScheduledBackupKeepsTheNewest() {
        fill();
        const QString folder = m_folder->file("stick");
        QDir().mkpath(folder);
        const QStringList old{QStringLiteral("velmora-2024-01-01-020000.mdbB.age"),
                              QStringLiteral("velmora-2024-01-02-020000.mdbB.age"),
                              QStringLiteral("velmora-2024-01-03-020000.mdbB.age"),
                              QStringLiteral("velmora-2024-01-04-020000.mdbB.age")};
        const QStringList others{QStringLiteral("notes.txt"),
                                 QStringLiteral("velmora-2020-01-01-000000.mdbB"),
                                 QStringLiteral("velmora-old.mdbB.age")};
        for (const QString& name : old + others)
            writeFile(QDir(folder).filePath(name), "kept by someone");
        // Without a key nothing is made and nothing goes.
        Ran ran = velmora({QStringLiteral("--backup-into"), folder, QStringLiteral("--keep"),
                           QStringLiteral("3")});
        QCOMPARE(ran.status, 1);
        QCOMPARE(datedBackups(folder).size(), 5);
        installKey();
        ran = velmora({QStringLiteral("--backup-into"), folder, QStringLiteral("--keep"),
                       QStringLiteral("3")});
        QCOMPARE(ran.status, 0);
        QVERIFY(ran.out.isEmpty());
        const QStringList kept = datedBackups(folder);
        QCOMPARE(kept.size(), 4); // the newest three of the dated ones, and the other
        QCOMPARE(kept.mid(0, 2), old.mid(2));
        QVERIFY(kept.contains(QStringLiteral("velmora-old.mdbB.age")));
        const QString made = kept.at(2);
        QVERIFY(
            QRegularExpression(QStringLiteral("^velmora-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.mdbB\\.age$"))
                .match(made)
                .hasMatch());
        QCOMPARE(StockAge::open(QDir(folder).filePath(made), m_identity).status, 0);
        for (const QString& name : others)
            QVERIFY(QFileInfo::exists(QDir(folder).filePath(name)));
        // A folder that is not there (a stick not mounted) is not made.
        ran = velmora({QStringLiteral("--backup-into"), m_folder->file("gone/stick")});
        QCOMPARE(ran.status, 1);
        QVERIFY(!QFileInfo::exists(m_folder->file("gone")));
        QVERIFY(ran.err.contains(QLatin1String("mounted")));
    }

    void theCommandLineIsChecked_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("two commands") << QStringList{"--backup", "a.mdbB", "--restore", "b.mdbB"};
        QTest::newRow("--keep alone") << QStringList{"--keep", "3"};
        QTest::newRow("--keep not a number") << QStringList{"--backup-into", ".", "--keep", "x"};
        QTest::newRow("--keep zero") << QStringList{"--backup-into", ".", "--keep", "0"};
    }
    void theCommandLineIsChecked() {
        QFETCH(QStringList, arguments);
        const Ran ran = velmora(arguments);
        QCOMPARE(ran.status, 2);
        QVERIFY(ran.err.contains(QLatin1String("velmora --help")));
    }

    // -------------------------------------------------- the scheduled job --

    void theUnitsPassSystemdAnalyzeVerify() {
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            QFAIL("systemd-analyze is needed (scripts/setup.sh --test installs systemd)");
        // systemd finds "velmora" in /usr/bin once installed; here it is the
        // program just built.
        QTemporaryDir units;
        QDir().mkpath(units.filePath(QStringLiteral("runtime")));
        QFile::setPermissions(units.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString source = QStringLiteral(VELMORA_ASSETS_DIR "/../packaging/systemd");
        for (const QString& name :
             {QStringLiteral("velmora-backup.service"), QStringLiteral("velmora-backup.timer")}) {
            QByteArray unit = bytesOf(QDir(source).filePath(name));
            QVERIFY(!unit.contains("User="));
            unit.replace("ExecStart=velmora ", "ExecStart=" VELMORA_BINARY " ");
            writeFile(units.filePath(name), unit);
        }
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), units.filePath(QStringLiteral("runtime")));
        verify.setProcessEnvironment(env);
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(QStringLiteral("systemd-analyze"),
                     {QStringLiteral("verify"), QStringLiteral("--man=no"),
                      QStringLiteral("--user"),
                      units.filePath(QStringLiteral("velmora-backup.service")),
                      units.filePath(QStringLiteral("velmora-backup.timer"))});
        QVERIFY(verify.waitForFinished(60000));
        QVERIFY2(verify.exitCode() == 0, verify.readAll().constData());
        // Off until the clinic turns it on: the timer is only wanted once enabled.
        const QByteArray timer = bytesOf(QDir(source).filePath("velmora-backup.timer"));
        QVERIFY(timer.contains("WantedBy=timers.target"));
        QVERIFY(timer.contains("Persistent=true"));
    }

    void theScheduledServiceRunsAsTheUserAndKeepsTheNewest() {
        fill();
        installKey();
        // The service's own command line, with its environment as systemd
        // gives it: the defaults in the unit, then the clinic's file.
        const QByteArray unit = bytesOf(
            QStringLiteral(VELMORA_ASSETS_DIR "/../packaging/systemd/velmora-backup.service"));
        QTemporaryDir home;
        const QString config = home.filePath(QStringLiteral(".config"));
        const QString stick = home.filePath(QStringLiteral("stick/velmora"));
        QDir().mkpath(stick);
        QMap<QString, QString> env;
        QString command;
        QString environmentFile;
        const auto expand = [&](QString text) {
            text.replace(QLatin1String("%h"), home.path());
            text.replace(QLatin1String("%E"), config);
            for (auto it = env.cbegin(); it != env.cend(); ++it)
                text.replace(QStringLiteral("${%1}").arg(it.key()), it.value());
            return text;
        };
        for (const QByteArray& raw : unit.split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QLatin1String("Environment="))) {
                const QString assignment = expand(line.mid(12));
                env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
            } else if (line.startsWith(QLatin1String("EnvironmentFile=-"))) {
                environmentFile = expand(line.mid(17));
            } else if (line.startsWith(QLatin1String("ExecStart="))) {
                command = line.mid(10);
            }
        }
        QCOMPARE(environmentFile, config + QStringLiteral("/velmora/scheduled-backup.conf"));
        QByteArray settings = "VELMORA_BACKUP_FOLDER=" + stick.toUtf8() +
                              "\nVELMORA_BACKUP_KEEP=2\nVELMORA_DATA=" + m_folder->path().toUtf8() +
                              '\n';
        if (ProgramFolder::onServer())
            settings +=
                "VELMORA_DATABASE=postgresql:///" + ProgramFolder::caseDatabase().toUtf8() + '\n';
        writeFile(environmentFile, settings);
        for (const QByteArray& raw : bytesOf(environmentFile).split('\n'))
            if (raw.contains('='))
                env.insert(QString::fromUtf8(raw.left(raw.indexOf('='))),
                           QString::fromUtf8(raw.mid(raw.indexOf('=') + 1)));
        QStringList words = command.split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(words.takeFirst(), QStringLiteral("velmora"));
        for (QString& word : words)
            word = expand(word);
        QCOMPARE(words, (QStringList{QStringLiteral("--backup-into"), stick,
                                     QStringLiteral("--keep"), QStringLiteral("2")}));
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("HOME"), home.path());
        for (auto it = env.cbegin(); it != env.cend(); ++it)
            extra.insert(it.key(), it.value());
        for (int run = 0; run < 3; ++run) {
            // One backup a second at most: its name is its time.
            if (run > 0)
                QThread::msleep(1100);
            QProcess p;
            QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
            all.remove(QStringLiteral("VELMORA_DATABASE"));
            for (const QString& key : extra.keys())
                all.insert(key, extra.value(key));
            p.setProcessEnvironment(all);
            p.start(QStringLiteral(VELMORA_BINARY), words);
            QVERIFY(p.waitForFinished(120000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        }
        const QStringList kept = datedBackups(stick);
        QCOMPARE(kept.size(), 2);
        for (const QString& name : kept) {
            const QString path = QDir(stick).filePath(name);
            QFileInfo info(path);
            QCOMPARE(info.ownerId(), ::getuid());
            QCOMPARE(fileMode(path), 0600);
            QCOMPARE(StockAge::open(path, m_identity).status, 0);
        }
    }

    void oldScheduledBackupsGoOnlyByTheirNames() {
        const QString folder = m_folder->file("dated");
        QDir().mkpath(folder);
        for (const char* name :
             {"velmora-2024-05-01-010101.mdbB.age", "velmora-2024-05-02-010101.mdbB.age",
              "velmora-2024-05-02.mdbB.age", "Velmora-2024-05-03-010101.mdbB.age"})
            writeFile(QDir(folder).filePath(QString::fromLatin1(name)), "x");
        QVERIFY(QFile::link(QDir(folder).filePath("velmora-2024-05-01-010101.mdbB.age"),
                            QDir(folder).filePath("velmora-2024-04-01-010101.mdbB.age")));
        QCOMPARE(removeOldScheduledBackups(folder, 1), 1);
        QCOMPARE(
            filesIn(folder),
            (QStringList{"Velmora-2024-05-03-010101.mdbB.age", "velmora-2024-04-01-010101.mdbB.age",
                         "velmora-2024-05-02-010101.mdbB.age", "velmora-2024-05-02.mdbB.age"}));
    }
};

VELMORA_TEST_MAIN(TestBackupCommands)
#include "tst_backupcommands.moc"
