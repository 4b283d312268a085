#include "access/Audit.h"
#include "app/AccessRun.h"
#include "app/App.h"
#include "app/Frm1.h"
#include "backup/Frmbackup.h"
#include "data/AuditTrail.h"
#include "data/DataControl.h"
#include "data/SqliteFile.h"
#include "data/SubjectStore.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "registry/RegistrationPanel.h"
#include "scoring/DataRPrint.h"
#include "scoring/FrmkLID.h"
#include "settings/ClinicPanel.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Subjects = QStringLiteral("DBM/DB2.mdb");
const QStringList AllFive = QStringList(14, QStringLiteral("5"));

QString trailFile() {
    return ProgramFolder::onServer() ? Subjects : AuditTrail::fileName();
}

// The trail's entries after the first from entries: action, code, outcome.
QList<QStringList> entriesAfter(int from) {
    return ProgramFolder::rows(trailFile(),
                               "SELECT \"Action\", \"Code\", \"Outcome\" FROM \"Audit\" WHERE "
                               "\"Seq\" > ? ORDER BY \"Seq\"",
                               {from});
}

int entryCount() {
    return ProgramFolder::value(trailFile(), "SELECT COUNT(*) FROM \"Audit\"").toInt();
}

// A trail that takes no more entries, as a full disk or a server gone would.
void refuseEntries() {
    if (ProgramFolder::onServer())
        ProgramFolder::refuseInserts(QStringLiteral("Audit"), QStringLiteral("disk full"));
    else
        ProgramFolder::exec(AuditTrail::fileName(),
                            "CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"Audit\" BEGIN SELECT "
                            "RAISE(ABORT, 'disk full'); END");
}

int count(const QString& table) {
    return ProgramFolder::value(Subjects, QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table))
        .toInt();
}

} // namespace

// Every action leaves an entry, with the subject's code where it has one and
// never a name; an action whose entry cannot be written is not done, and the
// operator hears why in the action's own words.
class TestAuditRecords : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    bool toldUnrecorded() {
        const QStringList texts = platform().messageTexts();
        return std::any_of(texts.begin(), texts.end(), [](const QString& text) {
            return text.contains(Audit::unrecordedText()) &&
                   text.contains(QStringLiteral("disk full"));
        });
    }

    FrmkLID* scoredWindow(const QString& code) {
        auto* scoring = FrmkLID::showWindow();
        platform().inputAnswers.enqueue(code);
        scoring->Command1_Click();
        return scoring;
    }

    // Does action the way an operator does; true when what it does is there
    // afterwards (a subject stored, a file written, a window shown).
    bool perform(const QString& action) {
        Frm1* main = Frm1::showMain();
        if (action == QLatin1String("register")) {
            main->Command1->click();
            RegistrationPanel* panel = main->Frame10;
            panel->Text11->setText(QStringLiteral("N-1"));
            panel->Text6->setText(QStringLiteral("Nasrin"));
            panel->Text4->setText(QStringLiteral("Nouri"));
            panel->Combo2->setCurrentIndex(1);
            panel->Text5->setText(QStringLiteral("41"));
            panel->Combo1->setCurrentIndex(0);
            panel->Combo3->setCurrentIndex(2);
            panel->Text7->setText(QStringLiteral("x"));
            refuseNow();
            panel->Command8->click();
            const bool stored = count(QStringLiteral("IDE")) == 2;
            // Refused or not, nothing typed was lost.
            if (!stored && panel->Text6->text() != QLatin1String("Nasrin"))
                return true;
            return stored;
        }
        if (action == QLatin1String("test") || action == QLatin1String("answers") ||
            action == QLatin1String("test-saved")) {
            bool shown = false;
            bool stored = false;
            platform().inputAnswers.enqueue(QStringLiteral("A-1"));
            // A launch the trail refuses shows no window to wait for.
            if (!(m_refuse && action == QLatin1String("test")))
                whenModal([&](QWidget* window) {
                    auto* test = qobject_cast<FrmTest*>(window);
                    if (!test) {
                        window->close();
                        return;
                    }
                    shown = true;
                    test->Command1->click();
                    test->Option2->click();
                    if (action == QLatin1String("answers")) {
                        refuseNow();
                        test->CmdNext->click();
                        stored = ProgramFolder::storedAnswer(QStringLiteral("A-1"), 1) == "4";
                        test->Command2->click();
                    } else if (action == QLatin1String("test-saved")) {
                        refuseNow();
                        test->Command5->click();
                        stored = count(QStringLiteral("History")) == 1;
                        if (test->isVisible())
                            test->Command2->click();
                    } else {
                        stored = true;
                        test->Command2->click();
                    }
                });
            if (action == QLatin1String("test"))
                refuseNow();
            main->Command2->click();
            return action == QLatin1String("test") ? shown : stored;
        }
        if (action == QLatin1String("scores")) {
            refuseNow();
            FrmkLID* scoring = scoredWindow(QStringLiteral("A-1"));
            return !scoring->Text3[0]->text().isEmpty();
        }
        if (action == QLatin1String("chart") || action == QLatin1String("history") ||
            action == QLatin1String("report") || action == QLatin1String("report-pdf") ||
            action == QLatin1String("report-print")) {
            ProgramFolder::addAdministration(QStringLiteral("A-1"), "1403/01/01", "10:00:00",
                                             AllFive);
            FrmkLID* scoring = scoredWindow(QStringLiteral("A-1"));
            if (action == QLatin1String("history")) {
                bool shown = false;
                if (!m_refuse)
                    whenModal([&shown](QWidget* window) {
                        shown = true;
                        window->close();
                    });
                refuseNow();
                scoring->historyClick();
                return shown;
            }
            if (action == QLatin1String("chart")) {
                bool shown = false;
                if (!m_refuse)
                    whenModal([&shown](QWidget* window) {
                        shown = true;
                        window->close();
                    });
                refuseNow();
                scoring->Command2_Click();
                return shown;
            }
            if (action == QLatin1String("report")) {
                refuseNow();
                scoring->Command6_Click();
                return !platform().ofKind(QStringLiteral("printPreview")).isEmpty();
            }
            scoring->Command6_Click();
            refuseNow();
            if (action == QLatin1String("report-print"))
                return platform().printFromPreview();
            const QString pdf = m_folder->file(QStringLiteral("report.pdf"));
            platform().saveAnswers.enqueue(pdf);
            platform().runPreviewAction(DataRPrint::savePdfCommand());
            return QFile::exists(pdf);
        }
        if (action == QLatin1String("lookup") || action == QLatin1String("lookup-search") ||
            action == QLatin1String("export-csv")) {
            bool opened = false;
            bool done = false;
            const QString csv = m_folder->file(QStringLiteral("subjects.csv"));
            if (!(m_refuse && action == QLatin1String("lookup")))
                whenModal([&](QWidget* window) {
                    auto* lookup = qobject_cast<FrmCode*>(window);
                    if (!lookup) {
                        window->close();
                        return;
                    }
                    opened = true;
                    refuseNow();
                    if (action == QLatin1String("lookup-search")) {
                        // A name nobody has: the search done says so under the boxes.
                        lookup->DataCombo1->setEditText(QStringLiteral("Karimi"));
                        done = lookup->notFoundLabel->isVisible();
                    } else if (action == QLatin1String("export-csv")) {
                        platform().saveAnswers.enqueue(csv);
                        lookup->exportButton->click();
                        done = QFile::exists(csv);
                    }
                    lookup->close();
                });
            if (action == QLatin1String("lookup"))
                refuseNow();
            main->Command4->click();
            return action == QLatin1String("lookup") ? opened : done;
        }
        if (action == QLatin1String("settings")) {
            main->Command9->click();
            main->Command67_Click();
            main->Frame9->Text2->setText(QStringLiteral("Clinic Two"));
            refuseNow();
            main->Frame9->Command64->click();
            return ProgramFolder::value("DBM/DB.mdb", "SELECT \"Name\" FROM \"Theme\"") ==
                   QLatin1String("Clinic Two");
        }
        if (action == QLatin1String("backup")) {
            Frmbackup* backup = Frmbackup::showWindow();
            const QString file = m_folder->file(QStringLiteral("Back/copy.mdbB"));
            backup->Text1->setText(file);
            refuseNow();
            backup->VisualButtonEx2_Click();
            return QFile::exists(file);
        }
        if (action == QLatin1String("restore")) {
            const QString file = m_folder->file(QStringLiteral("Back/empty.mdbB"));
            QFile::copy(m_folder->file(QStringLiteral("empty-subjects.mdb")), file);
            Frmbackup* backup = Frmbackup::showWindow();
            backup->Text2->setText(file);
            platform().messageAnswers.enqueue(QMessageBox::Yes);
            refuseNow();
            backup->VisualButtonEx3_Click();
            return count(QStringLiteral("IDE")) == 0;
        }
        return false;
    }

    bool m_refuse = false;
    // The trail stops taking entries from here on, in the rows that want it.
    void refuseNow() {
        if (m_refuse) {
            refuseEntries();
            m_refuse = false;
        }
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        ProgramFolder::addSubject(QStringLiteral("A-1"), QStringLiteral("Ahmad"),
                                  QStringLiteral("Ahmadi"));
        ProgramFolder::setAnswers(QStringLiteral("A-1"), AllFive);
    }
    void cleanup() { m_folder.reset(); }

    void everyActionIsRecordedOrNotDone_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("refused");
        for (const auto& [action, code] :
             QList<QPair<const char*, const char*>>{{"register", "N-1"},
                                                    {"test", "A-1"},
                                                    {"answers", "A-1"},
                                                    {"test-saved", "A-1"},
                                                    {"scores", "A-1"},
                                                    {"chart", "A-1"},
                                                    {"history", "A-1"},
                                                    {"report", "A-1"},
                                                    {"report-pdf", "A-1"},
                                                    {"report-print", "A-1"},
                                                    {"lookup", ""},
                                                    {"lookup-search", ""},
                                                    {"export-csv", ""},
                                                    {"settings", ""},
                                                    {"backup", ""},
                                                    {"restore", ""}}) {
            QTest::addRow("%s", action) << action << code << false;
            QTest::addRow("%s, the trail full", action) << action << code << true;
        }
    }
    void everyActionIsRecordedOrNotDone() {
        QFETCH(QString, action);
        QFETCH(QString, code);
        QFETCH(bool, refused);
        if (action == QLatin1String("restore")) {
            // A subject file without subjects to restore from, made from the store's own.
            const QString empty = m_folder->file(QStringLiteral("empty-subjects.mdb"));
            QString error;
            QDir().mkpath(m_folder->file(QStringLiteral("Back")));
            {
                std::unique_ptr<StoreSnapshot> snapshot = SubjectStore::current().snapshot(
                    m_folder->file(QStringLiteral("Back")), {}, &error);
                QVERIFY2(snapshot, qPrintable(error));
                QVERIFY(QFile::copy(snapshot->path(), empty));
            }
            {
                SqliteFile::Connection file(empty);
                QVERIFY(file.isOpen());
                QSqlQuery q(file.db());
                for (const char* table : {"IDE", "Answer", "History"})
                    QVERIFY(q.exec(QStringLiteral("DELETE FROM \"%1\"").arg(QLatin1String(table))));
            }
        }
        const int before = entryCount();
        m_refuse = refused;
        const bool done = perform(action);
        QVERIFY(!m_refuse); // every way of doing it reached the moment the trail fills
        QCOMPARE(done, !refused);
        if (refused) {
            QVERIFY2(toldUnrecorded(), qPrintable(platform().messageTexts().join(u'|')));
            return;
        }
        const QList<QStringList> entries = entriesAfter(before);
        const QStringList wanted{action, code, QStringLiteral("done")};
        QVERIFY2(entries.contains(wanted),
                 qPrintable(
                     QStringLiteral("%1 not among %2").arg(wanted.join(u',')).arg(entries.size())));
        // No name goes into the trail.
        for (const QString& name :
             {QStringLiteral("Ahmad"), QStringLiteral("Nasrin"), QStringLiteral("Nouri")})
            QVERIFY(ProgramFolder::value(
                        trailFile(), "SELECT COUNT(*) FROM \"Audit\" WHERE \"Detail\" LIKE ?",
                        {QString(QStringLiteral("%") + name + QStringLiteral("%"))}) == "0");
    }

    // The run itself: its start and end, with the trail's head kept outside.
    void theRunIsRecorded() {
        QVERIFY(startVelmora());
        AccessRun::close();
        const QList<QStringList> entries = entriesAfter(0);
        QCOMPARE(entries.first(), (QStringList{"start", "", "done"}));
        QCOMPARE(entries.last(), (QStringList{"end", "", "done"}));
        QCOMPARE(ProgramFolder::value("DBM/DB.mdb", "SELECT \"Seq\" FROM \"AuditAnchor\""),
                 QString::number(entries.size()));
        // A trail that takes nothing keeps the program from starting.
        deleteAllWindows();
        refuseEntries();
        QVERIFY(!startVelmora());
        QVERIFY(toldUnrecorded());
        QVERIFY(!Frm1::instance());
    }
};

VELMORA_TEST_MAIN(TestAuditRecords)
#include "tst_auditrecords.moc"
