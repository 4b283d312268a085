// The research export: SPSS and Stata files that the researchers' own tools
// open with their labels, pseudonymised unless asked otherwise. Every file is
// read back by the real tools: pspp and pspp-convert for .sav, the readstat
// package's readstat and extract_metadata for both formats.
#include "calendar/SolarCalendar.h"
#include "questionnaire/ItemBank.h"
#include "registry/FrmCode.h"
#include "registry/Pseudonyms.h"
#include "registry/ResearchExport.h"
#include "registry/ResearchExportDialog.h"
#include "scoring/Scales.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <memory>

using namespace velmora;

namespace {

const QString SubjectDb = QStringLiteral("DBM/DB2.mdb");

const QStringList AllFive(14, QStringLiteral("5"));
const QStringList AllOne(14, QStringLiteral("1"));
const QStringList SomeUnanswered = {"5", "4", "",  "2", "1", "",  "3",
                                    "3", "",  "4", "5", "",  "1", "2"};

// The scores the scoring window shows for these sheets, worked out by hand.
QStringList scoresOf(const QStringList& sheet) {
    if (sheet == AllFive)
        return {"10", "15", "10", "10", "10", "10", "5"};
    if (sheet == AllOne)
        return {"2", "3", "2", "2", "2", "2", "1"};
    if (sheet == SomeUnanswered)
        return {"9", "2", "1", "6", "4", "3", "5"};
    return QStringList(7, QString());
}

// Every letter of the Persian alphabet, the Arabic letters a Persian text may
// hold instead (ي ك ى ة), hamza forms, the zero-width non-joiner, a kashida,
// Persian and Arabic-Indic digits and a few presentation forms (isolated,
// initial, medial and final shapes stored as such by other software).
const QString EveryLetter =
    QStringLiteral("ا آ أ إ ب پ ت ث ج چ ح خ د ذ ر ز ژ س ش ص ض ط ظ ع غ ف ق ک گ ل م ن و ه ی "
                   "ي ك ى ة ء ؤ ئ مي\u200Cگويند کـــتاب ۰۱۲۳۴۵۶۷۸۹ ٠١٢٣٤٥٦٧٨٩ "
                   "\uFE8D\uFE91\uFE92\uFE90 \uFEE3\uFEE4\uFEE2 \uFBFC\uFBFE\uFBFF\uFBFD");

struct Tool {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Tool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    Tool result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// A number as the tools print it ("5.000000", "5") written alike.
QString plain(const QString& cell) {
    bool number = false;
    const double value = cell.toDouble(&number);
    return number ? QString::number(value, 'g', 15) : cell;
}

// CSV as pspp and readstat write it: quoted fields, LF or CR LF line ends.
// With plainNumbers, a field that was not quoted is read as a number (readstat
// quotes every text, so a pseudonym of decimal digits stays a text).
QList<QStringList> parseToolCsv(const QByteArray& bytes, bool plainNumbers = false) {
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    bool any = false;
    const auto take = [&] {
        row.append(plainNumbers && !wasQuoted ? plain(field) : field);
        field.clear();
        wasQuoted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            wasQuoted = true;
            any = true;
        } else if (c == u',') {
            take();
            any = true;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            if (any || !field.isEmpty()) {
                take();
                rows.append(row);
            } else {
                rows.append(QStringList());
            }
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        take();
        rows.append(row);
    }
    return rows;
}

// The rows of a file as `readstat FILE -` prints them, numbers written alike.
QList<QStringList> readstatRows(const QString& file) {
    const Tool tool = runTool(QStringLiteral("readstat"), {file, QStringLiteral("-")});
    if (tool.status != 0)
        return {{QStringLiteral("readstat failed: ") + QString::fromUtf8(tool.err)}};
    return parseToolCsv(tool.out, true);
}

// A column of a table with a header row, by name.
QStringList column(const QList<QStringList>& table, const QString& name) {
    if (table.isEmpty())
        return {};
    const qsizetype at = table.first().indexOf(name);
    QStringList values;
    if (at < 0)
        return {QStringLiteral("<no column %1>").arg(name)};
    for (const QStringList& row : table.mid(1))
        values.append(row.value(at));
    return values;
}

// The tables of a pspp run whose output went to CSV, by title.
QMap<QString, QList<QStringList>> psppTables(const QString& savFile, const QString& commands,
                                             QString* failure) {
    const QString folder = QFileInfo(savFile).absolutePath();
    const QString syntax = QDir(folder).filePath(QStringLiteral("read.sps"));
    const QString output = QDir(folder).filePath(QStringLiteral("read.csv"));
    {
        QFile f(syntax);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("GET FILE='%1'.\n%2\n").arg(savFile, commands).toUtf8());
    }
    const Tool tool = runTool(QStringLiteral("pspp"), {QStringLiteral("-o"), output, syntax});
    QFile::remove(syntax);
    QMap<QString, QList<QStringList>> tables;
    const QByteArray csv = bytesOf(output);
    QFile::remove(output);
    if (tool.status != 0 || !tool.err.isEmpty()) {
        *failure = QString::fromUtf8(tool.err + csv);
        return tables;
    }
    QString title;
    for (const QStringList& row : parseToolCsv(csv)) {
        if (row.size() == 1 && row.first().startsWith(QLatin1String("Table: "))) {
            title = row.first().mid(7);
            continue;
        }
        // pspp pads a missing number to its format's width (".  " for F6.2).
        QStringList cells;
        for (const QString& cell : row)
            cells.append(cell.trimmed());
        if (!row.isEmpty() && !title.isEmpty())
            tables[title].append(cells);
    }
    return tables;
}

// The labels of a file as the readstat package's extract_metadata reads them:
// variable name to its label, and to its value labels ("5=..." in order).
struct Labels {
    QStringList names;
    QMap<QString, QString> variable;
    QMap<QString, QStringList> values;
    QString failure;
};

Labels labelsOf(const QString& file) {
    Labels labels;
    const QString json = file + QStringLiteral(".json");
    const Tool tool = runTool(QStringLiteral("extract_metadata"), {file, json});
    const QJsonDocument document = QJsonDocument::fromJson(bytesOf(json));
    QFile::remove(json);
    if (tool.status != 0 || !document.isObject()) {
        labels.failure = QString::fromUtf8(tool.err);
        return labels;
    }
    for (const QJsonValue& value : document.object().value(QStringLiteral("variables")).toArray()) {
        const QJsonObject v = value.toObject();
        const QString name = v.value(QStringLiteral("name")).toString();
        labels.names.append(name);
        labels.variable[name] = v.value(QStringLiteral("label")).toString();
        QMap<double, QString> categories;
        for (const QJsonValue& c : v.value(QStringLiteral("categories")).toArray())
            categories[c.toObject().value(QStringLiteral("code")).toDouble()] =
                c.toObject().value(QStringLiteral("label")).toString();
        for (auto it = categories.cbegin(); it != categories.cend(); ++it)
            labels.values[name].append(QStringLiteral("%1=%2").arg(it.key()).arg(it.value()));
    }
    return labels;
}

// A subject with every registration field, and its current sheet.
void addSubject(const QString& code, const QString& first, const QString& last, const QString& sex,
                const QString& age, const QString& marital, const QString& education,
                const QString& group, const QString& date, const QString& time,
                const QStringList& sheet = {}) {
    ProgramFolder::exec(SubjectDb,
                        "INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", "
                        "\"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\") "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {code, first, last, sex, age, marital, education, group, date, time});
    ProgramFolder::exec(SubjectDb, "INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES (?, ?)",
                        {code, group});
    if (!sheet.isEmpty())
        ProgramFolder::setAnswers(code, sheet);
}

// Many subjects at once: code "B<n>", one administration each.
void addManySubjects(int count) {
    ProgramFolder::withSubjects([&](QSqlDatabase& db) {
        QVERIFY(db.transaction());
        QSqlQuery ide(db), answer(db), history(db);
        QVERIFY(ide.prepare("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", "
                            "\"Sen\", \"Group\", \"Date\") VALUES (?, 'F', 'L', 'زن', '30', ?, "
                            "'1403/01/01')"));
        QVERIFY(answer.prepare("INSERT INTO \"Answer\" (\"Code\", \"Group\") VALUES (?, ?)"));
        QVERIFY(history.prepare("INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\", \"1\") "
                                "VALUES (?, '1403/01/02', '10:00:00', '3')"));
        for (int i = 0; i < count; ++i) {
            const QString code = QStringLiteral("B%1").arg(i);
            const QString group(QChar('A' + i % 7));
            ide.addBindValue(code);
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

// A date from its value in a format's own count: SPSS counts seconds from
// 14 October 1582, Stata days from 1 January 1960.
QDate dateOf(ResearchFormat format, const QString& value) {
    if (value.isEmpty())
        return QDate();
    return format == ResearchFormat::Spss
               ? QDate(1582, 10, 14).addDays(qint64(value.toDouble() / 86400.0))
               : QDate(1960, 1, 1).addDays(value.toLongLong());
}

QString suffixOf(ResearchFormat format) {
    return format == ResearchFormat::Spss ? QStringLiteral("sav") : QStringLiteral("dta");
}

} // namespace

Q_DECLARE_METATYPE(velmora::ResearchFormat)

class TestResearchExport : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FrmCode> m_window;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    // Keeps a picture of a window for looking at when VELMORA_PICTURES names a folder.
    static void keepPicture(QWidget* window, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            window->grab().save(folder + "/" + name);
    }
    QString out(const QString& name) const { return m_folder->file(QStringLiteral("out/") + name); }

    static ResearchOptions optionsFor(ResearchFormat format, bool identified = false,
                                      bool perAdministration = false) {
        ResearchOptions options;
        options.format = format;
        options.identified = identified;
        options.perAdministration = perAdministration;
        return options;
    }

    ResearchSummary exportTo(const QString& path, const ResearchOptions& options) {
        ResearchSummary summary;
        QString error;
        const ExportResult result =
            exportResearch(path, options, ExportProgress(), &summary, &error);
        if (result != ExportResult::Written)
            qWarning("export failed: %s", qPrintable(error));
        return summary;
    }

    // The clinic's secret goes, as if it were another clinic's data.
    static void forgetSecret() {
        if (ProgramFolder::onServer())
            ProgramFolder::exec(SubjectDb, "DELETE FROM \"ResearchKey\"");
        else
            QFile::remove(ClinicSecret::filePath());
    }

    // Three subjects that between them have every kind of value: one tested
    // twice, one never tested, one with a sheet from before administrations
    // were kept and texts the lists do not have.
    static void addThreeSubjects() {
        addSubject("K-17", "سارا", "کريمي", "زن", "34", "متأهل", "کارشناسي", "D", "1403/02/01",
                   "09:12:40", AllFive);
        ProgramFolder::addAdministration("K-17", "1403/02/03", "10:20:30", SomeUnanswered);
        ProgramFolder::addAdministration("K-17", "1403/05/10", "11:00:00", AllFive);
        addSubject("K-18", "Ali", "Rezaei", "مرد", "27", "مجرد", "ديپلم", "A", "1402/12/29",
                   "08:00:00");
        addSubject("K-19", "Nima", "Moradi", "نامعلوم", "", "", "", "B", "not a date", "07:00:00",
                   AllOne);
    }

private slots:
    void initTestCase() {
        qRegisterMetaType<ResearchFormat>();
        // The anchors the expected dates are worked out from.
        QCOMPARE(SolarDate(QDate(2024, 4, 20)), QStringLiteral("1403/02/01"));
        QCOMPARE(SolarDate(QDate(2024, 4, 22)), QStringLiteral("1403/02/03"));
        QCOMPARE(SolarDate(QDate(2024, 7, 31)), QStringLiteral("1403/05/10"));
        QCOMPARE(SolarDate(QDate(2024, 3, 19)), QStringLiteral("1402/12/29"));
    }
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        QDir(m_folder->path()).mkpath(QStringLiteral("out"));
    }
    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    // pspp reads the .sav with its dictionary: names, Persian variable labels
    // (the item texts, the scales as the scoring window names them), value
    // labels of the answers and the coded fields, formats; and its values,
    // missing where nothing was answered.
    void psppReadsTheDictionaryAndTheValues() {
        addThreeSubjects();
        const QString file = out("research.sav");
        QCOMPARE(exportTo(file, optionsFor(ResearchFormat::Spss, true)).rows, qint64(3));

        QString failure;
        const auto tables = psppTables(file, "DISPLAY DICTIONARY.\nLIST.", &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QList<QStringList> variables = tables.value(QStringLiteral("Variables"));
        QVERIFY(!variables.isEmpty());
        QStringList names, labels;
        QMap<QString, QString> formats;
        for (const QStringList& row : variables.mid(1)) {
            names.append(row.value(0));
            labels.append(row.value(2));
            formats[row.value(0)] = row.value(7);
        }
        QStringList expected = {"code",    "fname", "lname", "sex",     "age",
                                "marital", "educ",  "group", "regdate", "regsolar",
                                "regtime", "admin", "date",  "solar",   "time"};
        for (int item = 1; item <= 14; ++item)
            expected.append(QStringLiteral("item%1").arg(item, 2, 10, QLatin1Char('0')));
        for (int scale = 1; scale <= 7; ++scale)
            expected.append(QStringLiteral("scale%1").arg(scale));
        QCOMPARE(names, expected);
        QCOMPARE(labels.mid(0, 4), (QStringList{"کد", "نام", "نام خانوادگي", "جنس"}));
        QCOMPARE(labels.at(names.indexOf("admin")), QStringLiteral("تعداد اجراهاي نگه داشته تست"));
        for (int item = 1; item <= 14; ++item)
            QCOMPARE(labels.at(15 + item - 1), itemText(item).trimmed());
        for (const Scale& scale : scales())
            QCOMPARE(labels.at(29 + scale.number - 1), scale.name);
        QCOMPARE(formats.value("regdate"), QStringLiteral("SDATE10"));
        QCOMPARE(formats.value("item01"), QStringLiteral("F1.0"));

        // Value labels, as pspp lists them: the variable's label on its first
        // value's row only.
        QMap<QString, QStringList> valueLabels;
        QString current;
        for (const QStringList& row : tables.value(QStringLiteral("Value Labels")).mid(1)) {
            if (!row.value(0).isEmpty())
                current = row.value(0);
            valueLabels[current].append(row.value(1) + "=" + row.value(2));
        }
        QCOMPARE(valueLabels.value(itemText(1).trimmed()),
                 (QStringList{"1=" + answerText(1), "2=" + answerText(2), "3=" + answerText(3),
                              "4=" + answerText(4), "5=" + answerText(5)}));
        QCOMPARE(valueLabels.value(QStringLiteral("جنس")),
                 (QStringList{"1=مرد", "2=زن", "3=نامعلوم"}));
        QCOMPARE(valueLabels.value(QStringLiteral("وضعيت تاهل")),
                 (QStringList{"1=مجرد", "2=متأهل"}));
        QCOMPARE(valueLabels.value(QStringLiteral("گروه")),
                 (QStringList{"1=A", "2=B", "3=C", "4=D", "5=E", "6=F", "7=G"}));

        const QList<QStringList> list = tables.value(QStringLiteral("Data List"));
        QCOMPARE(list.size(), 4);
        QCOMPARE(column(list, "code"), (QStringList{"K-17", "K-18", "K-19"}));
        QCOMPARE(column(list, "fname"), (QStringList{"سارا", "Ali", "Nima"}));
        QCOMPARE(column(list, "sex"), (QStringList{"2", "1", "3"}));
        QCOMPARE(column(list, "age"), (QStringList{"34", "27", "."}));
        QCOMPARE(column(list, "marital"), (QStringList{"2", "1", "."}));
        QCOMPARE(column(list, "educ"), (QStringList{"کارشناسي", "ديپلم", ""}));
        QCOMPARE(column(list, "group"), (QStringList{"4", "1", "2"}));
        QCOMPARE(column(list, "regdate"), (QStringList{"2024/04/20", "2024/03/19", "."}));
        QCOMPARE(column(list, "regsolar"), (QStringList{"1403/02/01", "1402/12/29", "not a date"}));
        // One row per subject: the latest administration, or the current sheet.
        QCOMPARE(column(list, "admin"), (QStringList{"2", "0", "0"}));
        QCOMPARE(column(list, "date"), (QStringList{"2024/07/31", ".", "."}));
        QCOMPARE(column(list, "time"), (QStringList{"11:00:00", "", ""}));
        QCOMPARE(column(list, "item03"), (QStringList{"5", ".", "1"}));
        QCOMPARE(column(list, "scale2"), (QStringList{"15.00", ".", "3.00"}));

        // pspp-convert puts the value labels in place of the codes.
        const QString labelled = out("labelled.csv");
        const Tool convert =
            runTool(QStringLiteral("pspp-convert"), {QStringLiteral("--labels"), file, labelled});
        QVERIFY2(convert.status == 0, convert.err.constData());
        const QList<QStringList> rows = parseToolCsv(bytesOf(labelled));
        QCOMPARE(column(rows, "sex"), (QStringList{"زن", "مرد", "نامعلوم"}));
        // (and a blank for a missing answer)
        QCOMPARE(column(rows, "item01"), (QStringList{answerText(5), " ", answerText(1)}));
    }

    // readstat reads either format back to the same values: numbers as
    // numbers, the same dates in each format's own count, the same texts.
    void readstatReadsBothFormatsAlike_data() {
        QTest::addColumn<bool>("perAdministration");
        QTest::newRow("per subject") << false;
        QTest::newRow("per administration") << true;
    }
    void readstatReadsBothFormatsAlike() {
        QFETCH(bool, perAdministration);
        addThreeSubjects();
        QList<QStringList> tables[2];
        for (const ResearchFormat format : {ResearchFormat::Spss, ResearchFormat::Stata}) {
            const QString file = out("research." + suffixOf(format));
            const ResearchSummary summary =
                exportTo(file, optionsFor(format, true, perAdministration));
            QCOMPARE(summary.subjects, qint64(3));
            QCOMPARE(summary.rows, qint64(perAdministration ? 4 : 3));
            QList<QStringList> rows = readstatRows(file);
            QCOMPARE(rows.size(), perAdministration ? 5 : 4);
            // The dates back to the calendar, so the two formats compare.
            for (const char* name : {"regdate", "date"}) {
                const qsizetype at = rows.first().indexOf(QString::fromLatin1(name));
                QVERIFY(at >= 0);
                for (int i = 1; i < rows.size(); ++i)
                    rows[i][at] = dateOf(format, rows.at(i).at(at)).toString(Qt::ISODate);
            }
            tables[format == ResearchFormat::Spss ? 0 : 1] = rows;
        }
        QCOMPARE(tables[1], tables[0]);
        const QList<QStringList>& rows = tables[0];
        if (perAdministration) {
            QCOMPARE(column(rows, "code"), (QStringList{"K-17", "K-17", "K-18", "K-19"}));
            QCOMPARE(column(rows, "admin"), (QStringList{"1", "2", "", ""}));
            QCOMPARE(column(rows, "date"), (QStringList{"2024-04-22", "2024-07-31", "", ""}));
            QCOMPARE(column(rows, "solar"), (QStringList{"1403/02/03", "1403/05/10", "", ""}));
            QStringList items, scores;
            for (int item = 1; item <= 14; ++item)
                items.append(
                    column(rows, QStringLiteral("item%1").arg(item, 2, 10, QChar('0'))).first());
            for (int scale = 1; scale <= 7; ++scale)
                scores.append(column(rows, QStringLiteral("scale%1").arg(scale)).first());
            QCOMPARE(items, SomeUnanswered);
            QCOMPARE(scores, scoresOf(SomeUnanswered));
        } else {
            QCOMPARE(column(rows, "code"), (QStringList{"K-17", "K-18", "K-19"}));
            QCOMPARE(column(rows, "admin"), (QStringList{"2", "0", "0"}));
            QCOMPARE(column(rows, "regdate"), (QStringList{"2024-04-20", "2024-03-19", ""}));
        }
        const QStringList last = rows.last();
        QStringList scores;
        for (int scale = 1; scale <= 7; ++scale)
            scores.append(last.at(rows.first().indexOf(QStringLiteral("scale%1").arg(scale))));
        QCOMPARE(scores, scoresOf(AllOne));
    }

    // Stata's labels: the item texts (cut to the 80 letters Stata keeps), the
    // scale names, and the answers' value labels.
    void stataKeepsTheLabels() {
        addThreeSubjects();
        const QString file = out("research.dta");
        exportTo(file, optionsFor(ResearchFormat::Stata));
        const Labels labels = labelsOf(file);
        QVERIFY2(labels.failure.isEmpty(), qPrintable(labels.failure));
        QCOMPARE(labels.names.mid(0, 6),
                 (QStringList{"code", "sex", "age", "marital", "educ", "group"}));
        for (int item = 1; item <= 14; ++item) {
            const QString name = QStringLiteral("item%1").arg(item, 2, 10, QChar('0'));
            QCOMPARE(labels.variable.value(name), itemText(item).trimmed().left(80).trimmed());
            QCOMPARE(labels.values.value(name),
                     (QStringList{"1=" + answerText(1), "2=" + answerText(2), "3=" + answerText(3),
                                  "4=" + answerText(4), "5=" + answerText(5)}));
        }
        for (const Scale& scale : scales())
            QCOMPARE(labels.variable.value(QStringLiteral("scale%1").arg(scale.number)),
                     scale.name);
        QCOMPARE(labels.values.value("sex"), (QStringList{"1=مرد", "2=زن", "3=نامعلوم"}));
    }

    // A pseudonymised file holds no name and no code, in any encoding of them
    // the file could use, and not the real dates either.
    void noNameOrCodeInThePseudonymisedFile_data() {
        QTest::addColumn<ResearchFormat>("format");
        QTest::addColumn<bool>("perAdministration");
        QTest::newRow("sav") << ResearchFormat::Spss << false;
        QTest::newRow("sav, per administration") << ResearchFormat::Spss << true;
        QTest::newRow("dta") << ResearchFormat::Stata << false;
        QTest::newRow("dta, per administration") << ResearchFormat::Stata << true;
    }
    void noNameOrCodeInThePseudonymisedFile() {
        QFETCH(ResearchFormat, format);
        QFETCH(bool, perAdministration);
        // Dates far enough apart that no shifted date can read as a real one.
        addSubject("ZX-4471", "Shahrzad", "Zolfaghari", "زن", "41", "متأهل", "ارشد", "C",
                   "1399/07/15", "10:00:00");
        ProgramFolder::addAdministration("ZX-4471", "1401/07/16", "10:30:00", AllFive);
        addSubject("کد-۹۸۷۶", "ژاله", "پورقاسمي", "زن", "29", "مجرد", "ديپلم", "E", "1395/01/10",
                   "12:00:00", AllOne);
        const QString file = out("research." + suffixOf(format));
        QCOMPARE(exportTo(file, optionsFor(format, false, perAdministration)).subjects, qint64(2));
        const QByteArray bytes = bytesOf(file);
        QVERIFY(bytes.size() > 1000);
        for (const QString& secret :
             {QStringLiteral("ZX-4471"), QStringLiteral("Shahrzad"), QStringLiteral("Zolfaghari"),
              QStringLiteral("کد-۹۸۷۶"), QStringLiteral("ژاله"), QStringLiteral("پورقاسمي"),
              QStringLiteral("1399/07/15"), QStringLiteral("1401/07/16"),
              QStringLiteral("1395/01/10")}) {
            QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(secret));
            QVERIFY2(!bytes.contains(QByteArray(reinterpret_cast<const char*>(secret.utf16()),
                                                secret.size() * 2)),
                     qPrintable(secret));
            QVERIFY2(!bytes.toUpper().contains(secret.toUpper().toUtf8()), qPrintable(secret));
        }
        // What stands in their place: a pseudonym of 16 hexadecimal digits.
        const QList<QStringList> rows = readstatRows(file);
        QVERIFY(!rows.first().contains("fname"));
        QVERIFY(!rows.first().contains("lname"));
        for (const QString& code : column(rows, "code"))
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{16}$")).match(code).hasMatch(),
                     qPrintable(code));
    }

    // The same subject gets the same pseudonym in every export with the
    // clinic's secret, and another one with another secret; the secret itself
    // is kept once, the owner's alone, and never in the file.
    void pseudonymsLinkExportsOfOneSecretOnly() {
        addThreeSubjects();
        exportTo(out("first.sav"), optionsFor(ResearchFormat::Spss));
        exportTo(out("second.dta"), optionsFor(ResearchFormat::Stata, false, true));
        const QStringList first = column(readstatRows(out("first.sav")), "code");
        const QStringList second = column(readstatRows(out("second.dta")), "code");
        QCOMPARE(first.size(), 3);
        QCOMPARE(QSet<QString>(first.begin(), first.end()).size(), 3);
        QCOMPARE(second, (QStringList{first.at(0), first.at(0), first.at(1), first.at(2)}));
        if (!ProgramFolder::onServer()) {
            QCOMPARE(fileMode(ClinicSecret::filePath()), 0600);
            const QByteArray key = bytesOf(ClinicSecret::filePath()).trimmed();
            QCOMPARE(key.size(), 64);
            QVERIFY(!bytesOf(out("first.sav")).contains(key));
            QVERIFY(!bytesOf(out("first.sav")).contains(QByteArray::fromHex(key)));
        }

        forgetSecret();
        exportTo(out("other.sav"), optionsFor(ResearchFormat::Spss));
        const QStringList other = column(readstatRows(out("other.sav")), "code");
        QCOMPARE(other.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(other.at(i) != first.at(i));
    }

    // A key that is there but damaged is never replaced by a new one (that
    // would silently break every link to earlier exports): nothing is written.
    void aDamagedSecretStopsTheExport() {
        addThreeSubjects();
        const auto storedKey = [] {
            return ProgramFolder::onServer()
                       ? ProgramFolder::value(SubjectDb, "SELECT \"Secret\" FROM \"ResearchKey\"")
                             .toUtf8()
                       : bytesOf(ClinicSecret::filePath());
        };
        exportTo(out("first.sav"), optionsFor(ResearchFormat::Spss));
        QVERIFY(QFile::remove(out("first.sav")));
        if (ProgramFolder::onServer())
            ProgramFolder::exec(SubjectDb, "UPDATE \"ResearchKey\" SET \"Secret\" = 'not a key'");
        else
            writeFile(ClinicSecret::filePath(), "not a key");
        QString error;
        ResearchSummary summary;
        QCOMPARE(exportResearch(out("x.sav"), optionsFor(ResearchFormat::Spss), ExportProgress(),
                                &summary, &error),
                 ExportResult::Failed);
        QVERIFY2(error.startsWith(QStringLiteral("کليد پژوهشي درمانگاه")), qPrintable(error));
        QCOMPARE(storedKey(), QByteArray("not a key"));
        QVERIFY(filesIn(m_folder->file("out")).isEmpty());
    }

    // Shifted dates keep every interval of a subject: between registration and
    // each administration and between administrations; each subject moves by
    // its own 1 to 365 days, always the same, and the solar text moves along.
    void shiftedDatesKeepEachSubjectsIntervals_data() {
        QTest::addColumn<ResearchFormat>("format");
        QTest::newRow("sav") << ResearchFormat::Spss;
        QTest::newRow("dta") << ResearchFormat::Stata;
    }
    void shiftedDatesKeepEachSubjectsIntervals() {
        QFETCH(ResearchFormat, format);
        struct Subject {
            QString code;
            QDate registered;
            QList<QDate> administered;
        };
        const QList<Subject> subjects = {
            {"P1",
             QDate(2021, 3, 20),
             {QDate(2021, 3, 21), QDate(2022, 3, 20), QDate(2024, 2, 29)}},
            {"P2", QDate(2023, 12, 31), {QDate(2024, 1, 1)}},
            {"P3", QDate(2020, 3, 19), {QDate(2020, 3, 20), QDate(2020, 3, 21)}},
            {"P4", QDate(2019, 6, 1), {}},
        };
        for (const Subject& s : subjects) {
            addSubject(s.code, "F", "L", "زن", "30", "مجرد", "", "A", SolarDate(s.registered),
                       "10:00:00");
            for (const QDate& d : s.administered)
                ProgramFolder::addAdministration(s.code, SolarDate(d), "11:00:00", AllOne);
        }
        const QString file = out("dates." + suffixOf(format));
        exportTo(file, optionsFor(format, false, true));
        exportTo(out("again." + suffixOf(format)), optionsFor(format, false, true));
        const QList<QStringList> rows = readstatRows(file);
        QCOMPARE(rows, readstatRows(out("again." + suffixOf(format))));
        QCOMPARE(rows.size(), 1 + 3 + 1 + 2 + 1);
        const QStringList codes = column(rows, "code");
        const QStringList registered = column(rows, "regdate");
        const QStringList registeredSolar = column(rows, "regsolar");
        const QStringList administered = column(rows, "date");
        const QStringList administeredSolar = column(rows, "solar");
        int row = 0;
        QSet<qint64> shifts;
        for (const Subject& s : subjects) {
            const QDate shiftedRegistration = dateOf(format, registered.at(row));
            const qint64 shift = shiftedRegistration.daysTo(s.registered);
            QVERIFY2(shift >= 1 && shift <= 365, qPrintable(QString::number(shift)));
            shifts.insert(shift);
            const int rowsOfSubject = std::max<int>(1, int(s.administered.size()));
            for (int i = 0; i < rowsOfSubject; ++i, ++row) {
                QCOMPARE(codes.at(row), codes.at(row - i));
                QCOMPARE(dateOf(format, registered.at(row)), shiftedRegistration);
                QCOMPARE(registeredSolar.at(row), SolarDate(shiftedRegistration));
                if (s.administered.isEmpty()) {
                    QCOMPARE(administered.at(row), QString());
                    continue;
                }
                const QDate shifted = dateOf(format, administered.at(row));
                QCOMPARE(shiftedRegistration.daysTo(shifted),
                         s.registered.daysTo(s.administered.at(i)));
                QCOMPARE(administeredSolar.at(row), SolarDate(shifted));
            }
        }
        QVERIFY(shifts.size() > 1); // not one shift for everybody
    }

    // Reduced to the year: the solar years only, no date a day could be read from.
    void datesCutToTheYear() {
        addThreeSubjects();
        ResearchOptions options = optionsFor(ResearchFormat::Stata, false, true);
        options.dates = ResearchDates::Year;
        options.ageBands = true;
        const QString file = out("years.dta");
        exportTo(file, options);
        const QList<QStringList> rows = readstatRows(file);
        const QStringList names = rows.first();
        for (const char* name : {"regdate", "regsolar", "date", "solar"})
            QVERIFY2(!names.contains(QString::fromLatin1(name)), name);
        QCOMPARE(column(rows, "regyear"), (QStringList{"1403", "1403", "1402", ""}));
        QCOMPARE(column(rows, "year"), (QStringList{"1403", "1403", "", ""}));
        QCOMPARE(column(rows, "ageband"), (QStringList{"30", "30", "25", ""}));
        QCOMPARE(labelsOf(file).values.value("ageband").mid(5, 3),
                 (QStringList{"25=25-29", "30=30-34", "35=35-39"}));
        QVERIFY(!bytesOf(file).contains("1403/02/01"));
    }

    // Persian text with every letter and form, and a text of 10,000 letters:
    // what the format holds comes back exactly, a longer text cut between two
    // letters, counted, and the rows around it whole.
    void textsComeBackOrAreCutBetweenLetters_data() {
        QTest::addColumn<ResearchFormat>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("keptBytes"); // -1: all of it
        QTest::newRow("sav, every letter") << ResearchFormat::Spss << EveryLetter << -1;
        QTest::newRow("dta, every letter") << ResearchFormat::Stata << EveryLetter << -1;
        const QString longText = QString(9998, QChar(0x0646)) + QStringLiteral("هـ");
        QTest::newRow("sav, 10,000 letters") << ResearchFormat::Spss << longText << 254;
        QTest::newRow("dta, 10,000 letters") << ResearchFormat::Stata << longText << 2044;
        // Three-byte letters: a cut may not fall inside one.
        const QString wide = QString(10000, QChar(0xFEE3));
        QTest::newRow("sav, 10,000 wide letters") << ResearchFormat::Spss << wide << 255;
        QTest::newRow("dta, 10,000 wide letters") << ResearchFormat::Stata << wide << 2043;
    }
    void textsComeBackOrAreCutBetweenLetters() {
        QFETCH(ResearchFormat, format);
        QFETCH(QString, text);
        QFETCH(int, keptBytes);
        addSubject("before", "a", "b", "زن", "30", "مجرد", "x", "A", "1403/01/01", "10:00:00");
        addSubject("T-1", text, text, "زن", "30", "مجرد", text, "A", "1403/01/01", "10:00:00",
                   AllFive);
        addSubject("after", "c", "d", "مرد", "31", "مجرد", "y", "B", "1403/01/01", "10:00:00");
        const QString file = out("texts." + suffixOf(format));
        const ResearchSummary summary = exportTo(file, optionsFor(format, true));
        QCOMPARE(summary.rows, qint64(3));
        const QList<QStringList> rows = readstatRows(file);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(column(rows, "code"), (QStringList{"before", "T-1", "after"}));
        QCOMPARE(column(rows, "educ").first(), QStringLiteral("x"));
        QCOMPARE(column(rows, "educ").last(), QStringLiteral("y"));
        QCOMPARE(column(rows, "scale2").at(1), QStringLiteral("15"));
        const QByteArray expected = keptBytes < 0 ? text.toUtf8() : text.toUtf8().left(keptBytes);
        QVERIFY(QString::fromUtf8(expected).toUtf8() == expected); // whole letters only
        for (const char* name : {"fname", "lname", "educ"})
            QCOMPARE(column(rows, QString::fromLatin1(name)).at(1).toUtf8(), expected);
        QCOMPARE(summary.cutTexts, keptBytes < 0 ? qint64(0) : qint64(3));
        if (format == ResearchFormat::Spss) {
            QString failure;
            const auto tables = psppTables(file, "LIST.", &failure);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QCOMPARE(column(tables.value("Data List"), "educ").at(1).toUtf8(), expected);
        }
    }

    // Cancelled half-way: no file, no part file, an earlier file of that name
    // as it was.
    void aCancelledExportLeavesNoFile_data() {
        QTest::addColumn<ResearchFormat>("format");
        QTest::newRow("sav") << ResearchFormat::Spss;
        QTest::newRow("dta") << ResearchFormat::Stata;
    }
    void aCancelledExportLeavesNoFile() {
        QFETCH(ResearchFormat, format);
        addManySubjects(10000);
        const QString file = out("research." + suffixOf(format));
        writeFile(out("earlier." + suffixOf(format)), "last week's file");
        qint64 reached = 0;
        ResearchSummary summary;
        QString error;
        const ExportResult result = exportResearch(
            file, optionsFor(format),
            [&](qint64 done, qint64 total) {
                reached = done;
                return done < total / 2;
            },
            &summary, &error);
        QCOMPARE(result, ExportResult::Cancelled);
        QVERIFY(reached >= 5000 && reached < 10000);
        QCOMPARE(filesIn(m_folder->file("out")), QStringList{"earlier." + suffixOf(format)});
        QCOMPARE(bytesOf(out("earlier." + suffixOf(format))), QByteArray("last week's file"));
    }

    // A full disk: a clear failure naming the file, nothing left behind.
    void aFullDiskLeavesNoFile() {
        addManySubjects(3000);
        const QString file = out("research.sav");
        writeFile(file, "keep me");
        QString error;
        ResearchSummary summary;
        ExportResult result;
        {
            FileSizeLimit limit(32 * 1024);
            result = exportResearch(file, optionsFor(ResearchFormat::Spss, true), ExportProgress(),
                                    &summary, &error);
        }
        QCOMPARE(result, ExportResult::Failed);
        QVERIFY2(error.contains(QDir::toNativeSeparators(file)), qPrintable(error));
        QCOMPARE(bytesOf(file), QByteArray("keep me"));
        QCOMPARE(filesIn(m_folder->file("out")), QStringList{"research.sav"});
    }

    // The code lookup's button: the dialog's choices, the subjects the grid
    // lists, progress; closed once the file is written.
    void theLookupExportsWhatTheGridLists() {
        addThreeSubjects();
        m_window = std::make_unique<FrmCode>();
        m_window->show();
        m_window->Combo3->setCurrentIndex(3); // group D: K-17 only
        const QString file = out("from lookup");
        platform().saveAnswers.enqueue(file);
        bool seen = false;
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<ResearchExportDialog*>(modal);
            QVERIFY(dialog);
            seen = true;
            QVERIFY(dialog->OptionSpss->isChecked());
            QVERIFY(dialog->OptionPseudonymised->isChecked());
            QVERIFY(dialog->OptionPerSubject->isChecked());
            QVERIFY(dialog->FrameDates->isEnabled());
            keepPicture(dialog, QStringLiteral("research-dialog.png"));
            QTest::mouseClick(dialog->OptionIdentified, Qt::LeftButton);
            QVERIFY(!dialog->FrameDates->isEnabled());
            QTest::mouseClick(dialog->OptionPerAdministration, Qt::LeftButton);
            QTest::mouseClick(dialog->OptionStata, Qt::LeftButton);
            QTest::mouseClick(dialog->saveButton, Qt::LeftButton);
        });
        QTest::mouseClick(m_window->researchButton, Qt::LeftButton);
        QVERIFY(seen);
        const auto dialogs = platform().ofKind("saveFileName");
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.first().filter, QStringLiteral("Stata (*.dta)"));
        QCOMPARE(dialogs.first().defaultName,
                 defaultResearchName(QDate::currentDate(), ResearchFormat::Stata));
        const QList<QStringList> rows = readstatRows(file + ".dta");
        QCOMPARE(column(rows, "code"), (QStringList{"K-17", "K-17"}));
        QCOMPARE(column(rows, "fname"), (QStringList{"سارا", "سارا"}));
        QCOMPARE(column(rows, "admin"), (QStringList{"1", "2"}));
        QCOMPARE(platform().noticeTexts().size(), 1);
        QVERIFY(platform().noticeTexts().first().contains(QStringLiteral("ذخيره شد")));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // A long export from the dialog shows its progress over it; cancelling
    // leaves no file, and the dialog stays for another try.
    void theDialogsCancelLeavesNoFile() {
        addManySubjects(12000);
        ResearchExportDialog dialog{SubjectFilter(), QString()};
        dialog.show();
        bool sawProgress = false;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            auto* progress =
                dialog.findChild<QProgressDialog*>(QStringLiteral("ResearchExportProgress"));
            if (!progress || !progress->isVisible())
                return;
            sawProgress = true;
            watch.stop();
            QPushButton* cancel = progress->findChild<QPushButton*>();
            QVERIFY(cancel);
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        watch.start();
        platform().saveAnswers.enqueue(out("big.sav"));
        QTest::mouseClick(dialog.saveButton, Qt::LeftButton);
        QVERIFY(sawProgress);
        QVERIFY(filesIn(m_folder->file("out")).isEmpty());
        QVERIFY(platform().noticeTexts().isEmpty());
        QVERIFY(platform().messageTexts().isEmpty());
        QVERIFY(dialog.isVisible());
    }

    // The button stands where the lookup has room.
    void theButtonCoversNothing() {
        m_window = std::make_unique<FrmCode>();
        m_window->show();
        QPushButton* button = m_window->researchButton;
        QCOMPARE(button->text(), QStringLiteral("خروجي پژوهشي"));
        QVERIFY(m_window->rect().contains(button->geometry()));
        QVERIFY(button->sizeHint().width() <= button->width());
        for (QWidget* child :
             m_window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child == button || !child->isVisible())
                continue;
            QVERIFY2(!child->geometry().intersects(button->geometry()),
                     qPrintable(child->objectName()));
        }
        keepPicture(m_window.get(), QStringLiteral("lookup-research.png"));
    }

    // The command line: the ending chooses the format; the summary on
    // success, a message and a failing status otherwise.
    void theCommandLine_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("status");
        QTest::newRow("sav") << "out/cmd.sav" << 0;
        QTest::newRow("DTA, absolute") << "ABS/out/cmd.DTA" << 0;
        QTest::newRow("csv") << "out/cmd.csv" << 1;
        QTest::newRow("no ending") << "out/cmd" << 1;
        QTest::newRow("missing folder") << "nowhere/cmd.sav" << 1;
        QTest::newRow("a folder") << "out.sav" << 1;
        QTest::newRow("no name") << "" << 1;
    }
    void theCommandLine() {
        QFETCH(QString, file);
        QFETCH(int, status);
        addThreeSubjects();
        QDir(m_folder->path()).mkpath("out.sav");
        file.replace(QStringLiteral("ABS/"), m_folder->path() + "/");
        QString said, told;
        QTextStream out(&said), err(&told);
        QCOMPARE(exportResearchCommand(file, ResearchOptions(), out, err), status);
        if (status == 0) {
            QCOMPARE(told, QString());
            QVERIFY2(said.contains(QStringLiteral("3 سطر از 3 آزمودني")), qPrintable(said));
            QCOMPARE(readstatRows(QDir(m_folder->path()).absoluteFilePath(file)).size(), 4);
        } else {
            QCOMPARE(said, QString());
            QVERIFY2(told.startsWith(QStringLiteral("فايل پژوهشي ذخيره نشد")), qPrintable(told));
            QCOMPARE(filesIn(m_folder->file("out")), QStringList());
            for (const QString& name : filesIn(m_folder->path()))
                QVERIFY2(!name.startsWith('.'), qPrintable(name));
        }
    }
};

VELMORA_TEST_MAIN(TestResearchExport)
#include "tst_researchexport.moc"
