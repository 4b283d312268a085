#include "data/AuditTrail.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "support/CaseFolder.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QSqlQuery>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Subjects = QStringLiteral("DBM/DB2.mdb");

// The trail's table, wherever the store keeps it.
QList<QStringList> trailRows(const QString& sql, const QVariantList& values = {}) {
    return CaseFolder::rows(CaseFolder::onServer() ? Subjects : AuditTrail::fileName(), sql,
                            values);
}

QString trailValue(const QString& sql) {
    const QList<QStringList> rows = trailRows(sql);
    return rows.isEmpty() ? QString() : rows.first().value(0);
}

AuditEntry entry(const QString& action, const QString& code, const QString& detail) {
    AuditEntry e;
    e.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    e.workstation = QStringLiteral("ws-1");
    e.operatorName = QStringLiteral("سارا");
    e.action = action;
    e.code = code;
    e.outcome = QStringLiteral("done");
    e.detail = detail;
    return e;
}

AuditVerdict verifyNow(const QList<AuditAnchor>& anchors = {}) {
    AuditTrail::Reader reader(QStringLiteral("test-reader"));
    if (!reader.isOpen())
        qFatal("no reader: %s", qPrintable(reader.error()));
    QSqlDatabase db = reader.db();
    return AuditTrail::verify(db, anchors);
}

} // namespace

// The audit trail: every entry chained to the one before, written with the
// action it records or not at all, by any number of writers.
class TestAuditTrail : public QObject {
    Q_OBJECT
    std::unique_ptr<CaseFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<CaseFolder>(); }
    void cleanup() { m_folder.reset(); }

    // Texts that a careless chain would run together: each field's length
    // goes into the hash, so moving a character from one field to the next
    // changes it. On a server, the server chains and the program checks.
    void everyEntryIsChainedToTheOneBefore() {
        const QList<QStringList> fields = {
            {"register", "12", ""},
            {"register", "1", "2"},
            {"lookup-search", "", QStringLiteral("گروه A")},
            {"export-csv", "", QStringLiteral("خط اول\nخط دوم، «نقل» و 'تک' و \"جفت\"")},
            {"scores", QStringLiteral("\u200F۱۲"), QString()},
        };
        for (const QStringList& f : fields) {
            QString error;
            QVERIFY2(AuditTrail::append(entry(f.at(0), f.at(1), f.at(2)), &error),
                     qPrintable(error));
        }
        const QList<QStringList> rows =
            trailRows(QStringLiteral("SELECT \"Seq\", \"Time\", \"Workstation\", \"Operator\", "
                                     "\"Action\", \"Code\", \"Outcome\", \"Detail\", \"Hash\" "
                                     "FROM \"Audit\" ORDER BY \"Seq\""));
        QCOMPARE(rows.size(), fields.size());
        QString previous;
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList& r = rows.at(i);
            AuditEntry e;
            e.seq = r.at(0).toLongLong();
            e.time = r.at(1);
            e.workstation = r.at(2);
            e.operatorName = r.at(3);
            e.action = r.at(4);
            e.code = r.at(5);
            e.outcome = r.at(6);
            e.detail = r.at(7);
            QCOMPARE(e.seq, i + 1);
            QCOMPARE(e.action, fields.at(i).at(0));
            QCOMPARE(e.code, fields.at(i).at(1));
            QCOMPARE(e.detail, fields.at(i).at(2));
            QCOMPARE(r.at(8), AuditTrail::chainHash(e, previous));
            QCOMPARE(r.at(8).size(), 64);
            previous = r.at(8);
        }
        // The server names the operator itself, from the session; the file
        // takes the program's word.
        QCOMPARE(rows.first().at(3), CaseFolder::onServer()
                                         ? CaseFolder::value(Subjects, "SELECT session_user")
                                         : QStringLiteral("سارا"));
        const AuditVerdict verdict = verifyNow();
        QVERIFY2(verdict.intact(), qPrintable(verdict.detail));
        QCOMPARE(verdict.entries, qint64(fields.size()));
        QCOMPARE(verdict.headHash, previous);
    }

    // Written in the action's transaction: rolled back with it, committed
    // with it, and never without the subject rows it records.
    void anEntryGoesWithItsTransaction() {
        {
            DataControl sheets(QStringLiteral("Answer"), nullptr, QStringLiteral("sheets"));
            DataTransaction transaction({&sheets});
            QVERIFY(transaction.begun());
            sheets.addNew();
            sheets.setField(QStringLiteral("Code"), QStringLiteral("7"));
            QVERIFY(sheets.save());
            QString error;
            QVERIFY2(AuditTrail::append(entry("register", "7", ""), &error), qPrintable(error));
            transaction.rollback();
        }
        QCOMPARE(trailValue("SELECT COUNT(*) FROM \"Audit\""), QString("0"));
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"Answer\""), QString("0"));
        {
            DataControl sheets(QStringLiteral("Answer"), nullptr, QStringLiteral("sheets"));
            DataTransaction transaction({&sheets});
            sheets.addNew();
            sheets.setField(QStringLiteral("Code"), QStringLiteral("8"));
            QVERIFY(sheets.save());
            QString error;
            QVERIFY(AuditTrail::append(entry("register", "8", ""), &error));
            QVERIFY(transaction.commit());
        }
        QCOMPARE(trailRows("SELECT \"Seq\", \"Code\" FROM \"Audit\""),
                 (QList<QStringList>{{"1", "8"}}));
        QCOMPARE(CaseFolder::value(Subjects, "SELECT \"Code\" FROM \"Answer\""), QString("8"));
        QVERIFY(verifyNow().intact());
    }

    // A trail that takes no entry (a full disk, here a trigger that refuses
    // every insert) fails the transaction it was to join.
    void aRefusedEntryFailsItsTransaction() {
        if (CaseFolder::onServer())
            CaseFolder::refuseInserts(QStringLiteral("Audit"), QStringLiteral("disk full"));
        else
            CaseFolder::exec(AuditTrail::fileName(),
                             "CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"Audit\" BEGIN "
                             "SELECT RAISE(ABORT, 'disk full'); END");
        DataControl sheets(QStringLiteral("Answer"), nullptr, QStringLiteral("sheets"));
        sheets.setReportFailures(false);
        DataTransaction transaction({&sheets});
        sheets.addNew();
        sheets.setField(QStringLiteral("Code"), QStringLiteral("9"));
        QVERIFY(sheets.save());
        QString error;
        QVERIFY(!AuditTrail::append(entry("register", "9", ""), &error));
        QVERIFY2(error.contains(QStringLiteral("disk full")), qPrintable(error));
        transaction.rollback();
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"Answer\""), QString("0"));
        // Outside a transaction the entry is refused alone.
        QVERIFY(!AuditTrail::append(entry("lookup", "", ""), &error));
        QVERIFY(!AuditTrail::appendAlone(entry("backup", "", "x.mdbB"), &error));
    }

    // Another program writes the same trail at the same time (a command
    // beside the open program, a second workstation on the server): the
    // entries interleave, each chained to the one before, none numbered
    // twice.
    void aSecondWriterKeepsTheChain() {
        QProcess other;
        other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        other.setProcessEnvironment(env);
        QStringList arguments{QStringLiteral("--data"), m_folder->path(),
                              QStringLiteral("--verify-audit")};
        if (CaseFolder::onServer())
            arguments += {QStringLiteral("--database"),
                          QStringLiteral("postgresql:///") + CaseFolder::caseDatabase()};
        int runs = 0;
        int written = 0;
        QElapsedTimer clock;
        clock.start();
        while (runs < 6 && clock.elapsed() < 60000) {
            if (other.state() == QProcess::NotRunning) {
                if (runs > 0)
                    QCOMPARE(other.exitCode(), 0);
                other.start(QStringLiteral(VELMORA_BINARY), arguments);
                QVERIFY(other.waitForStarted());
                ++runs;
            }
            QString error;
            QVERIFY2(AuditTrail::append(entry("answers", "5", QString::number(written)), &error),
                     qPrintable(error));
            ++written;
            // Faster than any operator types, slow enough to leave the
            // other program its turns at the file.
            QTest::qWait(10);
        }
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitCode(), 0);
        const AuditVerdict verdict = verifyNow();
        QVERIFY2(verdict.intact(), qPrintable(QString::number(verdict.badSeq)));
        QCOMPARE(verdict.entries, qint64(written + runs));
        QCOMPARE(trailValue("SELECT COUNT(DISTINCT \"Seq\") FROM \"Audit\""),
                 QString::number(written + runs));
    }

    // Entries newest first, narrowed by code, operator and time, a block at
    // a time.
    void blocksAreReadNewestFirstAndNarrowed() {
        for (int i = 0; i < 30; ++i) {
            QString error;
            QVERIFY(AuditTrail::append(entry(QString::fromLatin1(i % 3 ? "answers" : "scores"),
                                             QString::number(i % 2), QString::number(i)),
                                       &error));
        }
        AuditTrail::Reader reader(QStringLiteral("test-reader"));
        QSqlDatabase db = reader.db();
        QList<AuditEntry> block;
        QString error;
        QVERIFY(AuditTrail::readBlock(db, {}, 0, 10, &block, &error));
        QCOMPARE(block.size(), 10);
        QCOMPARE(block.first().seq, qint64(30));
        QCOMPARE(block.last().seq, qint64(21));
        QList<AuditEntry> next;
        QVERIFY(AuditTrail::readBlock(db, {}, block.last().seq, 10, &next, &error));
        QCOMPARE(next.first().seq, qint64(20));
        AuditTrail::Filter ones;
        ones.code = QStringLiteral("1");
        QList<AuditEntry> coded;
        QVERIFY(AuditTrail::readBlock(db, ones, 0, 100, &coded, &error));
        QCOMPARE(coded.size(), 15);
        for (const AuditEntry& e : std::as_const(coded))
            QCOMPARE(e.code, QStringLiteral("1"));
        AuditTrail::Filter later;
        later.fromTime = QStringLiteral("9999");
        QList<AuditEntry> none;
        QVERIFY(AuditTrail::readBlock(db, later, 0, 100, &none, &error));
        QVERIFY(none.isEmpty());
    }
};

VELMORA_DATA_TEST_MAIN(TestAuditTrail)
#include "tst_audittrail.moc"
