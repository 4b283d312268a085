#include "app/CommandLine.h"
#include "app/StoreChoice.h"
#include "data/ServerStore.h"
#include "data/SubjectStore.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
