// The benchmark's load run as CI runs it: a few workstation processes against
// the test server, the store checked afterwards; and the check itself shown
// to find what a real fault would leave behind, planted in a copy of a sound
// store by another session, as another program or a faulty release would.
#include "support/PgSession.h"
#include "support/PgTestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString output;
};

// The benchmark with these arguments, its standard output and error together.
Run bench(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VELMORA_BENCH_BINARY), arguments);
    Run run;
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
    }
    run.output = QString::fromUtf8(process.readAll());
    // A kept run's database is the test's to drop; its workstations' folders go now.
    const QString kept = QStringLiteral("workstations' folders and journal in ");
    for (const QString& line : run.output.split(u'\n'))
        if (line.startsWith(QStringLiteral("kept: ")) && line.contains(kept))
            QDir(line.mid(line.indexOf(kept) + kept.size())).removeRecursively();
    return run;
}

// A column of a step's line in the load run's table: 0 count, 1 median.
double stepColumn(const QString& output, const QString& step, int column) {
    for (const QString& line : output.split(u'\n'))
        if (line.startsWith(step + QStringLiteral("  ")))
            return line.mid(22).split(u' ', Qt::SkipEmptyParts).value(column).toDouble();
    return -1;
}

QString database(const QString& tag) {
    return QStringLiteral("velmora_loadtest_%1_%2").arg(::getpid()).arg(tag);
}

// Runs statements in one session on database.
void plant(const QString& database, const QStringList& statements) {
    PgSession session(database, QStringLiteral("planting"));
    for (const QString& sql : statements)
        session.rows(sql);
}

} // namespace

class TestLoadRun : public QObject {
    Q_OBJECT
    PgTestServer m_server;
    QTemporaryDir m_dir;
    QString m_sound;   // a kept database a load run left sound
    QString m_journal; // and its journal

    // A copy of the sound store, for one case to spoil.
    QString copyOfSound(const QString& tag) {
        const QString copy = database(tag);
        PgSession(QStringLiteral("postgres"), QStringLiteral("copying"))
            .rows(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(copy, m_sound));
        return copy;
    }

private slots:
    void initTestCase() {
        VELMORA_REQUIRE_PG(m_server);
        QVERIFY(m_dir.isValid());
        m_sound = database(QStringLiteral("sound"));
        m_journal = m_dir.filePath(QStringLiteral("journal.tsv"));
        const Run run =
            bench({QStringLiteral("load"), QStringLiteral("--workstations"), QStringLiteral("2"),
                   QStringLiteral("--subjects"), QStringLiteral("3"), QStringLiteral("--database"),
                   m_sound, QStringLiteral("--journal"), m_journal, QStringLiteral("--keep")});
        QVERIFY2(run.status == 0, qPrintable(run.output));
    }
    void cleanupTestCase() {
        if (!m_sound.isEmpty())
            PgTestServer::dropDatabase(m_sound);
    }

    // Every workstation goes through every step of every subject, and the
    // store holds each subject once, whole, with one administration per save.
    void loadRunLeavesASoundStore_data() {
        QTest::addColumn<bool>("collide");
        QTest::addColumn<int>("subjects");        // in the store
        QTest::addColumn<int>("administrations"); // kept
        QTest::addColumn<QString>("latencyMs");   // of the proxy in between; empty: none
        // Two workstations of 3 subjects each: 6 subjects; colliding, the two
        // register and test the same 3 codes, and both save each.
        QTest::newRow("apart") << false << 6 << 6 << QString();
        QTest::newRow("colliding") << true << 3 << 6 << QString();
        // Every byte both ways through the delaying proxy, held 1 ms each way.
        QTest::newRow("1 ms away") << false << 6 << 6 << QStringLiteral("1");
    }
    void loadRunLeavesASoundStore() {
        QFETCH(bool, collide);
        QFETCH(int, subjects);
        QFETCH(int, administrations);
        QFETCH(QString, latencyMs);
        const QString name = database(QStringLiteral("run"));
        QStringList arguments = {QStringLiteral("load"),
                                 QStringLiteral("--workstations"),
                                 QStringLiteral("2"),
                                 QStringLiteral("--subjects"),
                                 QStringLiteral("3"),
                                 QStringLiteral("--database"),
                                 name,
                                 QStringLiteral("--keep"),
                                 QStringLiteral("--journal"),
                                 m_dir.filePath(QStringLiteral("run.tsv"))};
        if (collide)
            arguments.append(QStringLiteral("--collide"));
        if (!latencyMs.isEmpty())
            arguments += {QStringLiteral("--latency-ms"), latencyMs};
        const Run run = bench(arguments);
        QVERIFY2(run.status == 0, qPrintable(run.output));
        QVERIFY2(run.output.contains(QStringLiteral("no integrity fault")), qPrintable(run.output));
        // What the server's log and the workstations said: findings, printed.
        for (const QString& line : run.output.split(u'\n'))
            if (line.startsWith(QStringLiteral("server log")) ||
                line.startsWith(QStringLiteral("workstations' warnings")))
                qInfo("%s", qPrintable(line));
        const QList<QPair<QString, int>> steps = {{QStringLiteral("registration"), 6},
                                                  {QStringLiteral("test launch"), 6},
                                                  {QStringLiteral("answer step"), 6 * 13},
                                                  {QStringLiteral("save and exit"), 6},
                                                  {QStringLiteral("scoring search"), 6}};
        for (const auto& [step, count] : steps)
            QVERIFY2(stepColumn(run.output, step, 0) == count,
                     qPrintable(step + u'\n' + run.output));
        // Storing an answer waits for the server at least once: the time
        // there and back.
        if (!latencyMs.isEmpty())
            QVERIFY2(stepColumn(run.output, QStringLiteral("answer step"), 1) >=
                         2 * latencyMs.toDouble(),
                     qPrintable(run.output));

        // Read back here too, not only by the run's own check.
        {
            PgSession store(name, QStringLiteral("reading"));
            QCOMPARE(store.value(QStringLiteral("SELECT COUNT(*) FROM \"IDE\"")).toInt(), subjects);
            QCOMPARE(store.value(QStringLiteral("SELECT COUNT(*) FROM \"Answer\"")).toInt(),
                     subjects);
            QCOMPARE(store.value(QStringLiteral("SELECT COUNT(*) FROM \"History\"")).toInt(),
                     administrations);
            QCOMPARE(store
                         .value(QStringLiteral("SELECT COUNT(*) FROM \"IDE\" JOIN \"CodeKey\" "
                                               "USING (\"ID\")"))
                         .toInt(),
                     subjects);
            // No empty item on any sheet: every answer reached the store.
            QString empty;
            for (int item = 1; item <= 14; ++item)
                empty += QStringLiteral(" OR \"%1\" IS NULL OR \"%1\" = ''").arg(item);
            QCOMPARE(
                store.value(QStringLiteral("SELECT COUNT(*) FROM \"Answer\" WHERE FALSE") + empty)
                    .toInt(),
                0);
        }
        PgTestServer::dropDatabase(name);
    }

    // The check, run again on a copy of a sound store, finds what another
    // session changed behind the program's back.
    void checkFindsAPlantedFault_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QStringList>("found");
        const QString first = QStringLiteral("(SELECT MIN(\"ID\") FROM \"%1\")");
        const QString other = QStringLiteral("CASE WHEN \"%1\" = '5' THEN '1' ELSE '5' END");
        QTest::newRow("nothing planted") << QStringList() << QStringList{"no integrity fault"};
        QTest::newRow("row inserted without a key")
            << QStringList{QStringLiteral(
                               "INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", "
                               "\"Sen\", \"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\") "
                               "VALUES ('other-tool', 'F', 'L', 'x', '30', 'y', 'z', 'A', "
                               "'1403/01/01', '10:00:00')"),
                           QStringLiteral("INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES "
                                          "('other-tool', 'A')")}
            << QStringList{"code key missing: 1", "other-tool (ID",
                           "subject not registered by the run: 1"};
        QTest::newRow("key removed")
            << QStringList{QStringLiteral("DELETE FROM \"CodeKey\" WHERE \"ID\" = ") +
                           first.arg(QLatin1String("IDE"))}
            << QStringList{"code key missing: 1"};
        QTest::newRow("key of another reading")
            << QStringList{QStringLiteral("UPDATE \"CodeKey\" SET \"Key\" = \"Key\" || 'x' WHERE "
                                          "\"ID\" = ") +
                           first.arg(QLatin1String("CodeKey"))}
            << QStringList{"code key wrong: 1"};
        QTest::newRow("answer changed")
            << QStringList{QStringLiteral("UPDATE \"Answer\" SET \"7\" = ") + other.arg(7) +
                           QStringLiteral(" WHERE \"ID\" = ") + first.arg(QLatin1String("Answer"))}
            << QStringList{"answer not as typed: 1", "item 7 is"};
        QTest::newRow("administration changed")
            << QStringList{QStringLiteral("UPDATE \"History\" SET \"3\" = ") + other.arg(3) +
                           QStringLiteral(" WHERE \"ID\" = ") + first.arg(QLatin1String("History"))}
            << QStringList{"administration not as typed: 1", "item 3 is"};
        QTest::newRow("administration lost")
            << QStringList{QStringLiteral("DELETE FROM \"History\" WHERE \"ID\" = ") +
                           first.arg(QLatin1String("History"))}
            << QStringList{"administrations miscounted: 1"};
        QTest::newRow("registration changed")
            << QStringList{QStringLiteral(
                               "UPDATE \"IDE\" SET \"FName\" = 'Someone' WHERE \"ID\" = ") +
                           first.arg(QLatin1String("IDE"))}
            << QStringList{"registration not as typed: 1"};
        QTest::newRow("sheet moved to another group")
            << QStringList{QStringLiteral("UPDATE \"Answer\" SET \"Group\" = CASE WHEN \"Group\" = "
                                          "'A' THEN 'B' ELSE 'A' END WHERE \"ID\" = ") +
                           first.arg(QLatin1String("Answer"))}
            << QStringList{"sheet of another registration: 1"};
        QTest::newRow("subject removed")
            << QStringList{QStringLiteral("DELETE FROM \"IDE\" WHERE \"ID\" = ") +
                           first.arg(QLatin1String("IDE"))}
            << QStringList{"subject missing: 1", "sheet without subject: 1",
                           "code key without subject: 1"};
        // A zero-width non-joiner: the same code to whoever reads it.
        QTest::newRow("look-alike beside a subject")
            << QStringList{QStringLiteral(
                   "INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", "
                   "\"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\") SELECT \"Code\" || "
                   "U&'\\200C', \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", "
                   "\"Group\", \"Date\", \"Time\" FROM \"IDE\" ORDER BY \"ID\" LIMIT 1")}
            << QStringList{"codes that read the same: 1"};
    }
    void checkFindsAPlantedFault() {
        QFETCH(QStringList, statements);
        QFETCH(QStringList, found);
        const QString copy = copyOfSound(QStringLiteral("copy"));
        plant(copy, statements);
        const Run run = bench({QStringLiteral("load-check"), QStringLiteral("--database"), copy,
                               QStringLiteral("--journal"), m_journal});
        PgTestServer::dropDatabase(copy);
        QCOMPARE(run.status, statements.isEmpty() ? 0 : 1);
        for (const QString& text : found)
            QVERIFY2(run.output.contains(text),
                     qPrintable(text + QStringLiteral(" in:\n") + run.output));
    }

    // A score the scoring window showed that is not the sum of the answers.
    void checkFindsAWrongScoreShown() {
        QFile journal(m_journal);
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(journal.readAll()).split(u'\n');
        const qsizetype at = lines.indexOf(QRegularExpression(QStringLiteral("^1\tscores\t2\t.*")));
        QVERIFY(at > 0);
        QStringList fields = lines.at(at).split(u'\t');
        fields[3] = QString::number(fields.at(3).toInt() + 1); // the first scale's score
        lines[at] = fields.join(u'\t');
        const QString edited = m_dir.filePath(QStringLiteral("edited.tsv"));
        QFile out(edited);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(lines.join(u'\n').toUtf8());
        out.close();
        const Run run = bench({QStringLiteral("load-check"), QStringLiteral("--database"), m_sound,
                               QStringLiteral("--journal"), edited});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.output.contains(QStringLiteral("score shown wrong: 1")),
                 qPrintable(run.output));
        QVERIFY2(run.output.contains(QStringLiteral("workstation 1 was shown")),
                 qPrintable(run.output));
    }
};

QTEST_GUILESS_MAIN(TestLoadRun)

#include "tst_loadrun.moc"
