// The clinic-scale benchmark. `velmora_bench run` makes program folders with
// 0, 1,000 and 100,000 subjects (each with a full answer sheet and one
// administration kept), measures each step several times through the windows'
// own handlers, with the scripted platform answering the dialogs, and prints
// one table of medians. With --export-sizes it also measures the CSV and the
// research exports alone at other sizes (a million subjects take a few minutes
// to make once).
// With --server the steps at the largest size run once more with the subject
// tables on the PostgreSQL server the libpq variables (PGHOST, ...) name.
//
// Start-up and memory are measured in fresh processes; the steps run in one
// child process per size, so that a step's time does not include start-up, and
// so does the export, so that its peak memory is its own.

#include "LoadRun.h"
#include "RoundTrips.h"

#include "access/AuditWindow.h"
#include "app/App.h"
#include "app/Frm1.h"
#include "backup/ClinicKey.h"
#include "backup/Frmbackup.h"
#include "data/AuditTrail.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "registry/ResearchExport.h"
#include "registry/SubjectExport.h"
#include "scoring/FrmkLID.h"
#include "scoring/HistoryChart.h"
#include "scoring/HistoryWindow.h"
#include "support/PgTestServer.h"
#include "support/ScriptedPlatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTableView>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <ctime>
#include <fcntl.h>
#include <readstat.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace velmora;

namespace {

QTextStream out(stdout);

double median(QList<double> values) {
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const int n = int(values.size());
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

double msSince(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e6;
}

// Seconds of processor time this process has used: on a machine that others
// load, a rate by it says what the work costs, a rate by the clock what the
// operator waits.
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QString subjectCode(int i) {
    return QStringLiteral("S%1").arg(i, 6, 10, QLatin1Char('0'));
}

// ---------------------------------------------------------------- folders --

// A program folder with n subjects, made once and kept for later runs. (A
// folder made before administrations were kept is made again.)
QString prepareFolder(const QString& dataDir, int n) {
    const QString folder = QDir(dataDir).absoluteFilePath(QStringLiteral("subjects-%1").arg(n));
    const QString marker = QDir(folder).filePath(QStringLiteral("generated-with-history"));
    if (QFile::exists(marker))
        return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/Back"));
    const QDir program(QCoreApplication::applicationDirPath());
    for (const QString& skin : program.entryList({QStringLiteral("*.skn")}, QDir::Files))
        QFile::copy(program.filePath(skin), QDir(folder).filePath(skin));

    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    QString error;
    if (!Database::openAll(&error))
        qFatal("%s", qPrintable(error));
    QSqlDatabase db = Database::connection(DbFile::Subjects);
    db.transaction();
    QSqlQuery ide(db), answer(db), history(db);
    ide.prepare("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", "
                "\"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\") "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QStringList answerColumns{QStringLiteral("\"Code\""), QStringLiteral("\"Group\"")};
    QStringList marks{QStringLiteral("?"), QStringLiteral("?")};
    for (int item = 1; item <= 14; ++item) {
        answerColumns.append(QStringLiteral("\"%1\"").arg(item));
        marks.append(QStringLiteral("?"));
    }
    answer.prepare(QStringLiteral("INSERT INTO \"Answer\" (%1) VALUES (%2)")
                       .arg(answerColumns.join(", "), marks.join(", ")));
    // The sheet was stored by save-and-exit once: one administration, the same answers.
    QStringList historyColumns = answerColumns;
    historyColumns.replace(1, QStringLiteral("\"Date\""));
    historyColumns.insert(2, QStringLiteral("\"Time\""));
    history.prepare(QStringLiteral("INSERT INTO \"History\" (%1) VALUES (%2)")
                        .arg(historyColumns.join(", "), marks.join(", ") + QStringLiteral(", ?")));
    const QStringList firstNames =
        QStringLiteral("Ali Maryam Sara Reza Nima Leila Omid").split(u' ');
    const QStringList lastNames =
        QStringLiteral("Ahmadi Karimi Rezaei Hosseini Moradi Jafari").split(u' ');
    QRandomGenerator random(20141102);
    for (int i = 1; i <= n; ++i) {
        const QString code = subjectCode(i);
        const QString group = QString(QChar('A' + i % 7));
        ide.addBindValue(code);
        ide.addBindValue(QString(firstNames.at(i % firstNames.size()) + QString::number(i % 997)));
        ide.addBindValue(QString(lastNames.at(i % lastNames.size()) + QString::number(i % 1009)));
        ide.addBindValue(QStringLiteral("x"));
        ide.addBindValue(QString::number(18 + i % 60));
        ide.addBindValue(QStringLiteral("y"));
        ide.addBindValue(QStringLiteral("z"));
        ide.addBindValue(group);
        ide.addBindValue(QStringLiteral("1403/01/01"));
        ide.addBindValue(QStringLiteral("10:00:00"));
        if (!ide.exec())
            qFatal("%s", qPrintable(ide.lastError().text()));
        answer.addBindValue(code);
        answer.addBindValue(group);
        history.addBindValue(code);
        history.addBindValue(QStringLiteral("1403/01/02"));
        history.addBindValue(QStringLiteral("11:30:00"));
        for (int item = 1; item <= 14; ++item) {
            const QString value = QString::number(1 + random.bounded(5));
            answer.addBindValue(value);
            history.addBindValue(value);
        }
        if (!answer.exec() || !history.exec())
            qFatal("%s %s", qPrintable(answer.lastError().text()),
                   qPrintable(history.lastError().text()));
        if (i % 100000 == 0) {
            // Commits along the way keep the journal of a million rows small.
            db.commit();
            db.transaction();
        }
    }
    ide.finish();
    answer.finish();
    history.finish();
    db.commit();
    Database::closeAll();
    QDir::setCurrent(previous);
    QFile f(marker);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray::number(n));
    return folder;
}

// A program folder whose audit trail holds n entries (chained as the
// program chains them), made once and kept for later runs.
QString prepareTrail(const QString& dataDir, int n) {
    const QString folder = QDir(dataDir).absoluteFilePath(QStringLiteral("trail-%1").arg(n));
    const QString marker = QDir(folder).filePath(QStringLiteral("generated"));
    if (QFile::exists(marker))
        return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/Back"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    QString error;
    if (!Database::openAll(&error))
        qFatal("%s", qPrintable(error));
    Database::closeAll();
    const QString name = QStringLiteral("velmora-bench-trail");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(AuditTrail::absoluteFileName());
        if (!db.open())
            qFatal("%s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous = OFF"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO \"Audit\" (\"Seq\", \"Time\", \"Workstation\", "
                                 "\"Operator\", \"Action\", \"Code\", \"Outcome\", "
                                 "\"Detail\", \"Hash\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const QStringList actions = {QStringLiteral("answers"), QStringLiteral("register"),
                                     QStringLiteral("test"), QStringLiteral("scores"),
                                     QStringLiteral("lookup-search")};
        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-qint64(n) * 20);
        QString previousHash;
        for (int i = 1; i <= n; ++i) {
            AuditEntry e;
            e.seq = i;
            e.time = start.addSecs(qint64(i) * 20).toString(Qt::ISODateWithMs);
            e.workstation = i % 3 ? QStringLiteral("front-desk") : QStringLiteral("room-2");
            e.operatorName = i % 4 ? QStringLiteral("sara") : QStringLiteral("omid");
            e.action = actions.at(i % actions.size());
            e.code = subjectCode(i % 100000);
            e.outcome = QStringLiteral("done");
            e.detail = QStringLiteral("سوال %1").arg(i % 14 + 1);
            e.hash = AuditTrail::chainHash(e, previousHash);
            previousHash = e.hash;
            for (const QVariant& v : QVariantList{e.seq, e.time, e.workstation, e.operatorName,
                                                  e.action, e.code, e.outcome, e.detail, e.hash})
                q.addBindValue(v);
            if (!q.exec())
                qFatal("%s", qPrintable(q.lastError().text()));
            if (i % 200000 == 0) {
                db.commit();
                db.transaction();
            }
        }
        q.finish();
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    QDir::setCurrent(previous);
    QFile f(marker);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray::number(n));
    return folder;
}

// ----------------------------------------------------------- in-process --

// Runs trigger (a handler that shows a modal window and returns when it
// closes); returns the milliseconds until the modal window was shown, and
// runs whileOpen on it then (which must close it).
double timeUntilModal(const std::function<void()>& trigger,
                      const std::function<void(QWidget*)>& whileOpen) {
    QElapsedTimer clock;
    double shownAt = -1;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll.stop();
            shownAt = msSince(clock);
            whileOpen(modal);
        }
    });
    poll.start();
    clock.start();
    trigger();
    poll.stop();
    return shownAt;
}

qint64 peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

struct Session {
    ScriptedPlatform scripted;
    QApplication* app = nullptr;

    Frm1* start(const QString& folder) {
        QDir::setCurrent(folder);
        QApplication::setQuitOnLastWindowClosed(false);
        prepareApplication(*app);
        setPlatform(&scripted);
        if (!startVelmora())
            qFatal("Velmora did not start in %s", qPrintable(folder));
        return Frm1::instance();
    }
};

void report(const QString& step, const QList<double>& values) {
    QStringList texts;
    for (double v : values)
        texts.append(QString::number(v, 'f', 3));
    out << step << '\t' << texts.join(' ') << '\n';
    out.flush();
}

int childStartup(int argc, char** argv, const QString& folder) {
    QApplication app(argc, argv);
    Session session;
    session.app = &app;
    session.start(folder);
    // The main window is shown; tell the parent once the event loop has run.
    QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}

int childMemory(int argc, char** argv, const QString& folder) {
    QApplication app(argc, argv);
    Session session;
    session.app = &app;
    Frm1* main = session.start(folder);
    qint64 peak = -1;
    timeUntilModal([main] { main->Command4_Click(); },
                   [&peak](QWidget* lookup) {
                       QCoreApplication::processEvents();
                       peak = peakResidentKb();
                       lookup->close();
                   });
    out << "memory\t" << peak << '\n';
    return 0;
}

qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The rows an export of every subject writes.
qint64 exportRows() {
    QSqlQuery q(Database::connection(DbFile::Subjects));
    if (!q.exec("SELECT COUNT(*) FROM \"IDE\" AS i LEFT JOIN \"History\" AS h "
                "ON h.\"Code\" = i.\"Code\"") ||
        !q.next())
        qFatal("%s", qPrintable(q.lastError().text()));
    return q.value(0).toLongLong();
}

// The export of every subject as the code lookup runs it (the event loop kept
// alive between blocks of rows), into a file in the folder.
int childExport(int argc, char** argv, const QString& folder, int runs) {
    QApplication app(argc, argv);
    QDir::setCurrent(folder);
    QString error;
    if (!Database::openAll(&error))
        qFatal("%s", qPrintable(error));
    const qint64 rows = exportRows();
    const QString target = QDir(folder).absoluteFilePath(QStringLiteral("export.csv"));
    const qint64 before = residentKb();
    QList<double> rate;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(target);
        QElapsedTimer clock;
        clock.start();
        const ExportResult result = exportSubjectsCsv(
            target, SubjectFilter(),
            [](qint64, qint64) {
                QCoreApplication::processEvents();
                return true;
            },
            &error);
        const double seconds = msSince(clock) / 1000.0;
        if (result != ExportResult::Written)
            qFatal("export failed: %s", qPrintable(error));
        rate.append(double(rows) / seconds);
    }
    report(QStringLiteral("export-rows-per-s"), rate);
    out << "export-rows\t" << rows << '\n';
    out << "export-base-MB\t" << double(before) / 1024.0 << '\n';
    out << "export-peak-MB\t" << double(peakResidentKb()) / 1024.0 << '\n';
    out << "export-bytes\t" << QFileInfo(target).size() << '\n';
    QFile::remove(target);
    return 0;
}

// Keeps a subject with count administrations (a registration row, its sheet
// and the administrations), for the history window's measurement.
void addSubjectWithHistory(const QString& code, int count) {
    QSqlDatabase db = Database::connection(DbFile::Subjects);
    db.transaction();
    QSqlQuery q(db);
    q.prepare("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", \"Group\") VALUES (?, ?, ?, "
              "'A')");
    q.addBindValue(code);
    q.addBindValue(QStringLiteral("Maryam"));
    q.addBindValue(QStringLiteral("Karimi"));
    if (!q.exec())
        qFatal("%s", qPrintable(q.lastError().text()));
    QStringList columns, marks;
    for (int item = 1; item <= 14; ++item) {
        columns.append(QStringLiteral("\"%1\"").arg(item));
        marks.append(QStringLiteral("?"));
    }
    q.prepare(QStringLiteral("INSERT INTO \"Answer\" (\"Code\", \"Group\", %1) VALUES (?, 'A', %2)")
                  .arg(columns.join(", "), marks.join(", ")));
    q.addBindValue(code);
    for (int item = 1; item <= 14; ++item)
        q.addBindValue(QString::number(1 + item % 5));
    if (!q.exec())
        qFatal("%s", qPrintable(q.lastError().text()));
    q.prepare(QStringLiteral("INSERT INTO \"History\" (\"Code\", \"Date\", \"Time\", %1) VALUES "
                             "(?, ?, '10:00:00', %2)")
                  .arg(columns.join(", "), marks.join(", ")));
    for (int i = 0; i < count; ++i) {
        q.addBindValue(code);
        q.addBindValue(QStringLiteral("1403/%1/%2")
                           .arg(1 + (i / 30) % 12, 2, 10, QLatin1Char('0'))
                           .arg(1 + i % 30, 2, 10, QLatin1Char('0')));
        for (int item = 1; item <= 14; ++item)
            q.addBindValue(QString::number(1 + (i + item) % 5));
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    db.commit();
}

// History window: the scoring window's "past results" button until the grid
// and the chart of a subject with 2, and with 500, administrations are shown.
void measureHistory(Session& session, Frm1* main, int runs, const QString& tag) {
    for (const int count : {2, 500}) {
        const QString code = QStringLiteral("bench-history-%1-%2").arg(tag).arg(count);
        addSubjectWithHistory(code, count);
        main->Command3_Click();
        FrmkLID* scoringWindow = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<FrmkLID*>(w); found && found->isVisible())
                scoringWindow = found;
        if (!scoringWindow)
            qFatal("the scoring window did not open");
        session.scripted.inputAnswers.enqueue(code);
        scoringWindow->Command1_Click();
        QList<double> shown, charted;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            shown.append(
                timeUntilModal([scoringWindow] { scoringWindow->historyClick(); },
                               [&charted, &clock, count](QWidget* window) {
                                   auto* history = qobject_cast<HistoryWindow*>(window);
                                   if (history->ChartHistory->isLoaded())
                                       qFatal("the chart was read before the window was shown");
                                   while (!history->ChartHistory->isLoaded())
                                       QCoreApplication::processEvents();
                                   history->ChartHistory->repaint();
                                   charted.append(msSince(clock));
                                   if (history->ChartHistory->points().size() != count)
                                       qFatal("the chart does not show every administration");
                                   history->close();
                               }));
        }
        report(QStringLiteral("history-%1").arg(count), shown);
        report(QStringLiteral("history-chart-%1").arg(count), charted);
        scoringWindow->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Code lookup: Command4 to the grid shown, one search by group, and one name
// search by its beginning (a first name typed in part, as the operator types
// it: "Maryam1" begins some 110 of every 7,000 names).
void measureLookup(Frm1* main, int runs, int subjects) {
    QList<double> lookupOpen, lookupSearch, lookupName;
    for (int i = 0; i < runs; ++i) {
        lookupOpen.append(timeUntilModal(
            [main] { main->Command4_Click(); },
            [&lookupSearch, &lookupName, subjects](QWidget* window) {
                auto* lookup = qobject_cast<FrmCode*>(window);
                auto* group = lookup->findChild<QComboBox*>("Combo3");
                QElapsedTimer clock;
                clock.start();
                group->setCurrentIndex(1); // "B"
                QCoreApplication::processEvents();
                lookupSearch.append(msSince(clock));
                if (subjects > 0 && lookup->DataGrid1->table()->model()->rowCount() == 0)
                    qFatal("the group search found nobody");
                auto* firstName = lookup->findChild<QComboBox*>("DataCombo6");
                clock.restart();
                firstName->lineEdit()->setText(QStringLiteral("Maryam1"));
                QCoreApplication::processEvents();
                lookupName.append(msSince(clock));
                if (subjects > 100 && lookup->DataGrid1->table()->model()->rowCount() == 0)
                    qFatal("the name search found nobody");
                lookup->close();
            }));
    }
    report(QStringLiteral("lookup-open"), lookupOpen);
    report(QStringLiteral("lookup-search"), lookupSearch);
    report(QStringLiteral("lookup-name"), lookupName);
}

// The code lookup alone, for sizes too large to run every step at.
int childLookup(int argc, char** argv, const QString& folder, int runs, int subjects) {
    QApplication app(argc, argv);
    Session session;
    session.app = &app;
    Frm1* main = session.start(folder);
    measureLookup(main, runs, subjects);
    return 0;
}

// The tightest loop of ReadStat writes of rows like the research export's
// (pseudonymised, one row per subject: the same variables, types, widths,
// labels and compression) through a buffer into a file that is flushed to the
// disk at the end as the export's is. Its values are made in the loop, or,
// with database, read in the same loop from the subject file's join of
// subjects and administrations straight through SQLite, unconverted: the
// least a writer of these rows from that file can do. Rows per second.
double readstatLoopRate(const QString& target, ResearchFormat format, qint64 rows, double* cpuRate,
                        const QString& database = QString()) {
    struct Sink {
        int fd;
        std::vector<char> buffer;
        bool flush() {
            const char* data = buffer.data();
            size_t left = buffer.size();
            while (left > 0) {
                const ssize_t put = ::write(fd, data, left);
                if (put <= 0)
                    return false;
                data += put;
                left -= size_t(put);
            }
            buffer.clear();
            return true;
        }
    };
    const auto put = [](const void* data, size_t size, void* context) -> ssize_t {
        auto* sink = static_cast<Sink*>(context);
        if (sink->buffer.size() + size > 256 * 1024 && !sink->flush())
            return 0;
        const auto* bytes = static_cast<const char*>(data);
        sink->buffer.insert(sink->buffer.end(), bytes, bytes + size);
        return ssize_t(size);
    };
    QFile::remove(target);
    Sink sink{::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
              {}};
    sink.buffer.reserve(256 * 1024);
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = cpuSeconds();
    readstat_writer_t* w = readstat_writer_init();
    readstat_set_data_writer(w, put);
    readstat_label_set_t* answers = readstat_add_label_set(w, READSTAT_TYPE_INT32, "answer");
    for (int v = 1; v <= 5; ++v)
        readstat_label_int32_value(answers, v, "label");
    const auto variable = [w](const char* name, readstat_type_t type, size_t width) {
        readstat_variable_t* v = readstat_add_variable(w, name, type, width);
        readstat_variable_set_label(v, "label");
        return v;
    };
    readstat_variable_t* code = variable("code", READSTAT_TYPE_STRING, 16);
    readstat_variable_t* sex = variable("sex", READSTAT_TYPE_INT8, 0);
    readstat_variable_t* age = variable("age", READSTAT_TYPE_INT16, 0);
    readstat_variable_t* marital = variable("marital", READSTAT_TYPE_INT8, 0);
    readstat_variable_t* educ = variable("educ", READSTAT_TYPE_STRING, 1);
    readstat_variable_t* group = variable("group", READSTAT_TYPE_INT8, 0);
    readstat_variable_t* regdate = variable("regdate", READSTAT_TYPE_DOUBLE, 0);
    readstat_variable_t* regsolar = variable("regsolar", READSTAT_TYPE_STRING, 10);
    readstat_variable_t* regtime = variable("regtime", READSTAT_TYPE_STRING, 40);
    readstat_variable_t* admin = variable("admin", READSTAT_TYPE_INT32, 0);
    readstat_variable_t* date = variable("date", READSTAT_TYPE_DOUBLE, 0);
    readstat_variable_t* solar = variable("solar", READSTAT_TYPE_STRING, 10);
    readstat_variable_t* time = variable("time", READSTAT_TYPE_STRING, 40);
    readstat_variable_t* items[14];
    for (int i = 0; i < 14; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "item%02d", i + 1);
        items[i] = variable(name, READSTAT_TYPE_INT8, 0);
        readstat_variable_set_label_set(items[i], answers);
    }
    readstat_variable_t* scores[7];
    for (int i = 0; i < 7; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "scale%d", i + 1);
        scores[i] = variable(name, READSTAT_TYPE_DOUBLE, 0);
    }
    if (format == ResearchFormat::Spss) {
        readstat_writer_set_compression(w, READSTAT_COMPRESS_ROWS);
        readstat_begin_writing_sav(w, &sink, long(rows));
    } else {
        readstat_begin_writing_dta(w, &sink, long(rows));
    }
    const bool spss = format == ResearchFormat::Spss;
    sqlite3* db = nullptr;
    sqlite3_stmt* read = nullptr;
    if (!database.isEmpty()) {
        QStringList columns{QStringLiteral("i.\"Code\""),   QStringLiteral("i.\"Jens\""),
                            QStringLiteral("i.\"Sen\""),    QStringLiteral("i.\"Taahol\""),
                            QStringLiteral("i.\"Tahsil\""), QStringLiteral("i.\"Group\""),
                            QStringLiteral("i.\"Date\""),   QStringLiteral("i.\"Time\""),
                            QStringLiteral("h.\"Date\""),   QStringLiteral("h.\"Time\"")};
        for (int item = 1; item <= 14; ++item)
            columns.append(QStringLiteral("h.\"%1\"").arg(item));
        const QByteArray sql =
            QStringLiteral("SELECT %1 FROM \"IDE\" AS i LEFT JOIN \"History\" AS h "
                           "ON h.\"Code\" = i.\"Code\" ORDER BY i.\"ID\", h.\"ID\"")
                .arg(columns.join(QStringLiteral(", ")))
                .toUtf8();
        if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(db, sql.constData(), -1, &read, nullptr) != SQLITE_OK)
            qFatal("the subject file could not be read: %s", sqlite3_errmsg(db));
    }
    const auto textOf = [&read](int column) {
        const unsigned char* text = sqlite3_column_text(read, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    };
    for (qint64 row = 0; row < rows; ++row) {
        const int n = int(row % 1000);
        if (read) {
            if (sqlite3_step(read) != SQLITE_ROW)
                qFatal("the subject file has fewer rows than the export wrote");
            readstat_begin_row(w);
            readstat_insert_string_value(w, code, textOf(0));
            readstat_insert_int8_value(w, sex, int8_t(sqlite3_column_int(read, 1)));
            readstat_insert_int16_value(w, age, int16_t(sqlite3_column_int(read, 2)));
            readstat_insert_int8_value(w, marital, int8_t(sqlite3_column_int(read, 3)));
            readstat_insert_string_value(w, educ, textOf(4));
            readstat_insert_int8_value(w, group, int8_t(n % 7));
            readstat_insert_double_value(w, regdate, spss ? 13900000000.0 : 23000.0);
            readstat_insert_string_value(w, regsolar, textOf(6));
            readstat_insert_string_value(w, regtime, textOf(7));
            readstat_insert_int32_value(w, admin, 1);
            readstat_insert_double_value(w, date, spss ? 13900086400.0 : 23001.0);
            readstat_insert_string_value(w, solar, textOf(8));
            readstat_insert_string_value(w, time, textOf(9));
            int values[14];
            for (int i = 0; i < 14; ++i) {
                values[i] = sqlite3_column_int(read, 10 + i);
                readstat_insert_int8_value(w, items[i], int8_t(values[i]));
            }
            for (int i = 0; i < 7; ++i)
                readstat_insert_double_value(w, scores[i], double(values[i] + values[i + 7]));
            readstat_end_row(w);
            continue;
        }
        readstat_begin_row(w);
        readstat_insert_string_value(w, code, "0123456789abcdef");
        readstat_insert_int8_value(w, sex, int8_t(1 + n % 2));
        readstat_insert_int16_value(w, age, int16_t(18 + n % 60));
        readstat_insert_int8_value(w, marital, int8_t(1 + n % 2));
        readstat_insert_string_value(w, educ, "z");
        readstat_insert_int8_value(w, group, int8_t(1 + n % 7));
        readstat_insert_double_value(w, regdate, spss ? 13900000000.0 + n * 86400.0 : 23000.0 + n);
        readstat_insert_string_value(w, regsolar, "1403/01/01");
        readstat_insert_string_value(w, regtime, "10:00:00");
        readstat_insert_int32_value(w, admin, 1);
        readstat_insert_double_value(w, date, spss ? 13900086400.0 + n * 86400.0 : 23001.0 + n);
        readstat_insert_string_value(w, solar, "1403/01/02");
        readstat_insert_string_value(w, time, "11:30:00");
        for (int i = 0; i < 14; ++i)
            readstat_insert_int8_value(w, items[i], int8_t(1 + (n + i) % 5));
        for (int i = 0; i < 7; ++i)
            readstat_insert_double_value(w, scores[i], double(2 + (n + i) % 9));
        readstat_end_row(w);
    }
    const readstat_error_t ended = readstat_end_writing(w);
    readstat_writer_free(w);
    sqlite3_finalize(read);
    sqlite3_close(db);
    const bool written = ended == READSTAT_OK && sink.flush() && ::fsync(sink.fd) == 0;
    ::close(sink.fd);
    const double seconds = msSince(clock) / 1000.0;
    *cpuRate = double(rows) / (cpuSeconds() - cpuStart);
    QFile::remove(target);
    if (!written)
        qFatal("the ReadStat loop did not write its file");
    return double(rows) / seconds;
}

// Processor seconds used by this process's ended children.
double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The other reference: the readstat tool converting the same rows from CSV,
// with the file's own variables and labels as its metadata (the CSV and the
// metadata made beforehand from the exported file itself, the dates written
// as the tool reads them). Rows per second, by the clock and by processor time.
double readstatToolRate(const QString& exported, qint64 rows, double* cpuRate) {
    const QString folder = QFileInfo(exported).absolutePath();
    const QString csv = QDir(folder).filePath(QStringLiteral("rows.csv"));
    const QString metadata = QDir(folder).filePath(QStringLiteral("metadata.json"));
    const QString converted =
        QDir(folder).filePath(QStringLiteral("converted.") + QFileInfo(exported).suffix());
    const bool spss = exported.endsWith(QLatin1String(".sav"));
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.start(QStringLiteral("extract_metadata"), {exported, metadata});
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
        return -1; // no readstat package on this machine
    {
        // extract_metadata names Stata's %td DATE_TIME, which the tool's own
        // CSV reader does not take back; a date is what it is.
        QFile json(metadata);
        json.open(QIODevice::ReadOnly);
        QByteArray text = json.readAll();
        json.close();
        text.replace("\"DATE_TIME\"", "\"DATE\"");
        json.open(QIODevice::WriteOnly | QIODevice::Truncate);
        json.write(text);
    }
    QProcess reader;
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.start(QStringLiteral("readstat"), {exported, QStringLiteral("-")});
    if (!reader.waitForStarted())
        return -1;
    QFile out(csv);
    out.open(QIODevice::WriteOnly);
    QList<int> dates;
    bool header = true;
    while (reader.waitForReadyRead(-1) || reader.canReadLine()) {
        while (reader.canReadLine()) {
            QByteArray line = reader.readLine();
            QList<QByteArray> cells = line.trimmed().split(',');
            if (header) {
                for (int i = 0; i < cells.size(); ++i)
                    if (cells.at(i) == "\"regdate\"" || cells.at(i) == "\"date\"")
                        dates.append(i);
                header = false;
            } else {
                // The tool reads a date as yyyy-MM-dd, and writes it as its count.
                for (int i : dates) {
                    if (cells.value(i).isEmpty())
                        continue;
                    const double value = cells.at(i).toDouble();
                    const QDate date = spss ? QDate(1582, 10, 14).addDays(qint64(value / 86400))
                                            : QDate(1960, 1, 1).addDays(qint64(value));
                    cells[i] = date.toString(Qt::ISODate).toLatin1();
                }
                line = cells.join(',') + '\n';
            }
            out.write(line);
        }
        if (reader.state() == QProcess::NotRunning && !reader.canReadLine())
            break;
    }
    out.close();
    reader.waitForFinished(-1);
    QFile::remove(converted);
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = childCpuSeconds();
    tool.start(QStringLiteral("readstat"), {csv, metadata, converted});
    tool.waitForFinished(-1);
    const double seconds = msSince(clock) / 1000.0;
    *cpuRate = double(rows) / (childCpuSeconds() - cpuStart);
    const bool whole = tool.exitCode() == 0 && QFileInfo(converted).size() > 0;
    for (const QString& file : {csv, metadata, converted})
        QFile::remove(file);
    if (!whole)
        qFatal("the readstat tool did not convert the rows");
    return double(rows) / seconds;
}

// The research export of every subject, pseudonymised and one row per
// subject (the default), to a file of format as the code lookup runs it, and
// the ReadStat loop of the same rows after it.
int childResearch(int argc, char** argv, const QString& folder, int runs, const QString& suffix) {
    QApplication app(argc, argv);
    QDir::setCurrent(folder);
    QString error;
    if (!Database::openAll(&error))
        qFatal("%s", qPrintable(error));
    ResearchOptions options;
    options.format = suffix == QLatin1String("dta") ? ResearchFormat::Stata : ResearchFormat::Spss;
    const QString target = QDir(folder).absoluteFilePath(QStringLiteral("research.") + suffix);
    const qint64 before = residentKb();
    QList<double> rate, cpuRate;
    ResearchSummary summary;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(target);
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuSeconds();
        const ExportResult result = exportResearch(
            target, options,
            [](qint64, qint64) {
                QCoreApplication::processEvents();
                return true;
            },
            &summary, &error);
        const double seconds = msSince(clock) / 1000.0;
        if (result != ExportResult::Written)
            qFatal("research export failed: %s", qPrintable(error));
        rate.append(double(summary.rows) / seconds);
        cpuRate.append(double(summary.rows) / (cpuSeconds() - cpuStart));
    }
    const QString key = QStringLiteral("research-") + suffix;
    report(key + QStringLiteral("-rows-per-s"), rate);
    report(key + QStringLiteral("-cpu-rows-per-s"), cpuRate);
    QList<double> tool, cpuTool;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        tool.append(readstatToolRate(target, summary.rows, &cpu));
        cpuTool.append(cpu);
    }
    report(key + QStringLiteral("-tool-rows-per-s"), tool);
    report(key + QStringLiteral("-tool-cpu-rows-per-s"), cpuTool);
    out << key << "-rows\t" << summary.rows << '\n';
    out << key << "-bytes\t" << QFileInfo(target).size() << '\n';
    out << key << "-base-MB\t" << double(before) / 1024.0 << '\n';
    out << key << "-peak-MB\t" << double(peakResidentKb()) / 1024.0 << '\n';
    QFile::remove(target);
    QList<double> reference, cpuReference;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        reference.append(readstatLoopRate(target, options.format, summary.rows, &cpu));
        cpuReference.append(cpu);
    }
    report(key + QStringLiteral("-loop-rows-per-s"), reference);
    report(key + QStringLiteral("-loop-cpu-rows-per-s"), cpuReference);
    QList<double> reading, cpuReading;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        reading.append(readstatLoopRate(target, options.format, summary.rows, &cpu,
                                        QDir(folder).absoluteFilePath("DBM/DB2.mdb")));
        cpuReading.append(cpu);
    }
    report(key + QStringLiteral("-read-loop-rows-per-s"), reading);
    report(key + QStringLiteral("-read-loop-cpu-rows-per-s"), cpuReading);
    return 0;
}

// With server, the subject tables are that database of the PostgreSQL server
// the libpq variables name, and the backup (a different copy there) is left out.
int childSteps(int argc, char** argv, const QString& folder, int runs, int subjects,
               const QString& server) {
    QApplication app(argc, argv);
    Session session;
    session.app = &app;
    if (!server.isEmpty()) {
        StoreUrl url;
        url.database = server;
        SubjectStore::install(SubjectStore::server(url));
    }
    Frm1* main = session.start(folder);
    const QString someone = subjects > 0 ? subjectCode((subjects + 1) / 2) : QString();
    const QString tag = QString::number(QCoreApplication::applicationPid());

    // Registration: Command8 on a filled panel until both records are stored.
    QList<double> registration;
    for (int i = 0; i < runs; ++i) {
        main->Command1_Click();
        main->Frame10->Text11->setText(QStringLiteral("bench-%1-%2").arg(tag).arg(i));
        main->Frame10->Text6->setText(QStringLiteral("Bench"));
        main->Frame10->Text4->setText(QStringLiteral("Subject"));
        main->Frame10->Text5->setText(QStringLiteral("30"));
        main->Frame10->Text7->setText(QStringLiteral("x"));
        for (QComboBox* list :
             {main->Frame10->Combo1, main->Frame10->Combo2, main->Frame10->Combo3})
            list->setCurrentIndex(0);
        QElapsedTimer clock;
        clock.start();
        main->Frame10->Command8_Click();
        registration.append(msSince(clock));
        if (main->Frame10->isVisible())
            qFatal("registration was not stored");
    }
    report(QStringLiteral("registration"), registration);

    const QString code = someone.isEmpty() ? QStringLiteral("bench-%1-0").arg(tag) : someone;

    // Test launch: code typed to the test window shown at "before start";
    // then one answer step (save and next item) at a time.
    QList<double> launch, answerStep;
    for (int i = 0; i < runs; ++i) {
        session.scripted.inputAnswers.enqueue(code);
        launch.append(timeUntilModal(
            [main] { main->Command2_Click(); },
            [&answerStep](QWidget* window) {
                auto* test = qobject_cast<FrmTest*>(window);
                test->Command1_Click();
                for (int item = 1; item <= 13; ++item) {
                    // A different answer each time, so
                    // every step has a change to store.
                    (test->Option2->isChecked() ? test->Option4 : test->Option2)->click();
                    QElapsedTimer clock;
                    clock.start();
                    test->CmdNext_Click();
                    answerStep.append(msSince(clock));
                }
                test->Command2_Click();
            }));
    }
    report(QStringLiteral("launch"), launch);
    report(QStringLiteral("answer"), answerStep);

    // Scoring search: code typed to the seven scores shown.
    QList<double> scoring;
    {
        main->Command3_Click();
        FrmkLID* scoringWindow = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<FrmkLID*>(w); found && found->isVisible())
                scoringWindow = found;
        if (!scoringWindow)
            qFatal("the scoring window did not open");
        for (int i = 0; i < runs; ++i) {
            session.scripted.inputAnswers.enqueue(code);
            QElapsedTimer clock;
            clock.start();
            scoringWindow->Command1_Click();
            scoring.append(msSince(clock));
        }
        scoringWindow->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    report(QStringLiteral("scoring"), scoring);
    measureHistory(session, main, runs, tag);

    measureLookup(main, runs, subjects);

    if (!server.isEmpty())
        return 0;

    // Backup of the subject database through the backup window, plain (a
    // clinic key an earlier run's sealed measurement made stays set).
    QList<double> throughput;
    const double size = double(QFileInfo(Database::absoluteFileName(DbFile::Subjects)).size());
    for (int i = 0; i < runs; ++i) {
        Frmbackup* backup = Frmbackup::showWindow();
        const QString target = QDir(folder).absoluteFilePath(QStringLiteral("Back/bench.mdbB"));
        QFile::remove(target);
        backup->sealBox->setChecked(false);
        backup->Text1->setText(target);
        QElapsedTimer clock;
        clock.start();
        backup->VisualButtonEx2_Click();
        const double seconds = msSince(clock) / 1000.0;
        if (QFileInfo(target).size() != qint64(size))
            qFatal("the backup is not a whole copy: %s",
                   qPrintable(session.scripted.messageTexts().join(" | ")));
        throughput.append(size / (1024.0 * 1024.0) / seconds);
        delete backup;
    }
    report(QStringLiteral("backup-MBps"), throughput);
    out << "db-bytes\t" << qint64(size) << '\n';
    return 0;
}

// The audit window opened over a trail: from the call to the window shown
// with its first rows, as the code lookup is measured.
int childAuditWindow(int argc, char** argv, const QString& folder, int runs) {
    QApplication app(argc, argv);
    ScriptedPlatform scripted;
    setPlatform(&scripted);
    prepareApplication(app);
    QDir::setCurrent(folder);
    QString error;
    if (!Database::openAll(&error))
        qFatal("%s", qPrintable(error));
    QList<double> opening;
    for (int i = 0; i < runs; ++i)
        opening.append(timeUntilModal([] { AuditWindow::showModal(nullptr); },
                                      [](QWidget* window) {
                                          auto* audit = qobject_cast<AuditWindow*>(window);
                                          if (!audit || audit->rows()->rowCount() == 0)
                                              qFatal("the audit window shows no entries");
                                          window->close();
                                      }));
    report(QStringLiteral("audit-window"), opening);
    Database::closeAll();
    return 0;
}

// --verify-audit as the clinic runs it, in a process of its own; its time
// and that process's peak memory (this process starts no other).
int childVerify(const QString& folder, int runs) {
    QList<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QProcess velmora;
        velmora.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        QElapsedTimer clock;
        clock.start();
        velmora.start(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("velmora")),
            {QStringLiteral("--data"), folder, QStringLiteral("--verify-audit")});
        if (!velmora.waitForFinished(10 * 60 * 1000) || velmora.exitCode() != 0)
            qFatal("--verify-audit failed: %s",
                   qPrintable(QString::fromUtf8(velmora.readAllStandardError())));
        seconds.append(msSince(clock) / 1000.0);
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    report(QStringLiteral("verify-s"), seconds);
    out << "verify-peak-MB\t" << double(usage.ru_maxrss) / 1024.0 << '\n';
    return 0;
}

// The least a sealed backup of a subject file can cost: cp to a copy, sync,
// the sqlite3 shell's integrity check of the copy, the stock age -r of it
// and a sync of the sealed file; and the least a sealed restore can cost:
// age -d of the sealed file, sync and the integrity check. Times in seconds,
// -1 when a tool failed.
class StockSealing {
public:
    explicit StockSealing(const QString& file) : m_file(file) {
        const QString stem = QDir::temp().absoluteFilePath(
            QStringLiteral("velmora-bench-age-%1").arg(QCoreApplication::applicationPid()));
        m_copy = stem + QStringLiteral(".mdb");
        m_sealed = stem + QStringLiteral(".mdb.age");
        QProcess keygen;
        keygen.start(QStringLiteral("age-keygen"), {});
        keygen.waitForFinished(30000);
        for (const QByteArray& line : keygen.readAllStandardOutput().split('\n')) {
            if (line.startsWith("AGE-SECRET-KEY-1"))
                m_identity = line.trimmed();
            else if (line.startsWith("# public key: "))
                m_recipient = QString::fromLatin1(line.mid(14).trimmed());
        }
    }
    ~StockSealing() {
        QFile::remove(m_copy);
        QFile::remove(m_sealed);
    }

    double backup() {
        QFile::remove(m_copy);
        QFile::remove(m_sealed);
        QElapsedTimer clock;
        clock.start();
        const bool ok = run(QStringLiteral("cp"), {m_file, m_copy}) &&
                        run(QStringLiteral("sync"), {m_copy}) && check(m_copy) &&
                        run(QStringLiteral("age"), {QStringLiteral("-r"), m_recipient,
                                                    QStringLiteral("-o"), m_sealed, m_copy}) &&
                        run(QStringLiteral("sync"), {m_sealed});
        return ok ? msSince(clock) / 1000.0 : -1;
    }

    double restore() {
        QFile::remove(m_copy);
        QElapsedTimer clock;
        clock.start();
        const bool ok = run(QStringLiteral("age"),
                            {QStringLiteral("-d"), QStringLiteral("-i"), QStringLiteral("-"),
                             QStringLiteral("-o"), m_copy, m_sealed},
                            m_identity + '\n') &&
                        run(QStringLiteral("sync"), {m_copy}) && check(m_copy);
        return ok ? msSince(clock) / 1000.0 : -1;
    }

private:
    static bool run(const QString& program, const QStringList& arguments,
                    const QByteArray& input = QByteArray()) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, arguments);
        p.write(input);
        p.closeWriteChannel();
        return p.waitForFinished(30 * 60 * 1000) && p.exitCode() == 0;
    }
    static bool check(const QString& path) {
        return run(QStringLiteral("sqlite3"),
                   {QStringLiteral("-readonly"), path, QStringLiteral("PRAGMA integrity_check")});
    }

    QString m_file, m_copy, m_sealed, m_recipient;
    QByteArray m_identity;
};

// A sealed backup and a sealed restore through the backup window's own
// handlers, with a clinic key made for the run (the recovery key is typed at
// the restore: a passphrase would add a fixed second of scrypt), each run
// right after its stock reference, so that both see the machine alike.
int childSealed(int argc, char** argv, const QString& folder, int runs) {
    QApplication app(argc, argv);
    Session session;
    session.app = &app;
    session.start(folder);
    ClinicKey::Made key;
    QString why;
    if (!ClinicKey::create(Secret(QByteArray("benchmark passphrase")), &key, &why))
        qFatal("no clinic key: %s", qPrintable(why));
    // The replaced keys of earlier runs are of no use here.
    QDir dbm(QDir(folder).filePath(QStringLiteral("DBM")));
    for (const QString& name : dbm.entryList({QStringLiteral("clinic-key-*.age")}, QDir::Files))
        dbm.remove(name);
    const QString database = Database::absoluteFileName(DbFile::Subjects);
    const double size = double(QFileInfo(database).size());
    const double megabytes = size / (1024.0 * 1024.0);
    const QString sealed = QDir(folder).absoluteFilePath(QStringLiteral("Back/bench.mdbB.age"));
    StockSealing stock(database);
    QList<double> backup, restore, backupReference, restoreReference;
    for (int i = 0; i < runs; ++i) {
        const double referenceBackup = stock.backup();
        Frmbackup* window = Frmbackup::showWindow();
        QFile::remove(sealed);
        if (!window->sealBox->isChecked())
            qFatal("the backup window does not offer a sealed backup");
        window->Text1->setText(sealed);
        session.scripted.clear();
        QElapsedTimer clock;
        clock.start();
        window->VisualButtonEx2_Click();
        const double backupSeconds = msSince(clock) / 1000.0;
        if (!session.scripted.messageTexts().contains(QStringLiteral("نسخه پشتيبان تهيه گرديد")))
            qFatal("the sealed backup failed: %s",
                   qPrintable(session.scripted.messageTexts().join(" | ")));
        delete window;

        const double referenceRestore = stock.restore();
        window = Frmbackup::showWindow();
        window->Text2->setText(sealed);
        session.scripted.clear();
        session.scripted.messageAnswers.enqueue(QMessageBox::Yes);
        session.scripted.secretAnswers.enqueue(QString::fromLatin1(key.recoveryKey.bytes()));
        clock.start();
        window->VisualButtonEx3_Click();
        const double restoreSeconds = msSince(clock) / 1000.0;
        const QStringList texts = session.scripted.messageTexts();
        if (texts.isEmpty() || !texts.last().startsWith(QStringLiteral("بازيابي اطلاعات انجام شد")))
            qFatal("the sealed restore failed: %s", qPrintable(texts.join(" | ")));
        delete window;
        // Each restore keeps the subjects before it in Back.
        QDir back(QDir(folder).filePath(QStringLiteral("Back")));
        for (const QString& name : back.entryList(QDir::Files))
            if (name.startsWith(QStringLiteral("پيش از بازيابي")))
                back.remove(name);
        if (referenceBackup < 0 || referenceRestore < 0)
            qFatal("the stock tools (cp, sync, sqlite3, age) failed");
        backup.append(megabytes / backupSeconds);
        restore.append(megabytes / restoreSeconds);
        backupReference.append(megabytes / referenceBackup);
        restoreReference.append(megabytes / referenceRestore);
    }
    QFile::remove(sealed);
    report(QStringLiteral("sealed-backup-MBps"), backup);
    report(QStringLiteral("sealed-restore-MBps"), restore);
    report(QStringLiteral("stock-backup-MBps"), backupReference);
    report(QStringLiteral("stock-restore-MBps"), restoreReference);
    out << "db-bytes\t" << qint64(size) << '\n';
    return 0;
}

// Puts the subject file of folder on the server, into database (made empty
// by the parent), as a clinic moves its file there: a restore.
int childImport(int argc, char** argv, const QString& folder, const QString& database) {
    QCoreApplication app(argc, argv);
    QDir::setCurrent(folder);
    StoreUrl url;
    url.database = database;
    SubjectStore::install(SubjectStore::server(url));
    QString error;
    // The store takes the file it restores from: it gets a copy.
    const QString copy = QDir(folder).absoluteFilePath(QStringLiteral("Back/.import.part"));
    QFile::remove(copy);
    if (!Database::openAll(&error) ||
        !QFile::copy(QDir(folder).absoluteFilePath(QStringLiteral("DBM/DB2.mdb")), copy) ||
        !SubjectStore::current().replaceWith(copy, {}, &error))
        qFatal("the subjects did not reach the server: %s", qPrintable(error));
    Database::closeAll();
    return 0;
}

// --------------------------------------------------------------- parent --

struct Measured {
    QMap<QString, double> medians;
};

QProcessEnvironment childEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QMap<QString, QList<double>> runChild(const QStringList& arguments,
                                      const QProcessEnvironment& environment = childEnvironment()) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(30 * 60 * 1000) || child.exitCode() != 0)
        qFatal("benchmark step failed: %s", qPrintable(arguments.join(' ')));
    QMap<QString, QList<double>> values;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() != 2)
            continue;
        for (const QByteArray& v : parts.at(1).split(' '))
            if (!v.isEmpty())
                values[QString::fromUtf8(parts.at(0))].append(v.toDouble());
    }
    return values;
}

// Process start to the main window shown, and the whole process, in ms.
QPair<double, double> startupOnce(const QString& folder) {
    QProcess child;
    child.setProcessEnvironment(childEnvironment());
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("child-startup"), folder});
    double shown = -1;
    while (child.state() != QProcess::NotRunning || child.bytesAvailable()) {
        if (child.canReadLine() || child.waitForReadyRead(5000)) {
            if (child.readLine().startsWith("shown") && shown < 0)
                shown = msSince(clock);
        } else if (child.state() == QProcess::NotRunning) {
            break;
        }
    }
    child.waitForFinished();
    return {shown, msSince(clock)};
}

// What the machine's own tools do with the same file, the backup's references.
enum class Copy {
    Plain,   // cp
    Synced,  // cp, then sync of the copy, as a backup that survives a power cut
    Checked, // and the sqlite3 shell's integrity check of the copy, as a backup
             // that can be trusted to restore
};

// Throughput of such a copy of file, in MB/s; -1 without a sqlite3 shell.
double copyThroughput(const QString& file, int runs, Copy copy) {
    QList<double> values;
    const QString target = QDir::temp().absoluteFilePath(
        QStringLiteral("velmora-bench-cp-%1").arg(QCoreApplication::applicationPid()));
    const double size = double(QFileInfo(file).size());
    for (int i = 0; i < runs; ++i) {
        QFile::remove(target);
        QElapsedTimer clock;
        clock.start();
        QProcess::execute(QStringLiteral("cp"), {file, target});
        if (copy != Copy::Plain)
            QProcess::execute(QStringLiteral("sync"), {target});
        if (copy == Copy::Checked) {
            QProcess check;
            check.setStandardOutputFile(QProcess::nullDevice());
            check.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), target,
                                                    QStringLiteral("PRAGMA integrity_check")});
            if (!check.waitForFinished(30 * 60 * 1000) || check.exitCode() != 0) {
                QFile::remove(target);
                return -1;
            }
        }
        values.append(size / (1024.0 * 1024.0) / (msSince(clock) / 1000.0));
    }
    QFile::remove(target);
    return median(values);
}

// Rows per second of the sqlite3 shell writing the same rows (the subjects
// joined with their administrations, in key order) as CSV into a file.
double sqliteCsvRate(const QString& database, qint64 rows, int runs) {
    QStringList columns;
    for (const char* field :
         {"Code", "FName", "LName", "Jens", "Sen", "Taahol", "Tahsil", "Group", "Date", "Time"})
        columns.append(QStringLiteral("i.\"%1\"").arg(QString::fromLatin1(field)));
    columns += {QStringLiteral("h.\"Date\""), QStringLiteral("h.\"Time\"")};
    for (int item = 1; item <= 14; ++item)
        columns.append(QStringLiteral("h.\"%1\"").arg(item));
    const QString query = QStringLiteral("SELECT %1 FROM \"IDE\" AS i LEFT JOIN \"History\" AS h "
                                         "ON h.\"Code\" = i.\"Code\" ORDER BY i.\"ID\", h.\"ID\";")
                              .arg(columns.join(", "));
    const QString target = QDir::temp().absoluteFilePath(
        QStringLiteral("velmora-bench-sqlite-%1.csv").arg(QCoreApplication::applicationPid()));
    QList<double> values;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(target);
        QProcess shell;
        shell.setStandardOutputFile(target);
        QElapsedTimer clock;
        clock.start();
        shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), QStringLiteral("-header"),
                                                QStringLiteral("-readonly"), database, query});
        if (!shell.waitForFinished(30 * 60 * 1000) || shell.exitCode() != 0)
            return -1; // no sqlite3 shell on this machine
        values.append(double(rows) / (msSince(clock) / 1000.0));
    }
    QFile::remove(target);
    return median(values);
}

// The export alone, and its reference, for a folder.
void measureExport(const QString& folder, int runs, QMap<QString, double>* row) {
    const auto exported = runChild({QStringLiteral("child-export"), folder, QString::number(runs)});
    for (auto it = exported.cbegin(); it != exported.cend(); ++it)
        (*row)[it.key()] = median(it.value());
    (*row)[QStringLiteral("sqlite-rows-per-s")] =
        sqliteCsvRate(QDir(folder).absoluteFilePath("DBM/DB2.mdb"),
                      qint64(row->value(QStringLiteral("export-rows"))), runs);
    for (const QString& suffix : {QStringLiteral("sav"), QStringLiteral("dta")}) {
        const auto research =
            runChild({QStringLiteral("child-research"), folder, QString::number(runs), suffix});
        for (auto it = research.cbegin(); it != research.cend(); ++it)
            (*row)[it.key()] = median(it.value());
    }
}

// A new, empty database on the server the libpq variables name. The test
// server spares itself the disk (fsync off); a clinic's server writes every
// commit through to it, and so does the server while it is measured.
void makeServerDatabase(const QString& database) {
    const QString name = QStringLiteral("velmora-bench-admin");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(PgTestServer::adminUser());
        if (!db.open())
            qFatal("no PostgreSQL server: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("ALTER SYSTEM SET fsync = on")) ||
            !q.exec(QStringLiteral("ALTER SYSTEM SET synchronous_commit = on")) ||
            !q.exec(QStringLiteral("SELECT pg_reload_conf()")) ||
            !q.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(database)) ||
            !q.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 OWNER %2")
                        .arg(database, qEnvironmentVariable("PGUSER"))))
            qFatal("%s", qPrintable(q.lastError().text()));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QString machine() {
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
    return QStringLiteral("%1, %2 cores, %3")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(QSysInfo::prettyProductName());
}

void measureSealed(const QString& dataDir, const QList<int>& sealedSizes, int runs) {
    // Sealed backups: the window's sealed backup (a checked plain copy in the
    // data folder, sealed with age, opened again and compared) and sealed
    // restore (opened into the data folder, then the restore's copy, check
    // and safety copy), against what the stock tools need at least.
    for (int n : sealedSizes) {
        const QString folder = prepareFolder(dataDir, n);
        const auto measured =
            runChild({QStringLiteral("child-sealed"), folder, QString::number(runs)});
        const auto line = [&](const char* what, const QString& ours, const QString& stock,
                              const char* reference) {
            const double rate = median(measured.value(ours));
            const double referenceRate = median(measured.value(stock));
            out << what << " at " << n << " subjects: " << QString::number(rate, 'f', 1)
                << " MB/s against " << reference << ' ' << QString::number(referenceRate, 'f', 1)
                << " MB/s (" << QString::number(rate / std::max(1e-9, referenceRate), 'f', 2)
                << "; goal >= 0.8)\n";
        };
        out << "subject file at " << n << " subjects: "
            << QString::number(
                   measured.value(QStringLiteral("db-bytes")).value(0) / (1024.0 * 1024.0), 'f', 1)
            << " MB\n";
        line("sealed backup", QStringLiteral("sealed-backup-MBps"),
             QStringLiteral("stock-backup-MBps"), "cp, sync, integrity_check, age -r and sync");
        line("sealed restore", QStringLiteral("sealed-restore-MBps"),
             QStringLiteral("stock-restore-MBps"), "age -d, sync and integrity_check");
        out.flush();
    }
}

int runAll(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 7;
    QList<int> sizes = {0, 1000, 100000};
    QList<int> exportSizes;
    // The audit trail's own measurements: its check and its window.
    QList<int> trailSizes = {100000, 1000000};
    QList<int> lookupSizes;
    QList<int> sealedSizes;
    bool sealedSizesGiven = false;
    bool sealedOnly = false;
    bool server = false;
    QString dataDir = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("bench-data");
    const QStringList args = app.arguments();
    for (int i = 2; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--data") && i + 1 < args.size())
            dataDir = args.at(++i);
        else if (args.at(i) == QLatin1String("--sizes") && i + 1 < args.size()) {
            sizes.clear();
            for (const QString& s : args.at(++i).split(','))
                sizes.append(s.toInt());
        } else if (args.at(i) == QLatin1String("--server")) {
            server = true;
        } else if (args.at(i) == QLatin1String("--export-sizes") && i + 1 < args.size()) {
            for (const QString& s : args.at(++i).split(','))
                exportSizes.append(s.toInt());
        } else if (args.at(i) == QLatin1String("--trail-sizes") && i + 1 < args.size()) {
            trailSizes.clear();
            for (const QString& s : args.at(++i).split(','))
                trailSizes.append(s.toInt());
        } else if (args.at(i) == QLatin1String("--lookup-sizes") && i + 1 < args.size()) {
            for (const QString& s : args.at(++i).split(','))
                lookupSizes.append(s.toInt());
        } else if (args.at(i) == QLatin1String("--sealed-only")) {
            sealedOnly = true;
        } else if (args.at(i) == QLatin1String("--sealed-sizes") && i + 1 < args.size()) {
            sealedSizesGiven = true;
            for (const QString& s : args.at(++i).split(',', Qt::SkipEmptyParts))
                sealedSizes.append(s.toInt());
        }
    }
    // The sealed backup and restore at the largest size unless told otherwise.
    if (!sealedSizesGiven)
        sealedSizes = {sizes.last()};
    QDir().mkpath(dataDir);
    out << "Velmora benchmark — medians of " << runs << " runs\n";
    out << "machine: " << machine() << "\n\n";
    out.flush();

    if (sealedOnly) {
        measureSealed(dataDir, sealedSizes, runs);
        return 0;
    }
    QMap<int, QMap<QString, double>> table;
    // The steps at the largest size once more, with the subject tables on a
    // PostgreSQL server (a local one: what the network adds is the clinic's).
    QMap<QString, double> onServer;
    // And once more with the server 1 ms away each way, with the round trips
    // each step makes.
    QMap<QString, double> farServer;
    QList<StepRoundTrips> trips;
    for (int n : sizes) {
        QElapsedTimer making;
        making.start();
        const QString folder = prepareFolder(dataDir, n);
        QList<double> shown, whole;
        for (int i = 0; i < runs; ++i) {
            const auto [s, w] = startupOnce(folder);
            shown.append(s);
            whole.append(w);
        }
        QMap<QString, double>& row = table[n];
        row[QStringLiteral("startup")] = median(shown);
        row[QStringLiteral("process")] = median(whole);
        const auto steps = runChild(
            {QStringLiteral("child-steps"), folder, QString::number(runs), QString::number(n)});
        for (auto it = steps.cbegin(); it != steps.cend(); ++it)
            row[it.key()] = median(it.value());
        const auto memory = runChild({QStringLiteral("child-memory"), folder});
        row[QStringLiteral("memory")] = memory.value(QStringLiteral("memory")).value(0) / 1024.0;
        measureExport(folder, runs, &row);
        const QString database = QDir(folder).absoluteFilePath("DBM/DB2.mdb");
        row[QStringLiteral("cp-MBps")] = copyThroughput(database, runs, Copy::Plain);
        row[QStringLiteral("cp-sync-MBps")] = copyThroughput(database, runs, Copy::Synced);
        row[QStringLiteral("cp-check-MBps")] = copyThroughput(database, runs, Copy::Checked);
        out << "measured " << n << " subjects\n";
        out.flush();
        if (server && n == sizes.last()) {
            const QString database = QStringLiteral("velmora_bench_%1").arg(n);
            makeServerDatabase(database);
            runChild({QStringLiteral("child-import"), folder, database});
            const auto serverSteps =
                runChild({QStringLiteral("child-steps"), folder, QString::number(runs),
                          QString::number(n), database});
            for (auto it = serverSteps.cbegin(); it != serverSteps.cend(); ++it)
                onServer[it.key()] = median(it.value());
            out << "measured " << n << " subjects on the server\n";
            out.flush();
            QString error;
            const auto far = stepsAtDistance(
                std::chrono::milliseconds(1),
                [&](const QProcessEnvironment& env) {
                    return runChild({QStringLiteral("child-steps"), folder, QString::number(runs),
                                     QString::number(n), database},
                                    env);
                },
                &error);
            for (auto it = far.cbegin(); it != far.cend(); ++it)
                farServer[it.key()] = median(it.value());
            trips = countRoundTrips(database, 3, &error);
            if (!error.isEmpty())
                out << error << '\n';
        }
    }

    struct Line {
        const char* key;
        const char* label;
        const char* unit;
        const char* goal;
    };
    const Line lines[] = {
        {"startup", "start-up: process start to main window shown", "ms", "<= 1.2 x (0), < 400"},
        {"process", "start-up: whole process (start, show, exit)", "ms", ""},
        {"registration", "registration: Command8 until both rows stored", "ms", "< 20"},
        {"launch", "test launch: code typed to test window shown", "ms", "< 50"},
        {"answer", "one answer step: CmdNext (save, next item)", "ms", "< 10"},
        {"scoring", "scoring search: code typed to seven scores", "ms", "< 30"},
        {"history-2", "history, 2 administrations: window shown", "ms", "< 100"},
        {"history-500", "history, 500 administrations: window shown", "ms", "~ as with 2"},
        {"history-chart-2", "history, 2 administrations: chart drawn too", "ms", "< 100"},
        {"history-chart-500", "history, 500 administrations: chart drawn too", "ms", "< 100"},
        {"lookup-open", "code lookup: Command4 to grid shown", "ms", "< 100"},
        {"lookup-search", "code lookup: one search by group", "ms", "< 50"},
        {"lookup-name", "code lookup: one name search by its beginning", "ms", "< 50"},
        {"backup-MBps", "backup of DB2.mdb, copy checked (throughput)", "MB/s",
         ">= 0.7 x cp+sync+check"},
        {"cp-MBps", "cp of the same file (reference)", "MB/s", ""},
        {"cp-sync-MBps", "cp, then sync of the copy (reference)", "MB/s", ""},
        {"cp-check-MBps", "cp, sync, sqlite3 integrity_check (reference)", "MB/s", ""},
        {"memory", "peak resident memory, lookup grid open", "MB", "< 150"},
        {"export-rows-per-s", "CSV export of every subject (rows per second)", "row/s",
         ">= 0.3 x sqlite3"},
        {"sqlite-rows-per-s", "sqlite3 -csv of the same rows (reference)", "row/s", ""},
        {"export-peak-MB", "peak resident memory, CSV export", "MB", "< 150, flat"},
        {"research-sav-rows-per-s", "research export to .sav (rows per second)", "row/s",
         ">= 0.5 x ReadStat loop"},
        {"research-sav-loop-rows-per-s", "ReadStat loop writing those rows (reference)", "row/s",
         ""},
        {"research-sav-read-loop-rows-per-s", "ReadStat loop reading them from DB2.mdb (ref.)",
         "row/s", ""},
        {"research-sav-tool-rows-per-s", "readstat tool converting them from CSV (reference)",
         "row/s", ""},
        {"research-dta-rows-per-s", "research export to .dta (rows per second)", "row/s",
         ">= 0.5 x ReadStat loop"},
        {"research-dta-loop-rows-per-s", "ReadStat loop writing those rows (reference)", "row/s",
         ""},
        {"research-dta-read-loop-rows-per-s", "ReadStat loop reading them from DB2.mdb (ref.)",
         "row/s", ""},
        {"research-dta-tool-rows-per-s", "readstat tool converting them from CSV (reference)",
         "row/s", ""},
        {"research-sav-peak-MB", "peak resident memory, research export .sav", "MB", "< 150, flat"},
        {"research-dta-peak-MB", "peak resident memory, research export .dta", "MB", "< 150, flat"},
    };
    out << '\n' << QStringLiteral("%1").arg("step", -48);
    for (int n : sizes)
        out << QStringLiteral("%1").arg(QStringLiteral("%1 subj.").arg(n), 13);
    if (server)
        out << QStringLiteral("%1").arg(QStringLiteral("%1 PG").arg(sizes.last()), 13)
            << QStringLiteral("%1").arg(QStringLiteral("PG +1ms"), 13)
            << QStringLiteral("%1").arg(QStringLiteral("trips"), 7);
    out << "  unit  goal at 100,000\n";
    for (const Line& line : lines) {
        out << QStringLiteral("%1").arg(QString::fromUtf8(line.label), -48);
        for (int n : sizes)
            out << QStringLiteral("%1").arg(table[n].value(QLatin1String(line.key), -1), 13, 'f',
                                            2);
        if (server) {
            for (const QMap<QString, double>* column : {&onServer, &farServer})
                out << (column->contains(QLatin1String(line.key))
                            ? QStringLiteral("%1").arg(column->value(QLatin1String(line.key)), 13,
                                                       'f', 2)
                            : QStringLiteral("%1").arg(QString(), 13));
            qint64 count = -1;
            for (const StepRoundTrips& step : trips)
                if (benchStepKey(step.step) == QLatin1String(line.key))
                    count = step.median();
            out << QStringLiteral("%1").arg(count < 0 ? QString() : QString::number(count), 7);
        }
        out << "  " << QStringLiteral("%1").arg(QLatin1String(line.unit), -5) << ' ' << line.goal
            << '\n';
    }
    const int largest = sizes.last();
    const double ratio =
        table[largest].value("backup-MBps") / std::max(1e-9, table[largest].value("cp-MBps"));
    const double flushedRatio =
        table[largest].value("backup-MBps") / std::max(1e-9, table[largest].value("cp-sync-MBps"));
    const double checkedRatio =
        table[largest].value("backup-MBps") / std::max(1e-9, table[largest].value("cp-check-MBps"));
    out << "\nbackup / cp throughput at " << largest
        << " subjects: " << QString::number(ratio, 'f', 2)
        << " (against cp with sync: " << QString::number(flushedRatio, 'f', 2)
        << "; against cp, sync and integrity check: " << QString::number(checkedRatio, 'f', 2)
        << ")\n";
    if (sizes.first() == 0)
        out << "start-up at " << largest << " / start-up at 0: "
            << QString::number(table[largest].value("startup") /
                                   std::max(1e-9, table[0].value("startup")),
                               'f', 2)
            << '\n';
    out << "database file at " << largest << " subjects: "
        << QString::number(table[largest].value("db-bytes") / (1024.0 * 1024.0), 'f', 1) << " MB\n";
    const auto exportLine = [](int n, const QMap<QString, double>& row) {
        const double rate = row.value("export-rows-per-s");
        const double reference = row.value("sqlite-rows-per-s");
        out << "CSV export at " << n << " subjects: " << qint64(row.value("export-rows"))
            << " rows, " << QString::number(row.value("export-bytes") / (1024.0 * 1024.0), 'f', 1)
            << " MB file, " << QString::number(rate, 'f', 0) << " rows/s against sqlite3 "
            << QString::number(reference, 'f', 0) << " rows/s ("
            << QString::number(rate / std::max(1e-9, reference), 'f', 2) << "), peak memory "
            << QString::number(row.value("export-peak-MB"), 'f', 1) << " MB (before the export "
            << QString::number(row.value("export-base-MB"), 'f', 1) << " MB)\n";
    };
    const auto researchLine = [](int n, const QMap<QString, double>& row) {
        for (const char* suffix : {"sav", "dta"}) {
            const QString key = QStringLiteral("research-") + QLatin1String(suffix);
            const double rate = row.value(key + "-rows-per-s");
            const double loop = row.value(key + "-loop-rows-per-s");
            out << "research export to ." << suffix << " at " << n
                << " subjects: " << qint64(row.value(key + "-rows")) << " rows, "
                << QString::number(row.value(key + "-bytes") / (1024.0 * 1024.0), 'f', 1)
                << " MB file, " << QString::number(rate, 'f', 0) << " rows/s against the ReadStat "
                << "loop's " << QString::number(loop, 'f', 0) << " rows/s ("
                << QString::number(rate / std::max(1e-9, loop), 'f', 2) << "; by processor time "
                << QString::number(row.value(key + "-cpu-rows-per-s"), 'f', 0) << " against "
                << QString::number(row.value(key + "-loop-cpu-rows-per-s"), 'f', 0) << ", "
                << QString::number(row.value(key + "-cpu-rows-per-s") /
                                       std::max(1e-9, row.value(key + "-loop-cpu-rows-per-s")),
                                   'f', 2)
                << "); against the loop reading them from the file "
                << QString::number(row.value(key + "-read-loop-rows-per-s"), 'f', 0) << " rows/s ("
                << QString::number(rate / std::max(1e-9, row.value(key + "-read-loop-rows-per-s")),
                                   'f', 2)
                << "; by processor time "
                << QString::number(row.value(key + "-cpu-rows-per-s") /
                                       std::max(1e-9, row.value(key + "-read-loop-cpu-rows-per-s")),
                                   'f', 2)
                << "); readstat converting them from CSV "
                << QString::number(row.value(key + "-tool-rows-per-s"), 'f', 0) << " rows/s ("
                << QString::number(rate / std::max(1e-9, row.value(key + "-tool-rows-per-s")), 'f',
                                   2)
                << "; by processor time "
                << QString::number(row.value(key + "-cpu-rows-per-s") /
                                       std::max(1e-9, row.value(key + "-tool-cpu-rows-per-s")),
                                   'f', 2)
                << "), peak memory " << QString::number(row.value(key + "-peak-MB"), 'f', 1)
                << " MB (before the export " << QString::number(row.value(key + "-base-MB"), 'f', 1)
                << " MB)\n";
        }
    };
    exportLine(largest, table[largest]);
    researchLine(largest, table[largest]);
    if (server)
        printRoundTrips(out, trips, largest, 1.0);
    // The audit trail: --verify-audit over the whole chain (goal under 5 s
    // at a million entries, memory flat) and the audit window's opening
    // (goal under 100 ms, as the code lookup).
    for (int n : trailSizes) {
        const QString folder = prepareTrail(dataDir, n);
        const auto verify = runChild({QStringLiteral("child-verify"), folder,
                                      QString::number(std::max(1, std::min(runs, 3)))});
        const auto window =
            runChild({QStringLiteral("child-audit-window"), folder, QString::number(runs)});
        out << "audit trail of " << n << " entries: --verify-audit "
            << QString::number(median(verify.value(QStringLiteral("verify-s"))), 'f', 2)
            << " s, peak memory "
            << QString::number(verify.value(QStringLiteral("verify-peak-MB")).value(0), 'f', 1)
            << " MB; audit window shown in "
            << QString::number(median(window.value(QStringLiteral("audit-window"))), 'f', 2)
            << " ms\n";
        out.flush();
    }
    for (int n : exportSizes) {
        QMap<QString, double> row;
        measureExport(prepareFolder(dataDir, n), runs, &row);
        exportLine(n, row);
        researchLine(n, row);
        out.flush();
    }
    for (int n : lookupSizes) {
        const auto steps = runChild({QStringLiteral("child-lookup"), prepareFolder(dataDir, n),
                                     QString::number(runs), QString::number(n)});
        out << "code lookup at " << n << " subjects: grid shown "
            << QString::number(median(steps.value("lookup-open")), 'f', 2)
            << " ms, one search by group "
            << QString::number(median(steps.value("lookup-search")), 'f', 2)
            << " ms, one name search by its beginning "
            << QString::number(median(steps.value("lookup-name")), 'f', 2) << " ms\n";
        out.flush();
    }
    measureSealed(dataDir, sealedSizes, runs);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == QLatin1String("run"))
        return runAll(argc, argv);
    if (command == QLatin1String("load"))
        return loadCommand(argc, argv);
    if (command == QLatin1String("load-check"))
        return loadCheckCommand(argc, argv);
    if (command == QLatin1String("child-load"))
        return loadWorkstation(argc, argv);
    if (command == QLatin1String("child-count"))
        return countChild(argc, argv);
    if (command == QLatin1String("child-startup") && argc > 2)
        return childStartup(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (command == QLatin1String("child-memory") && argc > 2)
        return childMemory(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (command == QLatin1String("child-export") && argc > 3)
        return childExport(argc, argv, QString::fromLocal8Bit(argv[2]),
                           QString::fromLocal8Bit(argv[3]).toInt());
    if (command == QLatin1String("child-research") && argc > 4)
        return childResearch(argc, argv, QString::fromLocal8Bit(argv[2]),
                             QString::fromLocal8Bit(argv[3]).toInt(),
                             QString::fromLocal8Bit(argv[4]));
    if (command == QLatin1String("child-steps") && argc > 4)
        return childSteps(argc, argv, QString::fromLocal8Bit(argv[2]),
                          QString::fromLocal8Bit(argv[3]).toInt(),
                          QString::fromLocal8Bit(argv[4]).toInt(),
                          argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString());
    if (command == QLatin1String("child-audit-window") && argc > 3)
        return childAuditWindow(argc, argv, QString::fromLocal8Bit(argv[2]),
                                QString::fromLocal8Bit(argv[3]).toInt());
    if (command == QLatin1String("child-verify") && argc > 3) {
        QCoreApplication app(argc, argv);
        return childVerify(QString::fromLocal8Bit(argv[2]),
                           QString::fromLocal8Bit(argv[3]).toInt());
    }
    if (command == QLatin1String("child-lookup") && argc > 4)
        return childLookup(argc, argv, QString::fromLocal8Bit(argv[2]),
                           QString::fromLocal8Bit(argv[3]).toInt(),
                           QString::fromLocal8Bit(argv[4]).toInt());
    if (command == QLatin1String("child-sealed") && argc > 3)
        return childSealed(argc, argv, QString::fromLocal8Bit(argv[2]),
                           QString::fromLocal8Bit(argv[3]).toInt());
    if (command == QLatin1String("child-import") && argc > 3)
        return childImport(argc, argv, QString::fromLocal8Bit(argv[2]),
                           QString::fromLocal8Bit(argv[3]));
    std::fputs("usage: velmora_bench run [--runs N] [--sizes 0,1000,100000] "
               "[--export-sizes 1000000] [--trail-sizes 100000,1000000] "
               "[--lookup-sizes 1000000] [--sealed-sizes 100000,1000000] [--sealed-only] "
               "[--data FOLDER] [--server]\n"
               "       velmora_bench load --workstations N --subjects M [--collide] [--durable] "
               "[--latency-ms MS] [--database NAME] [--journal FILE] [--keep]\n"
               "       velmora_bench load-check --database NAME --journal FILE\n",
               stderr);
    return 2;
}
