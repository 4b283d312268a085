#include "StoreCheck.h"

#include "data/CodeKeys.h"
#include "questionnaire/FrmTest.h"
#include "questionnaire/TestLaunch.h"
#include "registry/Registration.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>

using namespace velmora;

// ---------------------------------------------------------------- journal --

QString LoadJournal::planLine(const LoadPlan& plan) {
    return QStringLiteral("plan\t%1\t%2\t%3")
        .arg(plan.workstations)
        .arg(plan.subjects)
        .arg(plan.collide ? 1 : 0);
}

void LoadJournal::take(int workstation, const QString& line) {
    if (workstation < 0 || workstation >= workstations.size())
        return;
    Workstation& desk = workstations[workstation];
    const QStringList f = line.split(u'\t');
    const QString& kind = f.at(0);
    if (kind == QLatin1String("done")) {
        desk.done = true;
        return;
    }
    if (kind == QLatin1String("exit")) {
        desk.exitStatus = f.value(1).toInt();
        return;
    }
    if (kind == QLatin1String("failed")) {
        desk.failure = f.mid(1).join(u'\t');
        return;
    }
    if (f.size() < 2)
        return;
    Subject& subject = desk.subjects[f.at(1).toInt()];
    if (kind == QLatin1String("typed"))
        subject.typed = f.mid(2);
    else if (kind == QLatin1String("registered"))
        subject.registered = f.value(2);
    else if (kind == QLatin1String("saved"))
        subject.saved = f.value(2).toInt();
    else if (kind == QLatin1String("scores")) {
        subject.scored = true;
        subject.scores = f.mid(2);
        subject.scores.removeAll(QString());
    } else if (kind == QLatin1String("said"))
        subject.said.append(f.mid(2).join(u'\t'));
}

bool LoadJournal::read(const QString& file, QString* error) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: %2").arg(file, f.errorString());
        return false;
    }
    QTextStream in(&f);
    const QStringList head = in.readLine().split(u'\t');
    if (head.size() != 4 || head.at(0) != QLatin1String("plan")) {
        *error = QStringLiteral("%1 is not the journal of a load run").arg(file);
        return false;
    }
    plan.workstations = head.at(1).toInt();
    plan.subjects = head.at(2).toInt();
    plan.collide = head.at(3) == QLatin1String("1");
    workstations = QList<Workstation>(plan.workstations);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const qsizetype tab = line.indexOf(u'\t');
        if (tab > 0)
            take(line.left(tab).toInt(), line.mid(tab + 1));
    }
    return true;
}

// ------------------------------------------------------------------ check --

namespace {

using Row = QStringList;

// Every row of a query, values as text, or a fault.
bool readRows(QSqlDatabase& db, const QString& sql, QList<Row>* rows, QList<StoreFault>* faults) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        faults->append({QStringLiteral("store unreadable"),
                        QStringLiteral("%1: %2").arg(sql, q.lastError().text())});
        return false;
    }
    while (q.next()) {
        Row row;
        for (int i = 0; i < q.record().count(); ++i)
            row.append(q.value(i).toString());
        rows->append(row);
    }
    return true;
}

QString items() {
    QStringList columns;
    for (int item = 1; item <= 14; ++item)
        columns.append(QStringLiteral("\"%1\"").arg(item));
    return columns.join(QStringLiteral(", "));
}

QStringList asTexts(const QList<int>& values) {
    QStringList texts;
    for (int v : values)
        texts.append(QString::number(v));
    return texts;
}

// Where two lists of items first differ, for a message.
QString firstDifference(const QStringList& stored, const QStringList& typed) {
    for (int i = 0; i < typed.size(); ++i)
        if (stored.value(i) != typed.at(i))
            return QStringLiteral("item %1 is '%2', answered '%3'")
                .arg(i + 1)
                .arg(stored.value(i), typed.at(i));
    return QStringLiteral("(same)");
}

class Checker {
public:
    Checker(const LoadJournal& journal, StoreCheckResult* result)
        : m_journal(journal), m_plan(journal.plan), m_result(result) {}

    bool load(QSqlDatabase& db) {
        QList<Row> rows;
        if (!readRows(db,
                      QStringLiteral("SELECT \"ID\", \"Code\", \"FName\", \"LName\", \"Jens\", "
                                     "\"Sen\", \"Taahol\", \"Tahsil\", \"Group\", \"Date\", "
                                     "\"Time\" FROM \"IDE\" ORDER BY \"ID\""),
                      &m_ide, &m_result->faults) ||
            !readRows(db,
                      QStringLiteral("SELECT \"ID\", \"Code\", \"Group\", %1 FROM \"Answer\" "
                                     "ORDER BY \"ID\"")
                          .arg(items()),
                      &m_answers, &m_result->faults) ||
            !readRows(db,
                      QStringLiteral("SELECT \"ID\", \"Code\", \"Date\", \"Time\", %1 FROM "
                                     "\"History\" ORDER BY \"ID\"")
                          .arg(items()),
                      &m_history, &m_result->faults) ||
            !readRows(db, QStringLiteral("SELECT \"ID\", \"Key\" FROM \"CodeKey\" ORDER BY \"ID\""),
                      &m_keys, &m_result->faults))
            return false;
        for (const Row& r : m_ide)
            m_ideByCode[r.at(1)].append(r);
        for (const Row& r : m_answers)
            m_answersByCode[r.at(1)].append(r);
        for (const Row& r : m_history)
            m_historyByCode[r.at(1)].append(r);
        m_result->subjects = m_ide.size();
        m_result->sheets = m_answers.size();
        m_result->administrations = m_history.size();
        m_result->keys = m_keys.size();
        return true;
    }

    void run() {
        for (int owner = 0; owner < m_plan.owners(); ++owner)
            for (int subject = 1; subject <= m_plan.subjects; ++subject)
                checkSubject(owner, subject);
        checkNothingElse();
        checkKeys();
        checkWorkstations();
    }

private:
    void fault(const QString& kind, const QString& text) { m_result->faults.append({kind, text}); }

    void checkSubject(int owner, int subject) {
        const QString code = LoadPlan::code(owner, subject);
        m_expected.insert(code);
        const QStringList answered = asTexts(LoadPlan::answers(owner, subject));
        const QStringList sums = LoadPlan::scores(LoadPlan::answers(owner, subject));

        QList<int> stored, duplicate;
        int saves = 0;
        bool anySaved = false;
        for (int w : m_plan.workstationsOf(owner)) {
            if (w >= m_journal.workstations.size())
                continue;
            const auto& desk = m_journal.workstations.at(w);
            if (!desk.subjects.contains(subject)) {
                if (desk.done)
                    fault(QStringLiteral("run incomplete"),
                          QStringLiteral("workstation %1 reported nothing of %2").arg(w).arg(code));
                continue;
            }
            const LoadJournal::Subject& s = desk.subjects.value(subject);
            if (s.registered == QLatin1String("stored"))
                stored.append(w);
            else if (s.registered == QLatin1String("duplicate"))
                duplicate.append(w);
            else if (!s.registered.isEmpty())
                fault(QStringLiteral("registration refused"),
                      QStringLiteral("workstation %1 could not register %2: %3")
                          .arg(w)
                          .arg(code, s.said.join(QStringLiteral(" | "))));
            // The duplicate notice is the one thing a partner that lost may hear.
            QStringList said = s.said;
            if (s.registered == QLatin1String("duplicate"))
                said.removeOne(QStringLiteral("notice\t") + duplicateNotice());
            // Partners testing the same subject at once: the one who saves
            // second is told the sheet changed meanwhile (both are kept).
            // The partner who launches after the other completed the sheet
            // is asked whether this is a new administration.
            if (m_plan.collide)
                for (const QString& text :
                     {FrmTest::changedElsewhereText(), newAdministrationQuestion()})
                    said.removeOne(QStringLiteral("messageBox\t") +
                                   QString(text).replace(u'\n', QStringLiteral("\\n")));
            for (const QString& line : said)
                fault(QStringLiteral("operator told"),
                      QStringLiteral("workstation %1, %2: %3").arg(w).arg(code, line));
            if (s.saved == 1) {
                ++saves;
                anySaved = true;
            } else if (s.saved == 0) {
                fault(QStringLiteral("test not saved"),
                      QStringLiteral("workstation %1 could not save the test of %2")
                          .arg(w)
                          .arg(code));
            }
            if (s.scored && s.scores != sums)
                fault(QStringLiteral("score shown wrong"),
                      QStringLiteral("workstation %1 was shown %2 for %3; the answers sum to %4")
                          .arg(w)
                          .arg(s.scores.join(u' '), code, sums.join(u' ')));
            else if (s.saved >= 0 && !s.scored)
                fault(QStringLiteral("score not shown"),
                      QStringLiteral("workstation %1 did not score %2").arg(w).arg(code));
        }
        if (stored.size() > 1)
            fault(QStringLiteral("stored twice"),
                  QStringLiteral("%1 was stored by %2 workstations").arg(code).arg(stored.size()));
        if (m_plan.collide && stored.size() + duplicate.size() == 2 && stored.size() != 1)
            fault(
                QStringLiteral("collision lost"),
                QStringLiteral("both workstations of %1 were told it was there already").arg(code));

        // The registration row, as the workstation that stored it typed it.
        const QList<Row> ide = m_ideByCode.value(code);
        if (ide.size() > 1)
            fault(QStringLiteral("subject twice"),
                  QStringLiteral("%1 is registered %2 times").arg(code).arg(ide.size()));
        if (ide.isEmpty()) {
            if (!stored.isEmpty())
                fault(QStringLiteral("subject missing"),
                      QStringLiteral("%1 is not registered, though workstation %2 stored it")
                          .arg(code)
                          .arg(stored.first()));
            if (!m_answersByCode.value(code).isEmpty())
                fault(QStringLiteral("sheet without subject"),
                      QStringLiteral("%1 has an answer sheet but no registration").arg(code));
            return;
        }
        const Row& row = ide.first();
        if (stored.isEmpty()) {
            fault(QStringLiteral("stored unannounced"),
                  QStringLiteral("%1 is registered, though no workstation was told so").arg(code));
        } else {
            const QStringList typed =
                m_journal.workstations.at(stored.first()).subjects.value(subject).typed;
            const QStringList kept = row.mid(1, 8);
            if (kept != typed)
                fault(QStringLiteral("registration not as typed"),
                      QStringLiteral("%1 is stored as [%2], typed at workstation %3 as [%4]")
                          .arg(code, kept.join(u'|'))
                          .arg(stored.first())
                          .arg(typed.join(u'|')));
            if (row.at(9).isEmpty() || row.at(10).isEmpty())
                fault(QStringLiteral("registration not as typed"),
                      QStringLiteral("%1 has no date or time").arg(code));
        }

        // The answer sheet: one, in the registration's group, as answered.
        const QList<Row> sheets = m_answersByCode.value(code);
        if (sheets.size() != 1) {
            fault(QStringLiteral("sheet missing or twice"),
                  QStringLiteral("%1 has %2 answer sheets").arg(code).arg(sheets.size()));
        } else {
            const Row& sheet = sheets.first();
            if (sheet.at(2) != row.at(8))
                fault(QStringLiteral("sheet of another registration"),
                      QStringLiteral("the sheet of %1 is in group %2, the registration in %3")
                          .arg(code, sheet.at(2), row.at(8)));
            if (anySaved && sheet.mid(3) != answered)
                fault(QStringLiteral("answer not as typed"),
                      QStringLiteral("the sheet of %1: %2")
                          .arg(code, firstDifference(sheet.mid(3), answered)));
        }

        // One administration for each save, each as answered.
        const QList<Row> kept = m_historyByCode.value(code);
        if (kept.size() != saves)
            fault(QStringLiteral("administrations miscounted"),
                  QStringLiteral("%1 has %2 administrations kept, saved %3 times")
                      .arg(code)
                      .arg(kept.size())
                      .arg(saves));
        for (const Row& administration : kept) {
            if (administration.mid(4) != answered)
                fault(QStringLiteral("administration not as typed"),
                      QStringLiteral("administration %1 of %2: %3")
                          .arg(administration.at(0), code,
                               firstDifference(administration.mid(4), answered)));
            if (administration.at(2).isEmpty() || administration.at(3).isEmpty())
                fault(QStringLiteral("administration not as typed"),
                      QStringLiteral("administration %1 of %2 has no date or time")
                          .arg(administration.at(0), code));
        }
    }

    // Nothing the run did not register, and no two codes that read the same.
    void checkNothingElse() {
        for (auto it = m_ideByCode.cbegin(); it != m_ideByCode.cend(); ++it)
            if (!m_expected.contains(it.key()))
                fault(QStringLiteral("subject not registered by the run"),
                      QStringLiteral("%1 (ID %2)").arg(it.key(), it.value().first().at(0)));
        for (auto it = m_answersByCode.cbegin(); it != m_answersByCode.cend(); ++it)
            if (!m_expected.contains(it.key()))
                fault(QStringLiteral("sheet not registered by the run"), it.key());
        for (auto it = m_historyByCode.cbegin(); it != m_historyByCode.cend(); ++it)
            if (!m_expected.contains(it.key()))
                fault(QStringLiteral("administration not taken by the run"), it.key());
        QHash<QString, QString> byKey;
        for (const Row& r : m_ide) {
            const QString key = codeKey(r.at(1));
            const auto seen = byKey.constFind(key);
            if (seen != byKey.cend() && seen.value() != r.at(1))
                fault(QStringLiteral("codes that read the same"),
                      QStringLiteral("'%1' and '%2'").arg(seen.value(), r.at(1)));
            else
                byKey.insert(key, r.at(1));
        }
    }

    // One key per registration, the key of its code, and no key without one.
    void checkKeys() {
        QHash<QString, QString> keyById;
        for (const Row& r : m_keys)
            keyById.insert(r.at(0), r.at(1));
        QSet<QString> ids;
        for (const Row& r : m_ide) {
            ids.insert(r.at(0));
            const auto key = keyById.constFind(r.at(0));
            // A key still to be worked out (another program wrote the row)
            // is missing until the store next fills it in.
            if (key == keyById.cend() || key.value().isEmpty())
                fault(QStringLiteral("code key missing"),
                      QStringLiteral("%1 (ID %2) has no code key").arg(r.at(1), r.at(0)));
            else if (key.value() != codeKey(r.at(1)))
                fault(QStringLiteral("code key wrong"),
                      QStringLiteral("the key of %1 (ID %2) is '%3', its code reads '%4'")
                          .arg(r.at(1), r.at(0), key.value(), codeKey(r.at(1))));
        }
        for (const Row& r : m_keys)
            if (!ids.contains(r.at(0)))
                fault(QStringLiteral("code key without subject"),
                      QStringLiteral("key '%1' (ID %2)").arg(r.at(1), r.at(0)));
    }

    void checkWorkstations() {
        for (int w = 0; w < m_journal.workstations.size(); ++w) {
            const auto& desk = m_journal.workstations.at(w);
            if (!desk.failure.isEmpty())
                fault(QStringLiteral("workstation failed"),
                      QStringLiteral("workstation %1: %2").arg(w).arg(desk.failure));
            if (!desk.done || (desk.exitStatus != 0 && desk.exitStatus != -1))
                fault(QStringLiteral("workstation failed"),
                      QStringLiteral("workstation %1 ended (status %2) before it was done")
                          .arg(w)
                          .arg(desk.exitStatus));
        }
    }

    static QString duplicateNotice() { return Registration::duplicateCodeNotice(); }

    const LoadJournal& m_journal;
    const LoadPlan& m_plan;
    StoreCheckResult* m_result;
    QList<Row> m_ide, m_answers, m_history, m_keys;
    QHash<QString, QList<Row>> m_ideByCode, m_answersByCode, m_historyByCode;
    QSet<QString> m_expected;
};

} // namespace

StoreCheckResult checkLoadStore(const QString& database, const LoadJournal& journal) {
    StoreCheckResult result;
    const QString name = QStringLiteral("velmora-load-check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(database);
        if (!db.open()) {
            result.faults.append({QStringLiteral("store unreadable"), db.lastError().text()});
        } else {
            Checker checker(journal, &result);
            // One snapshot of every table.
            QSqlQuery(db).exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
            result.read = checker.load(db);
            QSqlQuery(db).exec(QStringLiteral("COMMIT"));
            if (result.read)
                checker.run();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

QStringList describeFaults(const QList<StoreFault>& faults, int examplesPerKind) {
    QStringList kinds;
    QHash<QString, QStringList> byKind;
    for (const StoreFault& f : faults) {
        if (!byKind.contains(f.kind))
            kinds.append(f.kind);
        byKind[f.kind].append(f.text);
    }
    QStringList lines;
    for (const QString& kind : kinds) {
        const QStringList& texts = byKind.value(kind);
        lines.append(QStringLiteral("  %1: %2").arg(kind).arg(texts.size()));
        for (qsizetype i = 0; i < texts.size() && i < examplesPerKind; ++i)
            lines.append(QStringLiteral("    %1").arg(texts.at(i)));
        if (texts.size() > examplesPerKind)
            lines.append(QStringLiteral("    ... and %1 more").arg(texts.size() - examplesPerKind));
    }
    return lines;
}
