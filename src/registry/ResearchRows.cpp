#include "registry/ResearchRows.h"

#include "data/SqlDialect.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>

#include <sqlite3.h>

#include <algorithm>
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
        if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
            return {"", 0, true};
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return {data ? data : "", sqlite3_column_bytes(m_statement, column), false};
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

// The length in bytes of a text column, as each engine counts it.
QString byteLength(const QString& column) {
    return SqlDialect::isServer(Database::connection(DbFile::Subjects))
               ? QStringLiteral("OCTET_LENGTH(%1)").arg(column)
               : QStringLiteral("LENGTH(CAST(%1 AS BLOB))").arg(column);
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

QList<CodedText> mostFrequentFirst(const QMap<QByteArray, qint64>& counts) {
    QList<CodedText> texts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        texts.append({it.key(), it.value()});
    std::stable_sort(texts.begin(), texts.end(), [](const CodedText& a, const CodedText& b) {
        return a.subjects > b.subjects;
    });
    return texts;
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

    QVariantList values;
    bindFilter(&values, filter, survey->lastSubject);
    const QString sex = QStringLiteral("i.") + quoted("Jens");
    const QString marital = QStringLiteral("i.") + quoted("Taahol");
    const QString group = QStringLiteral("i.") + quoted("Group");
    std::unique_ptr<Statement> groups = runStatement(
        QStringLiteral("SELECT %1, %2, %3, COUNT(*), MAX(%4), MAX(%5), MAX(%6), MAX(%7) "
                       "FROM \"IDE\" AS i WHERE %8 GROUP BY %1, %2, %3")
            .arg(sex, marital, group, byteLength(QStringLiteral("i.\"Code\"")),
                 byteLength(QStringLiteral("i.\"FName\"")),
                 byteLength(QStringLiteral("i.\"LName\"")),
                 byteLength(QStringLiteral("i.\"Tahsil\"")), whereClause(filter)),
        values, error);
    if (!groups)
        return false;
    QMap<QByteArray, qint64> sexes, maritalStates, groupNames;
    const auto tally = [&](int column, QMap<QByteArray, qint64>* counts, qint64 subjects) {
        const RowText text = groups->text(column);
        if (text.size > 0)
            (*counts)[QByteArray(text.data, text.size)] += subjects;
    };
    const auto longest = [&](int column, int* bytes) {
        bool null = false;
        *bytes = std::max(*bytes, int(groups->integer(column, &null)));
    };
    while (groups->next()) {
        bool null = false;
        const qint64 subjects = groups->integer(3, &null);
        survey->subjects += subjects;
        tally(0, &sexes, subjects);
        tally(1, &maritalStates, subjects);
        tally(2, &groupNames, subjects);
        longest(4, &survey->codeBytes);
        longest(5, &survey->firstNameBytes);
        longest(6, &survey->lastNameBytes);
        longest(7, &survey->educationBytes);
    }
    if (!groups->error().isEmpty()) {
        *error = groups->error();
        return false;
    }
    survey->sexes = mostFrequentFirst(sexes);
    survey->maritalStates = mostFrequentFirst(maritalStates);
    survey->groups = mostFrequentFirst(groupNames);

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
    QString administrations;
    if (query.perAdministration) {
        columns.append(QStringLiteral("NULL"));
        administrations = QStringLiteral("LEFT JOIN \"History\" AS h "
                                         "ON h.\"Code\" = i.\"Code\" AND h.\"ID\" <= ?");
        values.append(survey.lastAdministration);
    } else {
        columns.append(QStringLiteral("(SELECT COUNT(*) FROM \"History\" AS c "
                                      "WHERE c.\"Code\" = i.\"Code\" AND c.\"ID\" <= ?)"));
        administrations = QStringLiteral("LEFT JOIN \"History\" AS h ON h.\"ID\" = "
                                         "(SELECT MAX(m.\"ID\") FROM \"History\" AS m "
                                         "WHERE m.\"Code\" = i.\"Code\" AND m.\"ID\" <= ?)");
        values += {survey.lastAdministration, survey.lastAdministration};
    }
    // The current sheet is joined only where no administration is, so at most
    // one of the two holds the answers; it is the subject's first sheet, as
    // the scoring window reads it.
    for (int item = 1; item <= ItemCount; ++item)
        columns.append(
            QStringLiteral("COALESCE(h.%1, a.%1)").arg(Database::quoted(QString::number(item))));
    bindFilter(&values, query.filter, survey.lastSubject);
    const QString sql =
        QStringLiteral("SELECT %1 FROM \"IDE\" AS i %2 "
                       "LEFT JOIN \"Answer\" AS a ON h.\"ID\" IS NULL AND a.\"ID\" = "
                       "(SELECT MIN(s.\"ID\") FROM \"Answer\" AS s WHERE s.\"Code\" = i.\"Code\") "
                       "WHERE %3 ORDER BY i.\"ID\"%4")
            .arg(columns.join(QStringLiteral(", ")), administrations, whereClause(query.filter),
                 query.perAdministration ? QStringLiteral(", h.\"ID\"") : QString());
    return runStatement(sql, values, error);
}

} // namespace velmora
