#include "registry/ResearchRows.h"
#include "registry/SubjectExport.h"

#include "data/SubjectStore.h"

#include <QVariant>
#include <QVector>

#include <algorithm>
#include <cstring>

namespace velmora {

ResearchRows::~ResearchRows() = default;

namespace {

// One statement on the run's store, read a row at a time. A text is converted
// to the UTF-8 bytes the files take once per row, and only when asked for.
class StoreRows : public ResearchRows {
public:
    StoreRows() : m_query(SubjectStore::current()) {}

    bool run(const QString& sql, const QVariantList& values) { return m_query.exec(sql, values); }
    bool next() override {
        m_read.fill(false, ResearchColumnCount);
        return m_query.next();
    }
    RowText text(int column) override {
        const QVariant value = m_query.value(column);
        if (value.isNull())
            return {"", 0, true};
        if (!m_read.at(column)) {
            m_texts[column] = value.toString().toUtf8();
            m_read[column] = true;
        }
        const QByteArray& bytes = m_texts.at(column);
        return {bytes.constData(), int(bytes.size()), false};
    }
    qint64 integer(int column, bool* null) override {
        const QVariant value = m_query.value(column);
        *null = value.isNull();
        return *null ? 0 : value.toLongLong();
    }
    QString error() const override { return m_query.error(); }

private:
    StoreQuery m_query;
    QVector<QByteArray> m_texts = QVector<QByteArray>(ResearchColumnCount);
    QVector<bool> m_read = QVector<bool>(ResearchColumnCount, false);
};

// The first row of each subject only, the others read past: with the
// administrations newest first, the subject's latest.
class FirstOfEachSubject : public ResearchRows {
public:
    explicit FirstOfEachSubject(std::unique_ptr<ResearchRows> rows) : m_rows(std::move(rows)) {}

    bool next() override {
        for (;;) {
            if (!m_rows->next())
                return false;
            bool null = false;
            const qint64 key = m_rows->integer(KeyColumn, &null);
            if (key != m_subject) {
                m_subject = key;
                return true;
            }
        }
    }
    RowText text(int column) override { return m_rows->text(column); }
    qint64 integer(int column, bool* null) override { return m_rows->integer(column, null); }
    QString error() const override { return m_rows->error(); }

private:
    std::unique_ptr<ResearchRows> m_rows;
    qint64 m_subject = -1;
};

// The distinct texts of a coded field and how often each comes; a file with
// more distinct texts than any clinic's lists have stops counting new ones.
class Tally {
public:
    void add(const RowText& text) {
        if (text.size == 0)
            return;
        for (CodedText& known : m_texts)
            if (known.text.size() == text.size &&
                std::memcmp(known.text.constData(), text.data, size_t(text.size)) == 0) {
                ++known.subjects;
                return;
            }
        if (m_texts.size() < 1000)
            m_texts.append({QByteArray(text.data, text.size), 1});
    }
    // Most frequent first; of equally frequent ones, the first met first.
    QList<CodedText> texts() const {
        QList<CodedText> sorted = m_texts;
        std::stable_sort(sorted.begin(), sorted.end(), [](const CodedText& a, const CodedText& b) {
            return a.subjects > b.subjects;
        });
        return sorted;
    }

private:
    QList<CodedText> m_texts;
};

std::unique_ptr<StoreRows> runStatement(const QString& sql, const QVariantList& values,
                                        QString* error) {
    auto rows = std::make_unique<StoreRows>();
    if (!rows->run(sql, values)) {
        *error = rows->error();
        return nullptr;
    }
    return rows;
}

QString quoted(const char* identifier) {
    return Database::quoted(QString::fromLatin1(identifier));
}

bool isSearchField(const QString& field) {
    return field == QLatin1String("Group") || field == QLatin1String("LName") ||
           field == QLatin1String("FName");
}

// The subjects the lookup lists, as its own export selects them.
QString whereClause(const SubjectFilter& filter) {
    QVariantList unused;
    return subjectCondition(filter, filter.lastKey, &unused);
}

void bindFilter(QVariantList* values, const SubjectFilter& filter, qint64 lastSubject) {
    subjectCondition(filter, lastSubject, values);
}

} // namespace

bool surveySubjects(const ResearchQuery& query, ResearchSurvey* survey, QString* error) {
    const SubjectFilter& filter = query.filter;
    if (!filter.field.isEmpty() && !isSearchField(filter.field)) {
        *error = QStringLiteral("unknown field %1").arg(filter.field);
        return false;
    }
    *survey = ResearchSurvey();
    {
        std::unique_ptr<StoreRows> keys =
            runStatement(QStringLiteral("SELECT (SELECT MAX(\"ID\") FROM \"IDE\"), "
                                        "(SELECT MAX(\"ID\") FROM \"History\")"),
                         {}, error);
        if (!keys)
            return false;
        if (!keys->next()) {
            *error = keys->error();
            return false;
        }
        bool null = false;
        survey->lastSubject = std::min(filter.lastKey, keys->integer(0, &null));
        survey->lastAdministration = keys->integer(1, &null);
    }

    // One pass over the subjects: how many, how long their texts, which
    // texts the coded fields hold. Names are read only for a file that keeps
    // them.
    QVariantList values;
    bindFilter(&values, filter, survey->lastSubject);
    const QString names = query.withNames ? QStringLiteral("i.\"Code\", i.\"FName\", i.\"LName\"")
                                          : QStringLiteral("NULL, NULL, NULL");
    std::unique_ptr<StoreRows> subjects = runStatement(
        QStringLiteral("SELECT %1, i.\"Jens\", i.\"Taahol\", i.\"Tahsil\", i.\"Group\" "
                       "FROM \"IDE\" AS i WHERE %2")
            .arg(names, whereClause(filter)),
        values, error);
    if (!subjects)
        return false;
    Tally sexes, maritalStates, groups;
    const auto longest = [&](int column, int* bytes) {
        *bytes = std::max(*bytes, subjects->text(column).size);
    };
    while (subjects->next()) {
        ++survey->subjects;
        longest(0, &survey->codeBytes);
        longest(1, &survey->firstNameBytes);
        longest(2, &survey->lastNameBytes);
        sexes.add(subjects->text(3));
        maritalStates.add(subjects->text(4));
        longest(5, &survey->educationBytes);
        groups.add(subjects->text(6));
    }
    if (!subjects->error().isEmpty()) {
        *error = subjects->error();
        return false;
    }
    survey->sexes = sexes.texts();
    survey->maritalStates = maritalStates.texts();
    survey->groups = groups.texts();

    if (!query.perAdministration) {
        survey->rows = survey->subjects;
        return true;
    }
    // A subject without an administration kept still has its row.
    QVariantList joined{survey->lastAdministration};
    bindFilter(&joined, filter, survey->lastSubject);
    std::unique_ptr<StoreRows> rows =
        runStatement(QStringLiteral("SELECT COUNT(*) FROM \"IDE\" AS i "
                                    "LEFT JOIN \"History\" AS h ON h.\"Code\" = i.\"Code\" "
                                    "AND h.\"ID\" <= ? WHERE %1")
                         .arg(whereClause(filter)),
                     joined, error);
    if (!rows)
        return false;
    if (!rows->next()) {
        *error = rows->error();
        return false;
    }
    bool null = false;
    survey->rows = rows->integer(0, &null);
    return true;
}

std::unique_ptr<ResearchRows> readResearchRows(const ResearchQuery& query,
                                               const ResearchSurvey& survey, QString* error) {
    QStringList columns{QStringLiteral("i.\"ID\""), QStringLiteral("i.\"Code\"")};
    if (query.withNames)
        columns += {QStringLiteral("i.\"FName\""), QStringLiteral("i.\"LName\"")};
    else
        columns += {QStringLiteral("NULL"), QStringLiteral("NULL")};
    for (const char* field : {"Jens", "Sen", "Taahol", "Tahsil", "Group", "Date", "Time"})
        columns.append(QStringLiteral("i.") + quoted(field));
    columns +=
        {QStringLiteral("h.\"ID\""), QStringLiteral("h.\"Date\""), QStringLiteral("h.\"Time\"")};
    QVariantList values;
    if (query.perAdministration) {
        columns.append(QStringLiteral("NULL"));
    } else {
        columns.append(QStringLiteral("(SELECT COUNT(*) FROM \"History\" AS c "
                                      "WHERE c.\"Code\" = i.\"Code\" AND c.\"ID\" <= ?)"));
        values.append(survey.lastAdministration);
    }
    // The current sheet is joined only where no administration is, so at most
    // one of the two holds the answers; it is the subject's first sheet, as
    // the scoring window reads it, looked for only then.
    for (int item = 1; item <= ItemCount; ++item)
        columns.append(
            QStringLiteral("COALESCE(h.%1, a.%1)").arg(Database::quoted(QString::number(item))));
    values.append(survey.lastAdministration);
    bindFilter(&values, query.filter, survey.lastSubject);
    // Per subject, the administrations newest first: the first row of each
    // subject is its latest.
    const QString sql =
        QStringLiteral(
            "SELECT %1 FROM \"IDE\" AS i "
            "LEFT JOIN \"History\" AS h ON h.\"Code\" = i.\"Code\" AND h.\"ID\" <= ? "
            "LEFT JOIN \"Answer\" AS a ON a.\"ID\" = CASE WHEN h.\"ID\" IS NULL THEN "
            "(SELECT MIN(s.\"ID\") FROM \"Answer\" AS s WHERE s.\"Code\" = i.\"Code\") END "
            "WHERE %2 ORDER BY i.\"ID\", h.\"ID\"%3")
            .arg(columns.join(QStringLiteral(", ")), whereClause(query.filter),
                 query.perAdministration ? QString() : QStringLiteral(" DESC"));
    std::unique_ptr<ResearchRows> rows = runStatement(sql, values, error);
    if (rows && !query.perAdministration)
        return std::make_unique<FirstOfEachSubject>(std::move(rows));
    return rows;
}

} // namespace velmora
