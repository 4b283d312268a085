#include "access/Audit.h"
#include "data/AuditTrail.h"
#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "registry/Erasure.h"
#include "registry/FrmCode.h"
#include "registry/SubjectExport.h"
#include "support/Command.h"
#include "support/PgTestServer.h"
#include "support/ProgramFolder.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString SubjectDb = QStringLiteral("DBM/DB2.mdb");

// The subjects every case starts with: code, first name, last name, group,
// administrations kept. The pair written with Arabic and Persian kaf read
// the same to a person: erasing one must leave the other.
struct Subject {
    QString code, first, last, group;
    int administrations;
};
const QList<Subject> Subjects = {
    {QStringLiteral("R-1"), QStringLiteral("Shirin"), QStringLiteral("Tavakoli"),
     QStringLiteral("A"), 2},
    {QStringLiteral("R-2"), QStringLiteral("Ali"), QStringLiteral("Karimi"), QStringLiteral("B"),
     1},
    {QStringLiteral("O'Brien"), QStringLiteral("Niamh"), QStringLiteral("O'Brien"),
     QStringLiteral("A"), 0},
    {QString::fromUtf8("كد۷"), QStringLiteral("Parisa"), QStringLiteral("Arabic"),
     QStringLiteral("C"), 1},
    {QString::fromUtf8("کد۷"), QStringLiteral("Parvin"), QStringLiteral("Persian"),
     QStringLiteral("C"), 1},
};

Subject subject(const QString& code) {
    for (const Subject& s : Subjects)
        if (s.code == code)
            return s;
    return {};
}

QStringList answers(int seed) {
    QStringList a;
    for (int item = 0; item < ItemCount; ++item)
        a.append(QString::number(1 + (item + seed) % 5));
    return a;
}

// Every row of every subject table, as text, with each code key shown beside
// the code of its registration: what "untouched" is compared against.
QStringList allRows() {
    QStringList rows;
    for (const QString& table : Database::tables(DbFile::Subjects)) {
        QStringList columns;
        for (const QString& field : Database::fields(table))
            columns.append(Database::quoted(field));
        for (const QStringList& row : ProgramFolder::rows(
                 SubjectDb, QStringLiteral("SELECT %1 FROM %2 ORDER BY \"ID\"")
                                .arg(columns.join(QStringLiteral(", ")), Database::quoted(table))))
            rows.append(table + QStringLiteral(": ") + row.join(u'|'));
    }
    for (const QStringList& row : ProgramFolder::rows(
             SubjectDb, QStringLiteral("SELECT k.\"ID\", COALESCE(i.\"Code\", '(none)') FROM "
                                       "\"CodeKey\" k LEFT JOIN \"IDE\" i ON i.\"ID\" = k.\"ID\" "
                                       "ORDER BY k.\"ID\"")))
        rows.append(QStringLiteral("CodeKey: ") + row.join(u'|'));
    return rows;
}

// The rows of code in each table, code keys found through the registration
// or left without one.
QStringList rowsOf(const QString& code) {
    QStringList found;
    for (const QString& row : allRows())
        if (row.section(u'|', 1, 1) == code || row.endsWith(QStringLiteral("|(none)")))
            found.append(row);
    return found;
}

QStringList withoutRowsOf(const QStringList& rows, const QString& code) {
    QStringList kept;
    for (const QString& row : rows)
        if (row.section(u'|', 1, 1) != code)
            kept.append(row);
    return kept;
}

QString trailFile() {
    return ProgramFolder::onServer() ? SubjectDb : AuditTrail::fileName();
}

// The trail's entries of one action: code, outcome, detail, and the operator,
// workstation and time columns that tell who and when.
QList<QStringList> entries(const QString& action) {
    return ProgramFolder::rows(trailFile(),
                               QStringLiteral("SELECT \"Code\", \"Outcome\", \"Detail\", "
                                              "\"Operator\", \"Workstation\", \"Time\" FROM "
                                              "\"Audit\" WHERE \"Action\" = ? ORDER BY \"Seq\""),
                               {action});
}

// Makes every further entry of the trail fail, as a full disk does.
void refuseTrail() {
    if (ProgramFolder::onServer())
        ProgramFolder::refuseInserts(QStringLiteral("Audit"), QStringLiteral("disk full"));
    else
        ProgramFolder::exec(AuditTrail::fileName(),
                            QStringLiteral("CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"Audit\" "
                                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
}

// Makes every removal from table fail: the last table the erasure empties,
// so the rows it has removed before must come back.
void refuseDeletes(const QString& table) {
    if (ProgramFolder::onServer())
        ProgramFolder::exec(
            SubjectDb,
            QStringLiteral("CREATE FUNCTION \"keep_%1\"() RETURNS trigger LANGUAGE plpgsql AS $$ "
                           "BEGIN RAISE EXCEPTION 'disk full'; END $$; CREATE TRIGGER \"keep\" "
                           "BEFORE DELETE ON \"%1\" FOR EACH ROW EXECUTE FUNCTION \"keep_%1\"()")
                .arg(table));
    else
        ProgramFolder::exec(SubjectDb,
                            QStringLiteral("CREATE TRIGGER \"keep_%1\" BEFORE DELETE ON \"%1\" "
                                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END")
                                .arg(table));
}

// A plain backup as the backup window makes one: a subject file with the
// tables and the given subjects.
void makePlainBackup(const QString& path, const QStringList& codes) {
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("backup-fixture"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString& table : Database::tables(DbFile::Subjects))
            QVERIFY2(q.exec(Database::createTableSql(table)), qPrintable(q.lastError().text()));
        for (const QString& code : codes) {
            QVERIFY(q.prepare(QStringLiteral("INSERT INTO \"IDE\" (\"Code\") VALUES (?)")));
            q.addBindValue(code);
            QVERIFY(q.exec());
            QVERIFY(q.prepare(QStringLiteral("INSERT INTO \"Answer\" (\"Code\") VALUES (?)")));
            q.addBindValue(code);
            QVERIFY(q.exec());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("backup-fixture"));
}

void writeFile(const QString& path, const QByteArray& bytes, const QDateTime& modified) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    // Written out first: a flush at the close would make the time now.
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// The names a text gives between directional isolates (LRI ... PDI).
QStringList isolatedNames(const QString& text) {
    QStringList names;
    int at = 0;
    while ((at = text.indexOf(QChar(0x2066), at)) >= 0) {
        const int end = text.indexOf(QChar(0x2069), at);
        if (end < 0)
            break;
        names.append(text.mid(at + 1, end - at - 1));
        at = end;
    }
    return names;
}

} // namespace

// An admin erases a subject on request, from the code lookup or the command
// line: every row of the code goes in one transaction with its entry in the
// trail, nothing of anybody else changes, and the operator hears which
// backups still hold the subject.
class TestErasure : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FrmCode> m_window;

    // A server of this program's own on the server run, so that it can stop
    // without harming other test programs.
    static PgTestServer& ownServer() {
        static PgTestServer server(PgTestServer::Kind::Private);
        return server;
    }

    FrmCode* openLookup() {
        m_window = std::make_unique<FrmCode>();
        m_window->show();
        return m_window.get();
    }

    QStringList gridCodes() {
        QAbstractItemModel* model = m_window->DataGrid1->table()->model();
        while (model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        QStringList codes;
        for (int r = 0; r < model->rowCount(); ++r)
            codes.append(model->index(r, 0).data().toString());
        return codes;
    }

    // Selects the subject's row as the operator clicks it.
    bool select(const QString& code) {
        const int row = int(gridCodes().indexOf(code));
        if (row < 0)
            return false;
        QTableView* table = m_window->DataGrid1->table();
        const QModelIndex cell = table->model()->index(row, 0);
        table->scrollTo(cell);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        if (table->selectionModel()->selectedRows(0).size() != 1)
            return false;
        return true;
    }

    QPushButton* eraseButton() {
        return m_window->findChild<QPushButton*>(QStringLiteral("eraseButton"));
    }

    // Selects code, types typed into the confirmation and presses the button.
    void eraseInWindow(const QString& code, const QString& typed) {
        openLookup();
        QVERIFY(select(code));
        m_folder->platform().clear();
        m_folder->platform().inputAnswers.enqueue(typed);
        QTest::mouseClick(eraseButton(), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        if (ProgramFolder::onServer())
            VELMORA_REQUIRE_PG(ownServer());
    }

    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        int seed = 0;
        for (const Subject& s : Subjects) {
            ProgramFolder::addSubject(s.code, s.first, s.last, s.group);
            ProgramFolder::setAnswers(s.code, answers(++seed));
            for (int a = 0; a < s.administrations; ++a)
                ProgramFolder::addAdministration(s.code, QStringLiteral("1403/01/0%1").arg(a + 1),
                                                 QStringLiteral("10:00:00"), answers(seed + a));
        }
        // The code keys of the subjects added above are worked out as the
        // program does before its next look-alike check.
        QString lookAlike;
        QString error;
        QVERIFY2(CodeKeys::findLookAlike(QStringLiteral("-"), &lookAlike, &error),
                 qPrintable(error));
    }

    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    void theButtonIsNamedAndPlaced() {
        openLookup();
        QPushButton* button = eraseButton();
        QVERIFY(button);
        QCOMPARE(button->text(), QString::fromUtf8("حذف آزمودني"));
        QCOMPARE(button->accessibleName(), QString::fromUtf8("حذف اطلاعات آزمودني"));
        QCOMPARE(button->geometry(), QRect(6840 / 15, 3900 / 15, 2085 / 15, 555 / 15));
        // Nothing of the window covers it.
        for (QWidget* other : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != button && other->isVisible())
                QVERIFY2(!other->geometry().intersects(button->geometry()),
                         qPrintable(other->objectName()));
    }

    void everyRowOfTheSubjectGoesAndNothingElse_data() {
        QTest::addColumn<QString>("code");
        for (const Subject& s : Subjects)
            QTest::newRow(qPrintable(s.code)) << s.code;
    }
    void everyRowOfTheSubjectGoesAndNothingElse() {
        QFETCH(QString, code);
        const Subject erased = subject(code);
        const QStringList before = allRows();
        // Registration, answer sheet, code key, and each administration kept.
        QCOMPARE(rowsOf(code).size(), 3 + erased.administrations);

        eraseInWindow(code, code);

        QCOMPARE(rowsOf(code), QStringList());
        QCOMPARE(allRows(), withoutRowsOf(before, code));
        // The operator typed the code to a prompt that named it.
        const auto asked = m_folder->platform().ofKind(QStringLiteral("inputBox"));
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.first().text.contains(code), qPrintable(asked.first().text));
        QCOMPARE(m_folder->platform().messageTexts(), QStringList());
        QCOMPARE(m_folder->platform().noticeTexts().size(), 1);
        // The lookup lists everybody else, and its name lists lost the name.
        QStringList others;
        for (const Subject& s : Subjects)
            if (s.code != code)
                others.append(s.code);
        QCOMPARE(gridCodes(), others);
        QAbstractItemModel* firstNames = m_window->DataCombo6->model();
        for (int r = 0; r < firstNames->rowCount(); ++r)
            QVERIFY(firstNames->index(r, 0).data().toString() != erased.first);

        // The trail keeps the code, who and when, and nothing of the person.
        const QList<QStringList> erasures = entries(QStringLiteral("erase"));
        QCOMPARE(erasures.size(), 1);
        const QStringList entry = erasures.first();
        QCOMPARE(entry.at(0), code);
        QCOMPARE(entry.at(1), QStringLiteral("done"));
        QCOMPARE(
            entry.at(2),
            QStringLiteral("IDE 1, Answer 1, History %1, CodeKey 1").arg(erased.administrations));
        QVERIFY(!entry.at(3).isEmpty() && !entry.at(4).isEmpty() && !entry.at(5).isEmpty());
        for (const QString& field : entry)
            for (const QString& personal : {erased.first, erased.last})
                QVERIFY2(!field.contains(personal) || personal == code, qPrintable(field));

        // Nor does the subject file hold the names in its free pages.
        if (!ProgramFolder::onServer()) {
            QFile raw(m_folder->file(SubjectDb));
            QVERIFY(raw.open(QIODevice::ReadOnly));
            const QByteArray bytes = raw.readAll();
            for (const QString& personal : {erased.first, erased.last})
                QVERIFY2(!bytes.contains(personal.toUtf8()), qPrintable(personal));
        }

        // An export made afterwards has no trace of the subject.
        const QString csv = m_folder->file(QStringLiteral("after.csv"));
        QString error;
        QCOMPARE(exportSubjectsCsv(csv, SubjectFilter{}, {}, &error), ExportResult::Written);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const QString& personal : {erased.first, erased.last})
            QVERIFY2(!text.contains(personal), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral(",") + code + QStringLiteral(",")) &&
                !text.contains(QStringLiteral("\n") + code + QStringLiteral(",")) &&
                !text.contains(QStringLiteral("\"") + code + QStringLiteral("\"")));
        for (const QString& other : others)
            QVERIFY2(text.contains(subject(other).first), qPrintable(other));
    }

    void aNarrowedListStaysNarrowed() {
        openLookup();
        // The operator found the subject by the group, then erases them.
        m_window->Combo3->setEditText(QStringLiteral("A"));
        QCOMPARE(gridCodes(), QStringList({QStringLiteral("R-1"), QStringLiteral("O'Brien")}));
        QVERIFY(select(QStringLiteral("O'Brien")));
        m_folder->platform().inputAnswers.enqueue(QStringLiteral("O'Brien"));
        eraseButton()->click();
        QCOMPARE(rowsOf(QStringLiteral("O'Brien")), QStringList());
        QCOMPARE(gridCodes(), QStringList({QStringLiteral("R-1")}));
        QCOMPARE(m_window->Combo3->currentText(), QStringLiteral("A"));
        QCOMPARE(m_window->DataCombo1->currentText(), QString());
        QCOMPARE(m_window->DataCombo6->currentText(), QString());
    }

    void aCodeTypedOtherwiseErasesNothing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("told");
        QTest::newRow("another subject's code") << QStringLiteral("R-2") << true;
        QTest::newRow("other letter case") << QStringLiteral("r-1") << true;
        QTest::newRow("a blank after it") << QStringLiteral("R-1 ") << true;
        QTest::newRow("cancelled") << QString() << false;
    }
    void aCodeTypedOtherwiseErasesNothing() {
        QFETCH(QString, typed);
        QFETCH(bool, told);
        const QStringList before = allRows();
        eraseInWindow(QStringLiteral("R-1"), typed);
        QCOMPARE(allRows(), before);
        QCOMPARE(entries(QStringLiteral("erase")), QList<QStringList>());
        const QStringList messages = m_folder->platform().messageTexts();
        QCOMPARE(messages.size(), told ? 1 : 0);
        if (told)
            QVERIFY2(messages.first().contains(QString::fromUtf8("چيزي حذف نشد")),
                     qPrintable(messages.first()));
        QVERIFY(gridCodes().contains(QStringLiteral("R-1")));
    }

    void noSubjectSelectedAsksForOne() {
        openLookup();
        m_folder->platform().clear();
        eraseButton()->click();
        QCOMPARE(m_folder->platform().ofKind(QStringLiteral("inputBox")).size(), 0);
        QCOMPARE(m_folder->platform().messageTexts().size(), 1);
        QCOMPARE(rowsOf(QStringLiteral("R-1")).size(), 5);
    }

    void aFailedErasureKeepsEveryRow_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("the trail cannot be written") << QStringLiteral("trail");
        QTest::newRow("the last table refuses") << QStringLiteral("history");
        QTest::newRow("the server is gone") << QStringLiteral("server");
    }
    void aFailedErasureKeepsEveryRow() {
        QFETCH(QString, fault);
        if (fault == QLatin1String("server") && !ProgramFolder::onServer())
            QSKIP("a subject file has no server to lose");
        const QStringList before = allRows();
        openLookup();
        QVERIFY(select(QStringLiteral("R-1")));
        m_folder->platform().clear();
        m_folder->platform().inputAnswers.enqueue(QStringLiteral("R-1"));
        if (fault == QLatin1String("trail"))
            refuseTrail();
        else if (fault == QLatin1String("history"))
            refuseDeletes(QStringLiteral("History"));
        else
            QVERIFY(ownServer().pause());
        eraseButton()->click();
        if (fault == QLatin1String("server"))
            QVERIFY(ownServer().resume());
        const QStringList messages = m_folder->platform().messageTexts();
        QVERIFY(!messages.isEmpty());
        QVERIFY2(messages.first().contains(QString::fromUtf8("حذف نشد")),
                 qPrintable(messages.first()));
        if (fault == QLatin1String("trail"))
            QVERIFY2(messages.first().contains(Audit::unrecordedText()),
                     qPrintable(messages.first()));
        QCOMPARE(allRows(), before);
        // A failure is never recorded as done.
        for (const QStringList& entry : entries(QStringLiteral("erase")))
            QCOMPARE(entry.at(1), QStringLiteral("failed"));
    }

    void theBackupsThatHoldTheSubjectAreNamed() {
        const QString back = m_folder->file(QStringLiteral("Back"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QVERIFY(Audit::record(Action::Register, QStringLiteral("R-1"), Outcome::Done, QString()));
        makePlainBackup(back + QStringLiteral("/with.mdbB"),
                        {QStringLiteral("R-2"), QStringLiteral("R-1")});
        makePlainBackup(back + QStringLiteral("/without.mdbB"), {QStringLiteral("R-2")});
        // A code that begins with the subject's is another subject.
        makePlainBackup(back + QStringLiteral("/other.mdbB"), {QStringLiteral("R-10")});
        writeFile(back + QStringLiteral("/cut short.mdbB"), "SQLite format", now);
        writeFile(back + QStringLiteral("/before.mdbB.age"), "age-encryption.org/v1\n",
                  now.addDays(-30));
        writeFile(back + QStringLiteral("/after.mdbB.age"), "age-encryption.org/v1\n",
                  now.addSecs(3600));
        writeFile(back + QStringLiteral("/notes.txt"), "R-1", now);
        const QString kept = back + QStringLiteral("/with.mdbB");
        const QByteArray keptBytes = digest(kept);
        const QDateTime keptTime = QFileInfo(kept).lastModified();

        eraseInWindow(QStringLiteral("R-1"), QStringLiteral("R-1"));

        QCOMPARE(rowsOf(QStringLiteral("R-1")), QStringList());
        const QString prompt =
            m_folder->platform().ofKind(QStringLiteral("inputBox")).value(0).text;
        const QStringList named = isolatedNames(prompt);
        for (const QString& name : {QStringLiteral("with.mdbB"), QStringLiteral("cut short.mdbB"),
                                    QStringLiteral("after.mdbB.age")})
            QVERIFY2(named.contains(name), qPrintable(prompt));
        for (const QString& name : {QStringLiteral("without.mdbB"), QStringLiteral("other.mdbB"),
                                    QStringLiteral("before.mdbB.age"), QStringLiteral("notes.txt")})
            QVERIFY2(!prompt.contains(name), qPrintable(prompt));
        // The plain backup was looked into, never written.
        QCOMPARE(digest(kept), keptBytes);
        QCOMPARE(QFileInfo(kept).lastModified(), keptTime);
        QVERIFY(!QFileInfo::exists(kept + QStringLiteral("-journal")));

        // What holds the subject for certain and what only may are told apart.
        const QList<Erasure::KeptBackup> backups =
            Erasure::backupsHolding(back, QStringLiteral("R-2"));
        QStringList certain, maybe;
        for (const Erasure::KeptBackup& b : backups)
            (b.holds ? certain : maybe).append(QFileInfo(b.path).fileName());
        certain.sort();
        maybe.sort();
        QCOMPARE(certain,
                 QStringList({QStringLiteral("with.mdbB"), QStringLiteral("without.mdbB")}));
        // No registration of R-2 is known: every sealed backup may hold it.
        QCOMPARE(maybe,
                 QStringList({QStringLiteral("after.mdbB.age"), QStringLiteral("before.mdbB.age"),
                              QStringLiteral("cut short.mdbB")}));
    }

    void theCommandErasesWithYes() {
        makePlainBackup(m_folder->file(QStringLiteral("Back/monday.mdbB")),
                        {QStringLiteral("R-2")});
        const QStringList before = allRows();
        const CommandResult result = runCommand(
            {QStringLiteral("--erase-subject"), QStringLiteral("R-2"), QStringLiteral("--yes")});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.out.contains(QStringLiteral("monday.mdbB")), qPrintable(result.out));
        QVERIFY2(result.out.contains(QStringLiteral("was erased")), qPrintable(result.out));
        QCOMPARE(rowsOf(QStringLiteral("R-2")), QStringList());
        QCOMPARE(allRows(), withoutRowsOf(before, QStringLiteral("R-2")));
        QCOMPARE(entries(QStringLiteral("erase")).size(), 1);
        QCOMPARE(entries(QStringLiteral("erase")).first().at(0), QStringLiteral("R-2"));
    }

    void theCommandRefusesWhatItCannotConfirmOrFind_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("no terminal, no --yes")
            << QStringList{QStringLiteral("--erase-subject"), QStringLiteral("R-1")}
            << QStringLiteral("Not confirmed");
        QTest::newRow("unknown code") << QStringList{QStringLiteral("--erase-subject"),
                                                     QStringLiteral("R-9"), QStringLiteral("--yes")}
                                      << QStringLiteral("No subject has the code 'R-9'");
        QTest::newRow("a look-alike of a stored code")
            << QStringList{QStringLiteral("--erase-subject"), QString::fromUtf8("كد7"),
                           QStringLiteral("--yes")}
            // Both stored codes that read as it does end in the Persian seven.
            << QString::fromUtf8("۷");
        QTest::newRow("no code") << QStringList{QStringLiteral("--erase-subject="),
                                                QStringLiteral("--yes")}
                                 << QStringLiteral("needs the subject's code");
    }
    void theCommandRefusesWhatItCannotConfirmOrFind() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        const QStringList before = allRows();
        // "y" on standard input is no terminal's answer.
        const CommandResult result = runCommand(arguments, "y\n");
        QVERIFY2(result.status == 1 || result.status == 2, qPrintable(result.err));
        QVERIFY2(result.err.contains(said), qPrintable(result.err));
        QCOMPARE(allRows(), before);
        QCOMPARE(entries(QStringLiteral("erase")), QList<QStringList>());
    }
};

VELMORA_TEST_MAIN(TestErasure)
#include "tst_erasure.moc"
