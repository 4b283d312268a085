#include "registry/ResearchRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace velmora {

ResearchRows::~ResearchRows() = default;

namespace {

// The SQLite handle of db, or nullptr unless Qt's driver runs the very SQLite
// library linked here: a Qt built with a copy of its own would be handed a
// handle it does not know. The driver's plugin is asked which sqlite3_step it
// sees.
sqlite3* sharedHandle(const QSqlDatabase& db) {
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    Dl_info driver;
    if (dladdr(db.driver()->metaObject(), &driver) == 0 || !driver.dli_fname)
        return nullptr;
    void* plugin = dlopen(driver.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!plugin)
        return nullptr;
    void* const theirs = dlsym(plugin, "sqlite3_step");
    dlclose(plugin);
    if (theirs != reinterpret_cast<void*>(&sqlite3_step))
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// One statement, read a row at a time, on either store.
class Statement : public ResearchRows {
public:
    virtual bool run(const QString& sql, const QVariantList& values) = 0;
};

// Straight through the SQLite library: texts are the file's own UTF-8 bytes.
class SqliteStatement : public Statement {
public:
    explicit SqliteStatement(sqlite3* db) : m_db(db) {}
    ~SqliteStatement() override { sqlite3_finalize(m_statement); }

    bool run(const QString& sql, const QVariantList& values) override {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_statement, nullptr) !=
            SQLITE_OK)
            return failed();
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& value = values.at(i);
            int code;
            if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
                code = sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
            } else {
                const QByteArray bytes = value.toString().toUtf8();
                code = sqlite3_bind_text(m_statement, i + 1, bytes.constData(), int(bytes.size()),
                                         SQLITE_TRANSIENT);
            }
            if (code != SQLITE_OK)
                return failed();
        }
        return true;
    }
    bool next() override {
        const int code = sqlite3_step(m_statement);
        if (code == SQLITE_ROW)
            return true;
        if (code != SQLITE_DONE)
            failed();
        return false;
    }
    RowText text(int column) override {
        // NULL is the only value without a text (an empty text is "").
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        if (!data)
            return {"", 0, true};
        return {data, sqlite3_column_bytes(m_statement, column), false};
    }
    qint64 integer(int column, bool* null) override {
        *null = sqlite3_column_type(m_statement, column) == SQLITE_NULL;
        return *null ? 0 : sqlite3_column_int64(m_statement, column);
    }
    QString error() const override { return m_error; }

private:
    bool failed() {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        return false;
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    QString m_error;
};

// Through Qt SQL, for a store whose library is not ours to call (a server).
class QtStatement : public Statement {
public:
    explicit QtStatement(const QSqlDatabase& db) : m_query(db) { m_query.setForwardOnly(true); }

    bool run(const QString& sql, const QVariantList& values) override {
        if (!m_query.prepare(sql))
            return failed();
        for (const QVariant& value : values)
            m_query.addBindValue(value);
        return m_query.exec() || failed();
    }
    bool next() override {
        m_texts.fill(QByteArray(), ResearchColumnCount);
        m_read.fill(false, ResearchColumnCount);
        if (m_query.next())
            return true;
        if (m_query.lastError().isValid())
            failed();
        return false;
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
    QString error() const override { return m_error; }

private:
    bool failed() {
        m_error = m_query.lastError().text();
        return false;
    }

    QSqlQuery m_query;
    QVector<QByteArray> m_texts;
    QVector<bool> m_read;
    QString m_error;
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

std::unique_ptr<Statement> runStatement(const QString& sql, const QVariantList& values,
                                        QString* error) {
    const QSqlDatabase db = Database::connection(DbFile::Subjects);
    if (!db.isOpen()) {
        *error = db.lastError().isValid() ? db.lastError().text()
                                          : QStringLiteral("the subject database is not open");
        return nullptr;
    }
    std::unique_ptr<Statement> statement;
    if (sqlite3* handle = sharedHandle(db))
        statement = std::make_unique<SqliteStatement>(handle);
    else
        statement = std::make_unique<QtStatement>(db);
    if (!statement->run(sql, values)) {
        *error = statement->error();
        return nullptr;
    }
    return statement;
}

QString quoted(const char* identifier) {
    return Database::quoted(QString::fromLatin1(identifier));
}

bool isSearchField(const QString& field) {
    return field == QLatin1String("Group") || field == QLatin1String("LName") ||
           field == QLatin1String("FName");
}

QString whereClause(const SubjectFilter& filter) {
    QString where = QStringLiteral("i.\"ID\" <= ?");
    if (!filter.field.isEmpty())
        where +=
            QStringLiteral(" AND i.") + Database::quoted(filter.field) + QStringLiteral(" = ?");
    return where;
}

void bindFilter(QVariantList* values, const SubjectFilter& filter, qint64 lastSubject) {
    values->append(lastSubject);
    if (!filter.field.isEmpty())
        values->append(filter.value.isNull() ? QString(QLatin1String("")) : filter.value);
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
        std::unique_ptr<Statement> keys =
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
    std::unique_ptr<Statement> subjects = runStatement(
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
    std::unique_ptr<Statement> rows =
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
