// The export of the subjects to a CSV file: what a clinic or a researcher
// reads back, from the code lookup's button and from the command line.
#include "calendar/SolarCalendar.h"
#include "registry/FrmCode.h"
#include "registry/SubjectExport.h"
#include "support/CsvReader.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <memory>
#include <unistd.h>

using namespace velmora;

namespace {

const QString SubjectDb = QStringLiteral("DBM/DB2.mdb");

// Columns of the file, counted from 0.
constexpr int CodeColumn = 0;
constexpr int FirstNameColumn = 1;
constexpr int GroupColumn = 7;
constexpr int AdministeredColumn = 10;
constexpr int FirstAnswerColumn = 12;
constexpr int FirstScoreColumn = 26;
constexpr int ColumnCount = 33;

const QStringList AllFive(14, QStringLiteral("5"));
const QStringList AllOne(14, QStringLiteral("1"));
const QStringList SomeUnanswered = {"5", "4", "",  "2", "1", "",  "3",
                                    "3", "",  "4", "5", "",  "1", "2"};

// Many subjects at once, in one transaction: code "B<n>", group by n, a
// first name of `nameLength` letters and one administration each.
void addManySubjects(int count, int nameLength = 8) {
    ProgramFolder::withSubjects([&](QSqlDatabase& db) {
        QVERIFY(db.transaction());
        QSqlQuery ide(db), answer(db), history(db);
        QVERIFY(ide.prepare("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Group\") "
                            "VALUES (?, ?, 'L', ?)"));
        QVERIFY(answer.prepare("INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES (?, ?)"));
        QVERIFY(history.prepare("INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\", \"1\") "
                                "VALUES (?, '1403/01/01', '10:00:00', '3')"));
        const QString first(nameLength, QChar(0x0633));
        for (int i = 0; i < count; ++i) {
            const QString code = QStringLiteral("B%1").arg(i);
            const QString group(QChar('A' + i % 7));
            ide.addBindValue(code);
            ide.addBindValue(first);
            ide.addBindValue(group);
            answer.addBindValue(code);
            answer.addBindValue(group);
            history.addBindValue(code);
            QVERIFY2(ide.exec() && answer.exec() && history.exec(),
                     qPrintable(ide.lastError().text()));
        }
        ide.finish();
        answer.finish();
        history.finish();
        QVERIFY(db.commit());
    });
}

// The scores the scoring window shows for a sheet, worked out by hand.
QStringList expectedScores(const QStringList& sheet) {
    if (sheet == AllFive)
        return {"10", "15", "10", "10", "10", "10", "5"};
    if (sheet == AllOne)
        return {"2", "3", "2", "2", "2", "2", "1"};
    if (sheet == SomeUnanswered)
        return {"9", "2", "1", "6", "4", "3", "5"};
    return QStringList(7, QString()); // no answer at all: nothing to score
}

CsvContent readExport(const QString& path) {
    return parseCsv(bytesOf(path));
}

// A cell that a spreadsheet must not take for a formula: it does not start
// like one, and it still shows the whole text.
bool isInert(const QString& cell, const QString& value) {
    const QString triggers = QStringLiteral("=+-@\t\r");
    return !cell.isEmpty() && !triggers.contains(cell.at(0)) && cell.endsWith(value);
}

} // namespace

class TestSubjectExport : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FrmCode> m_window;

    ScriptedPlatform& platform() { return m_folder->platform(); }
    QString target() const { return m_folder->file(QStringLiteral("out/subjects.csv")); }

    ExportResult exportAll(const QString& path, QString* error = nullptr) {
        return exportSubjectsCsv(path, SubjectFilter(), ExportProgress(), error);
    }

    FrmCode* openLookup() {
        m_window = std::make_unique<FrmCode>();
        m_window->show();
        return m_window.get();
    }

    // The export button pressed with the save dialog answered by path.
    void exportFromLookup(FrmCode* w, const QString& path) {
        platform().saveAnswers.enqueue(path);
        QTest::mouseClick(w->exportButton, Qt::LeftButton);
    }

    // Keeps a picture of a window, or a written file, for looking at when
    // VELMORA_PICTURES names a folder.
    static void keepPicture(QWidget* window, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            window->grab().save(folder + "/" + name);
    }
    static void keepFile(const QString& file, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (folder.isEmpty())
            return;
        QFile::remove(folder + "/" + name);
        QFile::copy(file, folder + "/" + name);
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        QDir(m_folder->path()).mkpath(QStringLiteral("out"));
    }
    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    // Every registration field, the administration, the answers and the
    // scores read back exactly, for a table of sheets.
    void readsBackTheStoredValues_data() {
        QTest::addColumn<QStringList>("sheet");
        QTest::newRow("all 5") << AllFive;
        QTest::newRow("all 1") << AllOne;
        QTest::newRow("some unanswered") << SomeUnanswered;
        QTest::newRow("none answered") << QStringList(14, QString());
    }
    void readsBackTheStoredValues() {
        QFETCH(QStringList, sheet);
        ProgramFolder::exec(SubjectDb,
                            "INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", "
                            "\"Sen\", \"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\") "
                            "VALUES ('K-17', 'سارا', 'کريمي', 'زن', '34', 'متأهل', "
                            "'کارشناسي', 'D', '1403/02/01', '09:12:40')");
        ProgramFolder::exec(SubjectDb, "INSERT INTO \"Answer\" (\"Code\", \"Group\") "
                                       "VALUES ('K-17', 'D')");
        ProgramFolder::addAdministration("K-17", "1403/02/03", "10:20:30", sheet);

        QString error;
        QCOMPARE(exportAll(target(), &error), ExportResult::Written);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        keepFile(
            target(),
            QStringLiteral("export-sheet %1.csv").arg(QString::fromUtf8(QTest::currentDataTag())));
        const CsvContent csv = readExport(target());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        QVERIFY(csv.byteOrderMark);
        QCOMPARE(csv.rows.size(), 2);
        QCOMPARE(csv.rows.at(0), exportHeader());
        const QStringList expected =
            QStringList{"K-17",     "سارا", "کريمي",      "زن",       "34",         "متأهل",
                        "کارشناسي", "D",    "1403/02/01", "09:12:40", "1403/02/03", "10:20:30"} +
            sheet + expectedScores(sheet);
        QCOMPARE(csv.rows.at(1), expected);
    }

    void headerNamesEveryColumn() {
        const QStringList header = exportHeader();
        QCOMPARE(header.size(), ColumnCount);
        QCOMPARE(header.mid(0, 12),
                 (QStringList{"کد", "نام", "نام خانوادگي", "جنس", "سن", "وضعيت تاهل",
                              "ميزان تحصيلات", "گروه", "تاريخ ثبت نام", "ساعت ثبت نام",
                              "تاريخ اجراي تست", "ساعت اجراي تست"}));
        QCOMPARE(header.at(FirstAnswerColumn), QStringLiteral("سوال 1"));
        QCOMPARE(header.at(FirstAnswerColumn + 13), QStringLiteral("سوال 14"));
        // The scales under the names the report gives them.
        QCOMPARE(header.mid(FirstScoreColumn),
                 (QStringList{"پرخاشگرانه", "ساده بيني", "برنامه ريزي", "برخورد عاطفي",
                              "ريسک پذيري", "منفي نگري", "استعداد ويژه"}));
    }

    // One row per administration, subjects in key order and each subject's
    // administrations in the order they were kept; one row for a subject
    // never administered, and for a sheet stored before administrations were
    // kept, that sheet without a date.
    void oneRowPerAdministration() {
        ProgramFolder::addSubject("S1", "Mina");
        ProgramFolder::addSubject("S2", "Reza");
        ProgramFolder::addSubject("S3", "Nima");
        ProgramFolder::addSubject("S4", "Leila");
        ProgramFolder::addAdministration("S1", "1402/01/01", "08:00:00", AllOne);
        ProgramFolder::addAdministration("S3", "1402/05/05", "11:00:00", SomeUnanswered);
        ProgramFolder::addAdministration("S1", "1403/01/01", "09:00:00", AllFive);
        ProgramFolder::setAnswers("S1", AllFive);
        ProgramFolder::setAnswers("S4", AllOne); // tested by an earlier version

        QCOMPARE(exportAll(target()), ExportResult::Written);
        keepFile(target(), QStringLiteral("export.csv"));
        const CsvContent csv = readExport(target());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        QList<QStringList> summary;
        for (const QStringList& row : csv.rows.mid(1)) {
            QCOMPARE(row.size(), ColumnCount);
            summary.append({row.at(CodeColumn), row.at(FirstNameColumn), row.at(AdministeredColumn),
                            row.at(FirstAnswerColumn), row.at(FirstScoreColumn + 1)});
        }
        QCOMPARE(summary, (QList<QStringList>{
                              {"S1", "Mina", "1402/01/01", "1", "3"},
                              {"S1", "Mina", "1403/01/01", "5", "15"},
                              {"S2", "Reza", "", "", ""},
                              {"S3", "Nima", "1402/05/05", "5", "2"},
                              {"S4", "Leila", "", "1", "3"},
                          }));
    }

    // Text that would break a row, or that a spreadsheet would run, comes
    // back as stored or made inert; digits of other scripts stay as typed.
    void awkwardTextSurvives_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("comma") << QStringLiteral("Karimi, Sara");
        QTest::newRow("quotes") << QStringLiteral("Sara \"the first\" K");
        QTest::newRow("quote only") << QStringLiteral("\"");
        QTest::newRow("line break") << QStringLiteral("first line\nsecond line");
        QTest::newRow("CR LF") << QStringLiteral("first line\r\nsecond line");
        QTest::newRow("formula =") << QStringLiteral("=HYPERLINK(\"http://x\",\"y\")");
        QTest::newRow("formula +") << QStringLiteral("+98 21 555");
        QTest::newRow("formula -") << QStringLiteral("-2+3");
        QTest::newRow("formula @") << QStringLiteral("@SUM(A1:A9)");
        QTest::newRow("Persian digits") << QStringLiteral("۱۴۰۳/۰۲/۰۱ ۰۹۱۲");
        QTest::newRow("Arabic digits") << QStringLiteral("١٢٣٤٥٦٧٨٩٠");
        QTest::newRow("Persian with joiner") << QStringLiteral("مي\u200Cگويند");
        QTest::newRow("leading blank") << QStringLiteral("  padded  ");
        QTest::newRow("10,000 characters") << QString(10000, QChar(0x0646)) + QStringLiteral(",\"");
    }
    void awkwardTextSurvives() {
        QFETCH(QString, text);
        ProgramFolder::addSubject("before", "plain");
        ProgramFolder::addSubject(text, text, text, "C");
        ProgramFolder::addAdministration(text, "1403/01/01", "10:00:00", AllFive);
        ProgramFolder::addSubject("after", "plain");

        QCOMPARE(exportAll(target()), ExportResult::Written);
        keepFile(target(),
                 QStringLiteral("export-%1.csv").arg(QString::fromUtf8(QTest::currentDataTag())));
        const CsvContent csv = readExport(target());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        // The rows around it are whole: nothing leaked out of the cells.
        QCOMPARE(csv.rows.size(), 4);
        for (const QStringList& row : csv.rows)
            QCOMPARE(row.size(), ColumnCount);
        QCOMPARE(csv.rows.at(1).at(CodeColumn), QStringLiteral("before"));
        QCOMPARE(csv.rows.at(3).at(CodeColumn), QStringLiteral("after"));
        const QStringList& row = csv.rows.at(2);
        for (const int column : {CodeColumn, FirstNameColumn, FirstNameColumn + 1}) {
            const QString cell = row.at(column);
            if (QStringLiteral("=+-@").contains(text.at(0)))
                QVERIFY2(isInert(cell, text), qPrintable(cell));
            else
                QCOMPARE(cell, text);
        }
        QCOMPARE(row.at(GroupColumn), QStringLiteral("C"));
        QCOMPARE(row.mid(FirstScoreColumn), expectedScores(AllFive));
    }

    // The file is the owner's alone: it holds people's answers.
    void theFileIsPrivate() {
        ProgramFolder::addSubject("S1");
        QCOMPARE(exportAll(target()), ExportResult::Written);
        QCOMPARE(QFileInfo(target()).permissions() &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFileDevice::Permissions());
        QCOMPARE(filesIn(m_folder->file("out")), QStringList{"subjects.csv"});
    }

    // A full disk: a clear failure, no file, no left-over, and an earlier
    // file of that name kept as it was.
    void aFullDiskLeavesNoFile() {
        addManySubjects(300, 200);
        writeFile(target(), "the export of last week\r\n");
        QString error;
        ExportResult result;
        {
            FileSizeLimit limit(16 * 1024);
            result = exportAll(target(), &error);
        }
        QCOMPARE(result, ExportResult::Failed);
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(target()), QByteArray("the export of last week\r\n"));
        QCOMPARE(filesIn(m_folder->file("out")), QStringList{"subjects.csv"});
    }

    // The operator hears of a failure in Persian, with the file named.
    void aFailureIsToldAndLeavesNothing() {
        ProgramFolder::addSubject("S1");
        FrmCode* w = openLookup();
        const QString missing = m_folder->file("no such folder/subjects.csv");
        exportFromLookup(w, missing);
        const auto boxes = platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.first().owner, w);
        QVERIFY(boxes.first().text.startsWith(
            QStringLiteral("فهرست آزمودني ها ذخيره نشد و پرونده اي ساخته نشد")));
        QVERIFY(boxes.first().text.contains(QDir::toNativeSeparators(missing)));
        QVERIFY(!QFileInfo::exists(m_folder->file("no such folder")));
        QVERIFY(platform().noticeTexts().isEmpty());
    }

    void aFolderWithoutPermissionIsToldAndLeavesNothing() {
        if (::geteuid() == 0)
            QSKIP("the administrator may write into any folder");
        ProgramFolder::addSubject("S1");
        const QString folder = m_folder->file("locked");
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        const ExportResult result = exportAll(folder + "/subjects.csv", &error);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(result, ExportResult::Failed);
        QVERIFY(!error.isEmpty());
        QVERIFY(filesIn(folder).isEmpty());
    }

    // The button writes what the grid lists: everyone, or the group or name
    // searched, as the window's snapshot holds them.
    void theButtonExportsWhatTheGridLists() {
        ProgramFolder::addSubject("1", "Sara", "Karimi", "A");
        ProgramFolder::addSubject("2", "Ali", "Karimi", "B");
        ProgramFolder::addSubject("3", "Sara", "Ahmadi", "B");
        FrmCode* w = openLookup();
        ProgramFolder::addSubject("4", "Reza", "Moradi", "B"); // after the window opened

        const auto exportedCodes = [&](const QString& file) {
            exportFromLookup(w, m_folder->file(file));
            QStringList codes;
            const CsvContent csv = readExport(m_folder->file(file));
            for (const QStringList& row : csv.rows.mid(1))
                codes.append(row.at(CodeColumn));
            return codes;
        };
        QCOMPARE(exportedCodes("out/all.csv"), (QStringList{"1", "2", "3"}));
        w->Combo3->setCurrentIndex(1); // B
        QCOMPARE(exportedCodes("out/group.csv"), (QStringList{"2", "3"}));
        QTest::keyClicks(w->DataCombo1->lineEdit(), "Karimi");
        QCOMPARE(exportedCodes("out/last-name.csv"), (QStringList{"1", "2"}));
        // A name typed in part: the names that begin with it.
        w->DataCombo1->lineEdit()->setText(QStringLiteral("A"));
        QCOMPARE(exportedCodes("out/beginning.csv"), QStringList{"3"});
        QTest::keyClicks(w->DataCombo6->lineEdit(), "Nobody");
        QCOMPARE(exportedCodes("out/nobody.csv"), QStringList());
        QCOMPARE(platform().noticeTexts(),
                 QStringList(5, QStringLiteral("فهرست آزمودني ها ذخيره شد")));
    }

    // The save dialog offers a name with today's solar date in the user's
    // documents folder; a name typed without an ending gets ".csv".
    void theSaveDialog() {
        ProgramFolder::addSubject("1");
        FrmCode* w = openLookup();
        exportFromLookup(w, m_folder->file("out/typed"));
        const auto dialogs = platform().ofKind("saveFileName");
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first().owner, w);
        QCOMPARE(dialogs.first().folder,
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(dialogs.first().defaultName,
                 QStringLiteral("Velmora ") + SolarDate(QDate::currentDate(), 0).replace('/', '-') +
                     ".csv");
        QCOMPARE(dialogs.first().filter, QStringLiteral("CSV (*.csv)"));
        QVERIFY(QFileInfo::exists(m_folder->file("out/typed.csv")));

        // Cancelling the dialog writes nothing.
        platform().clear();
        QTest::mouseClick(w->exportButton, Qt::LeftButton);
        QCOMPARE(platform().interactions.size(), 1);
        QCOMPARE(filesIn(m_folder->file("out")), QStringList{"typed.csv"});
    }

    void anExistingFileIsReplacedOnlyWhenTheOperatorSaysSo() {
        ProgramFolder::addSubject("1");
        writeFile(target(), "keep me\r\n");
        FrmCode* w = openLookup();
        platform().messageAnswers.enqueue(QMessageBox::No);
        exportFromLookup(w, target());
        QCOMPARE(platform().ofKind("messageBox").size(), 1);
        QCOMPARE(platform().ofKind("messageBox").first().icon, QMessageBox::Question);
        QCOMPARE(bytesOf(target()), QByteArray("keep me\r\n"));
        platform().messageAnswers.enqueue(QMessageBox::Yes);
        exportFromLookup(w, target());
        QCOMPARE(readExport(target()).rows.size(), 2);
    }

    // A long export shows its progress over the lookup; cancelling it leaves
    // no file and no left-over, and says nothing more.
    void cancelLeavesNoFile() {
        addManySubjects(12000);
        FrmCode* w = openLookup();
        bool sawProgress = false;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            auto* progress = w->findChild<QProgressDialog*>(QStringLiteral("ExportProgress"));
            if (!progress || !progress->isVisible())
                return;
            sawProgress = true;
            watch.stop();
            QPushButton* cancel = progress->findChild<QPushButton*>();
            QVERIFY(cancel);
            QCOMPARE(cancel->text(), QStringLiteral("انصراف"));
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        watch.start();
        exportFromLookup(w, target());
        QVERIFY(sawProgress);
        QVERIFY(filesIn(m_folder->file("out")).isEmpty());
        QVERIFY(platform().noticeTexts().isEmpty());
        QVERIFY(platform().messageTexts().isEmpty());
        QVERIFY(!w->findChild<QProgressDialog*>(QStringLiteral("ExportProgress")));
    }

    void aLongExportRunsToTheEnd() {
        addManySubjects(12000);
        FrmCode* w = openLookup();
        qint64 reported = 0;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            if (auto* progress = w->findChild<QProgressDialog*>(QStringLiteral("ExportProgress"));
                progress && progress->isVisible()) {
                QCOMPARE(progress->maximum(), 12000);
                reported = std::max<qint64>(reported, progress->value());
            }
        });
        watch.start();
        exportFromLookup(w, target());
        watch.stop();
        QVERIFY(reported > 0);
        const CsvContent csv = readExport(target());
        QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
        QCOMPARE(csv.rows.size(), 12001);
        QCOMPARE(csv.rows.last().at(CodeColumn), QStringLiteral("B11999"));
        QCOMPARE(platform().noticeTexts(), QStringList{"فهرست آزمودني ها ذخيره شد"});
    }

    // The button stands where the window has room: inside the window, clear
    // of every other control.
    void theButtonCoversNothing() {
        ProgramFolder::addSubject("1");
        FrmCode* w = openLookup();
        QCOMPARE(w->exportButton->text(), QStringLiteral("خروجي CSV"));
        const QRect button = w->exportButton->geometry();
        QVERIFY(w->rect().contains(button));
        QVERIFY(w->exportButton->sizeHint().width() <= button.width()); // the caption fits
        for (QWidget* child : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child == w->exportButton || !child->isVisible())
                continue;
            QVERIFY2(!child->geometry().intersects(button), qPrintable(child->objectName()));
        }
        keepPicture(w, QStringLiteral("lookup-export.png"));
    }

    // The command line's export: every subject, nothing said on success, a
    // message and a failing status otherwise.
    void theCommandLine_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("status");
        QTest::newRow("absolute") << "ABS/out/cmd.csv" << 0;
        QTest::newRow("relative to the working folder") << "out/cmd.csv" << 0;
        QTest::newRow("missing folder") << "nowhere/cmd.csv" << 1;
        QTest::newRow("a folder") << "out" << 1;
        QTest::newRow("no name") << "" << 1;
    }
    void theCommandLine() {
        QFETCH(QString, file);
        QFETCH(int, status);
        ProgramFolder::addSubject("1", "Sara");
        ProgramFolder::addSubject("2", "=cmd|' /C calc'!A0");
        ProgramFolder::addAdministration("1", "1403/01/01", "10:00:00", AllFive);
        file.replace(QStringLiteral("ABS/"), m_folder->path() + "/");
        QString said;
        QTextStream err(&said);
        QCOMPARE(exportCsvCommand(file, err), status);
        if (status == 0) {
            QCOMPARE(said, QString());
            const CsvContent csv = readExport(QDir(m_folder->path()).absoluteFilePath(file));
            QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
            QCOMPARE(csv.rows.size(), 3);
            QCOMPARE(csv.rows.at(1).mid(FirstScoreColumn), expectedScores(AllFive));
            QVERIFY(isInert(csv.rows.at(2).at(FirstNameColumn), "=cmd|' /C calc'!A0"));
        } else {
            QVERIFY(said.startsWith(QStringLiteral("فهرست آزمودني ها ذخيره نشد")));
            QVERIFY(said.endsWith('\n'));
            QCOMPARE(filesIn(m_folder->file("out")), QStringList());
            for (const QString& name : filesIn(m_folder->path()))
                QVERIFY2(!name.startsWith('.'), qPrintable(name)); // no left-over
        }
    }
};

VELMORA_TEST_MAIN(TestSubjectExport)
#include "tst_subjectexport.moc"
