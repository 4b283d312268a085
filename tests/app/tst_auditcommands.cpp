#include "access/Audit.h"
#include "backup/Frmbackup.h"
#include "data/AuditTrail.h"
#include "data/Database.h"
#include "support/Command.h"
#include "support/CsvReader.h"
#include "support/ProgramFolder.h"

#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Trail = QStringLiteral("DBM/Audit.db");

// Entries 1..count, each a different action on subject "S<n>".
void writeEntries(int from, int to) {
    for (int i = from; i <= to; ++i) {
        AuditEntry e;
        e.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        e.workstation = QStringLiteral("ws");
        e.operatorName = QStringLiteral("op");
        e.action = i % 2 ? QStringLiteral("register") : QStringLiteral("scores");
        e.code = QStringLiteral("S%1").arg(i);
        e.outcome = QStringLiteral("done");
        e.detail = QStringLiteral("entry %1").arg(i);
        QString error;
        if (!AuditTrail::append(e, &error))
            qFatal("append: %s", qPrintable(error));
    }
}

QString hashOf(int seq) {
    return ProgramFolder::value(Trail, "SELECT \"Hash\" FROM \"Audit\" WHERE \"Seq\" = ?", {seq});
}

AuditEntry stored(int seq) {
    const QStringList r = ProgramFolder::rows(Trail,
                                              "SELECT \"Seq\", \"Time\", \"Workstation\", "
                                              "\"Operator\", \"Action\", \"Code\", \"Outcome\", "
                                              "\"Detail\" FROM \"Audit\" WHERE \"Seq\" = ?",
                                              {seq})
                              .value(0);
    AuditEntry e;
    e.seq = r.value(0).toLongLong();
    e.time = r.value(1);
    e.workstation = r.value(2);
    e.operatorName = r.value(3);
    e.action = r.value(4);
    e.code = r.value(5);
    e.outcome = r.value(6);
    e.detail = r.value(7);
    return e;
}

// Gives the chain new hashes from entry from on, as someone who can write the
// file and knows how it is chained would, to hide a change.
void chainAgainFrom(int from, int to) {
    QString previous = from > 1 ? hashOf(from - 1) : QString();
    for (int seq = from; seq <= to; ++seq) {
        const QString hash = AuditTrail::chainHash(stored(seq), previous);
        ProgramFolder::exec(Trail, "UPDATE \"Audit\" SET \"Hash\" = ? WHERE \"Seq\" = ?",
                            {hash, seq});
        previous = hash;
    }
}

void keepAnchorAt(int seq) {
    QString error;
    if (!AuditAnchors::keep(seq, hashOf(seq), QStringLiteral("test"), &error))
        qFatal("anchor: %s", qPrintable(error));
}

} // namespace

// The audit trail from the command line: --verify-audit finds the first entry
// that was tampered with, however it was done; --export-audit writes it out.
class TestAuditCommands : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void tamperingIsFound_data() {
        QTest::addColumn<QString>("tamper");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("untouched") << "" << 0 << "6 entries, intact";
        QTest::newRow("a field changed") << "change" << 1 << "entry 3 (";
        QTest::newRow("an entry removed") << "remove" << 1 << "entry 4 (";
        QTest::newRow("two entries swapped") << "swap" << 1 << "entry 2 (";
        QTest::newRow("the last entry removed, an anchor kept")
            << "remove last" << 1 << "entry 6: missing; the trail ends at 5";
        QTest::newRow("an older copy put in place, an anchor kept")
            << "older copy" << 1 << "entry 4: missing; the trail ends at 3";
        QTest::newRow("an older copy put in place, the anchor of a backup")
            << "older copy, backup" << 1 << "entry 4: missing; the trail ends at 3";
        QTest::newRow("a change hidden by chaining again, an anchor kept")
            << "chain again" << 1 << "entry 6 (";
        // Without an anchor nothing outside the file remembers the entries
        // removed from its end: the reason anchors are kept.
        QTest::newRow("the last entry removed, no anchor")
            << "remove last, no anchor" << 0 << "5 entries, intact";
    }
    void tamperingIsFound() {
        QFETCH(QString, tamper);
        QFETCH(int, status);
        QFETCH(QString, said);
        writeEntries(1, 3);
        const QString older = m_folder->file(QStringLiteral("older.db"));
        QVERIFY(QFile::copy(m_folder->file(Trail), older));
        writeEntries(4, 6);
        if (tamper == QLatin1String("change")) {
            ProgramFolder::exec(Trail, "UPDATE \"Audit\" SET \"Code\" = 'S9' WHERE \"Seq\" = 3");
        } else if (tamper == QLatin1String("remove")) {
            ProgramFolder::exec(Trail, "DELETE FROM \"Audit\" WHERE \"Seq\" = 3");
        } else if (tamper == QLatin1String("swap")) {
            // Entries 2 and 3 trade places, each keeping its own hash.
            const QList<QStringList> two = ProgramFolder::rows(
                Trail, "SELECT \"Seq\", \"Action\", \"Code\", \"Detail\", \"Hash\", \"Time\" FROM "
                       "\"Audit\" WHERE \"Seq\" IN (2, 3) ORDER BY \"Seq\"");
            for (int i = 0; i < 2; ++i) {
                const QStringList& from = two.at(1 - i);
                ProgramFolder::exec(
                    Trail,
                    "UPDATE \"Audit\" SET \"Action\" = ?, \"Code\" = ?, \"Detail\" "
                    "= ?, \"Hash\" = ?, \"Time\" = ? WHERE \"Seq\" = ?",
                    {from.at(1), from.at(2), from.at(3), from.at(4), from.at(5), two.at(i).at(0)});
            }
        } else if (tamper == QLatin1String("remove last")) {
            keepAnchorAt(6);
            ProgramFolder::exec(Trail, "DELETE FROM \"Audit\" WHERE \"Seq\" = 6");
        } else if (tamper == QLatin1String("remove last, no anchor")) {
            ProgramFolder::exec(Trail, "DELETE FROM \"Audit\" WHERE \"Seq\" = 6");
        } else if (tamper.startsWith(QLatin1String("older copy"))) {
            if (tamper.endsWith(QLatin1String("backup"))) {
                // A backup made after entry 5, through the backup window.
                Frmbackup* backup = Frmbackup::showWindow();
                backup->Text1->setText(m_folder->file(QStringLiteral("Back/after-5.mdbB")));
                backup->VisualButtonEx2_Click();
                QVERIFY(QFile::exists(m_folder->file(QStringLiteral("Back/after-5.mdbB"))));
            } else {
                keepAnchorAt(6);
            }
            Database::closeAll();
            QVERIFY(QFile::remove(m_folder->file(Trail)));
            QVERIFY(QFile::copy(older, m_folder->file(Trail)));
        } else if (tamper == QLatin1String("chain again")) {
            keepAnchorAt(6);
            ProgramFolder::exec(Trail,
                                "UPDATE \"Audit\" SET \"Outcome\" = 'refused' WHERE \"Seq\" = 2");
            chainAgainFrom(2, 6);
        }
        Database::closeAll();
        const CommandResult result = runCommand({QStringLiteral("--verify-audit")});
        QCOMPARE(result.status, status);
        if (status == 0) {
            QCOMPARE(int(result.out.count(u'\n')), 1);
            QVERIFY2(result.out.trimmed().endsWith(said), qPrintable(result.out));
            QCOMPARE(result.err, QString());
        } else {
            QCOMPARE(result.out, QString());
            QVERIFY2(result.err.contains(said), qPrintable(result.err));
        }
    }

    // The whole trail, oldest first, as the subject export writes a file;
    // the export itself is the next entry, and its head is kept outside.
    void theTrailIsExported() {
        writeEntries(1, 4);
        ProgramFolder::exec(Trail, "UPDATE \"Audit\" SET \"Detail\" = ? WHERE \"Seq\" = 2",
                            {QStringLiteral("=HYPERLINK(\"x\")، «نقل»\nخط دوم")});
        Database::closeAll();
        const QString path = m_folder->file(QStringLiteral("out/trail.csv"));
        QDir().mkpath(m_folder->file(QStringLiteral("out")));
        const CommandResult result = runCommand({QStringLiteral("--export-audit"), path});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.err, QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const CsvContent csv = parseCsv(file.readAll());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        QVERIFY(csv.byteOrderMark);
        QCOMPARE(csv.rows.size(), 5);
        QCOMPARE(csv.rows.at(0).first(), QStringLiteral("شماره"));
        QCOMPARE(csv.rows.at(1).first(), QStringLiteral("1"));
        QCOMPARE(csv.rows.at(4).first(), QStringLiteral("4"));
        QCOMPARE(csv.rows.at(2).at(9), QStringLiteral("'=HYPERLINK(\"x\")، «نقل»\nخط دوم"));
        QCOMPARE(csv.rows.at(4).last(), hashOf(4));
        QCOMPARE(ProgramFolder::value(Trail, "SELECT \"Action\" FROM \"Audit\" WHERE \"Seq\" = 5"),
                 QStringLiteral("audit-export"));
        QCOMPARE(ProgramFolder::rows("DBM/DB.mdb", "SELECT \"Seq\", \"Hash\" FROM \"AuditAnchor\""),
                 (QList<QStringList>{{"4", hashOf(4)}}));
        // A file that cannot be written is said, and leaves nothing.
        const CommandResult nowhere =
            runCommand({QStringLiteral("--export-audit"), m_folder->file("missing/trail.csv")});
        QCOMPARE(nowhere.status, 1);
        QVERIFY(nowhere.err.contains(QStringLiteral("the audit trail was not exported")));
    }
};

VELMORA_TEST_MAIN(TestAuditCommands)
#include "tst_auditcommands.moc"
