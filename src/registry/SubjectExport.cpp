#include "registry/SubjectExport.h"

#include "calendar/SolarCalendar.h"
#include "data/CsvFile.h"
#include "data/Database.h"
#include "scoring/Scales.h"

#include "data/SubjectStore.h"
#include <QDir>
#include <QSqlError>
#include <QTextStream>

namespace velmora {

namespace {

// The cancel button and the progress bar are looked at this often.
constexpr int RowsBetweenProgress = 2000;

// The registration fields, in the order of the first columns.
const char* const SubjectFields[] = {"Code",   "FName",  "LName", "Jens", "Sen",
                                     "Taahol", "Tahsil", "Group", "Date", "Time"};
constexpr int SubjectFieldCount = int(sizeof(SubjectFields) / sizeof(SubjectFields[0]));

QVariant textValue(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
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

QVariantList filterValues(const SubjectFilter& filter) {
    QVariantList values{filter.lastKey};
    if (!filter.field.isEmpty())
        values.append(textValue(filter.value));
    return values;
}

// Columns of the query: the subject's key, its registration fields, the
// administration's date and time, and its answers; for a subject with no
// administration kept, the answers of its current sheet.
QString exportQuery(const SubjectFilter& filter) {
    QStringList columns{QStringLiteral("i.\"ID\"")};
    for (const char* field : SubjectFields)
        columns.append(QStringLiteral("i.") + Database::quoted(QString::fromLatin1(field)));
    columns += {QStringLiteral("h.\"Date\""), QStringLiteral("h.\"Time\"")};
    // The sheet is joined only where no administration is, so at most one
    // of the two holds the answers.
    for (int item = 1; item <= ItemCount; ++item)
        columns.append(
            QStringLiteral("COALESCE(h.%1, a.%1)").arg(Database::quoted(QString::number(item))));
    // The subject's current sheet is its first one, as the scoring window reads it.
    return QStringLiteral("SELECT %1 FROM \"IDE\" AS i "
                          "LEFT JOIN \"History\" AS h ON h.\"Code\" = i.\"Code\" "
                          "LEFT JOIN \"Answer\" AS a ON h.\"ID\" IS NULL AND a.\"ID\" = "
                          "(SELECT MIN(\"ID\") FROM \"Answer\" WHERE \"Code\" = i.\"Code\") "
                          "WHERE %2 ORDER BY i.\"ID\", h.\"ID\"")
        .arg(columns.join(QStringLiteral(", ")), whereClause(filter));
}

constexpr int KeyColumn = 0;
constexpr int FileColumnCount = SubjectFieldCount + 2 + ItemCount + ScaleCount;
constexpr int QueryColumnCount = 1 + SubjectFieldCount + 2 + ItemCount;

bool countSubjects(const SubjectFilter& filter, qint64* count, QString* error) {
    StoreQuery q;
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM \"IDE\" AS i WHERE ") + whereClause(filter),
                filterValues(filter)) ||
        !q.next()) {
        *error = q.error();
        return false;
    }
    *count = q.value(0).toLongLong();
    return true;
}

// Fills row (a file row) from the current row of the query.
void fillRow(const StoreQuery& q, QStringList* row, QStringList* answers) {
    row->clear();
    answers->clear();
    for (int i = 1; i < QueryColumnCount; ++i)
        row->append(q.value(i).toString());
    bool anyAnswer = false;
    for (int item = 0; item < ItemCount; ++item) {
        const QString& answer = row->at(SubjectFieldCount + 2 + item);
        anyAnswer = anyAnswer || !answer.isEmpty();
        answers->append(answer);
    }
    for (const Scale& scale : scales())
        row->append(anyAnswer ? numberText(scaleScore(scale, *answers)) : QString());
}

} // namespace

QStringList exportHeader() {
    QStringList header = {QStringLiteral("کد"),
                          QStringLiteral("نام"),
                          QStringLiteral("نام خانوادگي"),
                          QStringLiteral("جنس"),
                          QStringLiteral("سن"),
                          QStringLiteral("وضعيت تاهل"),
                          QStringLiteral("ميزان تحصيلات"),
                          QStringLiteral("گروه"),
                          QStringLiteral("تاريخ ثبت نام"),
                          QStringLiteral("ساعت ثبت نام"),
                          QStringLiteral("تاريخ اجراي تست"),
                          QStringLiteral("ساعت اجراي تست")};
    for (int item = 1; item <= ItemCount; ++item)
        header.append(QStringLiteral("سوال %1").arg(item));
    for (const Scale& scale : scales())
        header.append(scale.reportName);
    return header;
}

ExportResult exportSubjectsCsv(const QString& path, const SubjectFilter& filter,
                               const ExportProgress& progress, QString* error) {
    QString detail;
    const auto failed = [&]() {
        if (error)
            *error = detail;
        return ExportResult::Failed;
    };
    if (!filter.field.isEmpty() && !isSearchField(filter.field)) {
        detail = QStringLiteral("unknown field %1").arg(filter.field);
        return failed();
    }
    qint64 total = 0;
    if (!countSubjects(filter, &total, &detail))
        return failed();

    CsvFile file(path);
    if (!file.open(&detail) || !file.writeRow(exportHeader(), &detail))
        return failed();
    if (progress && !progress(0, total))
        return ExportResult::Cancelled;

    // One statement reads the whole export, so the file is one consistent
    // picture of the subjects even while another workstation stores a sheet.
    StoreQuery q;
    if (!q.exec(exportQuery(filter), filterValues(filter))) {
        detail = q.error();
        return failed();
    }
    qint64 subjects = 0;
    qint64 lastSubject = -1;
    int sinceProgress = 0;
    QStringList row, answers;
    row.reserve(FileColumnCount);
    answers.reserve(ItemCount);
    while (q.next()) {
        const qint64 key = q.value(KeyColumn).toLongLong();
        if (key != lastSubject) {
            lastSubject = key;
            ++subjects;
        }
        fillRow(q, &row, &answers);
        if (!file.writeRow(row, &detail))
            return failed();
        if (++sinceProgress == RowsBetweenProgress) {
            sinceProgress = 0;
            if (progress && !progress(subjects, total))
                return ExportResult::Cancelled;
        }
    }
    if (q.failure() != StoreFailure::None) {
        detail = q.error();
        return failed();
    }
    q.finish();
    if (!file.commit(&detail))
        return failed();
    if (progress)
        progress(total, total);
    return ExportResult::Written;
}

QString exportFailureMessage(const QString& path, const QString& detail) {
    return QStringLiteral("فهرست آزمودني ها ذخيره نشد و پرونده اي ساخته نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(path), detail);
}

QString defaultExportName(const QDate& date) {
    return QStringLiteral("Velmora %1.csv")
        .arg(SolarDate(date, 0).replace(QLatin1Char('/'), QLatin1Char('-')));
}

int exportCsvCommand(const QString& file, QTextStream& err) {
    QString detail;
    if (file.isEmpty()) {
        err << exportFailureMessage(file, QStringLiteral("no file was named")) << '\n';
        err.flush();
        return 1;
    }
    const QString path = QDir::current().absoluteFilePath(file);
    if (exportSubjectsCsv(path, SubjectFilter(), ExportProgress(), &detail) ==
        ExportResult::Written)
        return 0;
    err << exportFailureMessage(path, detail) << '\n';
    err.flush();
    return 1;
}

} // namespace velmora
