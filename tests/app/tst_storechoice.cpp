#include "app/CommandLine.h"
#include "app/StoreChoice.h"
#include "data/ServerStore.h"
#include "data/SubjectStore.h"
#include "support/ProgramFolder.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace velmora;

// Which store a run keeps its subject tables in: the command line, then
// VELMORA_DATABASE, then the data folder's velmora.conf, then the machine's;
// with none of them the data folder's file, as always.
namespace {

void writeConfig(const QString& path, const QString& database) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral("# the clinic's server\n[General]\ndatabase=%1\n").arg(database).toUtf8());
}

} // namespace

class TestStoreChoice : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QStringList configFiles() const {
        return {m_dir.filePath("data/velmora.conf"), m_dir.filePath("etc/velmora/velmora.conf")};
    }

private slots:
    void cleanup() {
        SubjectStore::install(SubjectStore::file());
        QFile::remove(configFiles().at(0));
        QFile::remove(configFiles().at(1));
    }

    void theFirstNamedStoreWins_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("dataFolderConfig");
        QTest::addColumn<QString>("machineConfig");
        QTest::addColumn<QString>("database"); // empty: the file
        const QString a = "postgresql:///from_command", b = "postgres://h/from_environment",
                      c = "postgresql:///from_data_folder", d = "postgresql:///from_machine";
        QTest::newRow("nothing: the file") << ""
                                           << ""
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("command line first") << a << b << c << d << "from_command";
        QTest::newRow("then the environment") << "" << b << c << d << "from_environment";
        QTest::newRow("then the data folder") << ""
                                              << "" << c << d << "from_data_folder";
        QTest::newRow("then the machine") << ""
                                          << ""
                                          << "" << d << "from_machine";
        QTest::newRow("blanks count as nothing") << "  "
                                                 << " "
                                                 << "" << d << "from_machine";
    }
    void theFirstNamedStoreWins() {
        QFETCH(QString, commandLine);
        QFETCH(QString, environment);
        QFETCH(QString, dataFolderConfig);
        QFETCH(QString, machineConfig);
        QFETCH(QString, database);
        if (!dataFolderConfig.isEmpty())
            writeConfig(configFiles().at(0), dataFolderConfig);
        if (!machineConfig.isEmpty())
            writeConfig(configFiles().at(1), machineConfig);
        QString error;
        QVERIFY2(chooseSubjectStore(commandLine, environment, configFiles(), &error),
                 qPrintable(error));
        const auto* server = dynamic_cast<const ServerStore*>(&SubjectStore::current());
        QCOMPARE(server != nullptr, !database.isEmpty());
        QCOMPARE(server ? server->url().database : QString(), database);
    }

    void aWrongUrlEndsTheStartWithoutShowingIt() {
        writeConfig(configFiles().at(0), "mysql://clinic:pass-word-7@db/velmora");
        QString error;
        QVERIFY(!chooseSubjectStore(QString(), QString(), configFiles(), &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(configFiles().at(0))), qPrintable(error));
        QVERIFY2(!error.contains("pass-word-7"), qPrintable(error));
        QVERIFY(!dynamic_cast<const ServerStore*>(&SubjectStore::current()));
    }

    // The forms a clinic's IT writes the file in.
    void theFileIsReadAsWritten_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("database"); // empty: the file
        QTest::newRow("at the top") << QByteArray("database=postgresql:///top\n") << "top";
        QTest::newRow("blanks, quotes, a comment, CRLF")
            << QByteArray("# the server\r\n  database = \"postgresql:///quoted\"  \r\n")
            << "quoted";
        QTest::newRow("[General] and another section")
            << QByteArray("[General]\ndatabase=postgresql:///general\n\n[Other]\n"
                          "database=postgresql:///other\n")
            << "general";
        QTest::newRow("only in another section")
            << QByteArray("; for later\n[Later]\ndatabase=postgresql:///later\n") << "";
        QTest::newRow("a byte-order mark, other keys")
            << QByteArray("\xEF\xBB\xBFtheme=blue\ndatabase=postgresql:///bom\n") << "bom";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void theFileIsReadAsWritten() {
        QFETCH(QByteArray, text);
        QFETCH(QString, database);
        QDir().mkpath(QFileInfo(configFiles().at(0)).absolutePath());
        QFile file(configFiles().at(0));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QString error;
        QVERIFY2(chooseSubjectStore(QString(), QString(), configFiles(), &error),
                 qPrintable(error));
        const auto* server = dynamic_cast<const ServerStore*>(&SubjectStore::current());
        QCOMPARE(server != nullptr, !database.isEmpty());
        QCOMPARE(server ? server->url().database : QString(), database);
    }

    // A file that names the server but cannot be read must not leave the
    // workstation on a subject file of its own that no other one sees: the
    // start ends, with the file and what is wrong named, and never a line of
    // it (it may hold a password).
    void aFileThatCannotBeReadEndsTheStart_data() {
        QTest::addColumn<QString>("kind"); // "file", "mode 000" or "folder"
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no right to read it")
            << "mode 000" << QByteArray("database=postgresql:///unread\n")
            << QStringLiteral("اجازه خواندن");
        QTest::newRow("a line that is no setting")
            << "file" << QByteArray("# the server\ndatabase postgresql://u:pass-word-7@h/db\n")
            << QStringLiteral("سطر 2");
        QTest::newRow("a section not closed")
            << "file" << QByteArray("[General\ndatabase=postgresql:///x\n")
            << QStringLiteral("سطر 1");
        QTest::newRow("not UTF-8")
            << "file" << QByteArray("database=\xff\xfe\n") << QStringLiteral("UTF-8");
        QTest::newRow("a binary file")
            << "file" << QByteArray("SQLite format 3\0\0\0database=x", 28)
            << QStringLiteral("متني");
        QTest::newRow("a folder under the name")
            << "folder" << QByteArray() << QStringLiteral("معمولي نيست");
    }
    void aFileThatCannotBeReadEndsTheStart() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const QString path = configFiles().at(0);
        QDir().mkpath(QFileInfo(path).absolutePath());
        // A good file on the machine that the broken one stands before.
        writeConfig(configFiles().at(1), "postgresql:///from_machine");
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
            file.close();
            if (kind == "mode 000")
                QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
        }
        QString error;
        bool chosen = true;
        {
            const WithoutPermissionOverride asAnyUser;
            chosen = chooseSubjectStore(QString(), QString(), configFiles(), &error);
        }
        if (kind == "folder")
            QDir(path).removeRecursively();
        QVERIFY(!chosen);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(!error.contains("pass-word-7"), qPrintable(error));
        QVERIFY(!dynamic_cast<const ServerStore*>(&SubjectStore::current()));
    }

    void theCommandLineTakesDatabase() {
        const CommandLine line = parseCommandLine(
            {"velmora", "--data", "/tmp/x", "--database", "postgresql://u@h:5433/clinic"});
        QCOMPARE(line.action, CommandLine::Action::Run);
        QCOMPARE(line.database, QString("postgresql://u@h:5433/clinic"));
        QVERIFY(parseCommandLine({"velmora", "--help"}).message.contains("--database"));
    }
};

VELMORA_TEST_MAIN(TestStoreChoice)
#include "tst_storechoice.moc"
