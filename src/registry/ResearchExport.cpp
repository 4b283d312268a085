#include "registry/ResearchExport.h"

#include "access/Access.h"

#include "calendar/SolarCalendar.h"
#include "data/TextNumber.h"
#include "files/OutputFile.h"
#include "questionnaire/ItemBank.h"
#include "registry/Pseudonyms.h"
#include "registry/Registration.h"
#include "registry/ResearchAccess.h"
#include "registry/ResearchRows.h"
#include "scoring/Scales.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <readstat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

// The cancel button and the progress bar are looked at this often.
constexpr int RowsBetweenProgress = 2000;

// What each format holds. SPSS strings longer than 255 bytes are split into
// segments that not every reader puts back together, so texts stop there;
// Stata's longest plain string is 2045 bytes, its variable labels 80 letters.
struct Limits {
    int textBytes;
    int variableLabelBytes;
    int variableLabelLetters;
    int valueLabelBytes;
};
constexpr Limits SpssLimits{255, 255, 255, 120};
constexpr Limits StataLimits{2045, 320, 80, 2045};

const Limits& limitsOf(ResearchFormat format) {
    return format == ResearchFormat::Spss ? SpssLimits : StataLimits;
}

// Texts the program keeps for the date and time of day: a stored one longer
// than this is cut.
constexpr int DateTextBytes = 40;
// A solar date as the file writes one: 1403/02/01.
constexpr int SolarTextBytes = 10;

// Codes the coded fields' choices get, after the program's own choices; the
// last one Stata stores in a byte.
constexpr int LastCode = 100;

// Day 0 of the solar calendar's count (21 March 1953) in each format's own
// count: SPSS counts seconds from 14 October 1582, Stata days from 1 January
// 1960.
qint64 spssEpochDays() {
    static const qint64 days = QDate(1582, 10, 14).daysTo(SolarEpoch());
    return days;
}
qint64 stataEpochDays() {
    static const qint64 days = QDate(1960, 1, 1).daysTo(SolarEpoch());
    return days;
}

// The longest prefix of text, at most bytes long, that ends between two
// letters (never inside a UTF-8 sequence).
QByteArray prefixOf(const char* text, int size, int bytes) {
    if (size <= bytes)
        return QByteArray(text, size);
    int end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return QByteArray(text, end);
}

QByteArray labelText(const QString& text, int bytes, int letters) {
    QString shortened = text.trimmed();
    if (shortened.size() > letters)
        shortened = shortened.left(letters).trimmed();
    const QByteArray utf8 = shortened.toUtf8();
    return prefixOf(utf8.constData(), int(utf8.size()), bytes);
}

// A number written with ASCII, Arabic-Indic or Persian digits, blanks around
// it allowed; false for anything else or a number beyond limit.
bool wholeNumber(const char* text, int size, int limit, int* value) {
    int i = 0;
    while (i < size && text[i] == ' ')
        ++i;
    while (size > i && text[size - 1] == ' ')
        --size;
    if (i == size)
        return false;
    qint64 n = 0;
    while (i < size) {
        const auto c = static_cast<unsigned char>(text[i]);
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
            ++i;
        } else if (i + 1 < size && ((c == 0xD9 && static_cast<unsigned char>(text[i + 1]) >= 0xA0 &&
                                     static_cast<unsigned char>(text[i + 1]) <= 0xA9) ||
                                    (c == 0xDB && static_cast<unsigned char>(text[i + 1]) >= 0xB0 &&
                                     static_cast<unsigned char>(text[i + 1]) <= 0xB9))) {
            // U+0660..U+0669 end in A0..A9, U+06F0..U+06F9 in B0..B9.
            digit = static_cast<unsigned char>(text[i + 1]) - (c == 0xD9 ? 0xA0 : 0xB0);
            i += 2;
        } else {
            return false;
        }
        n = n * 10 + digit;
        if (n > limit)
            return false;
    }
    *value = int(n);
    return true;
}

// A solar date as the program writes one (1403/02/01; also with dashes or
// dots, and with Persian digits), as days since the calendar's day 0.
bool solarDays(const RowText& text, qint64* days) {
    if (text.size == 0 || text.size > DateTextBytes)
        return false;
    int parts[3];
    int part = 0;
    int from = 0;
    for (int i = 0; i <= text.size; ++i) {
        const char c = i < text.size ? text.data[i] : '/';
        if (c != '/' && c != '-' && c != '.')
            continue;
        if (part == 3 || !wholeNumber(text.data + from, i - from, 9999, &parts[part]))
            return false;
        ++part;
        from = i + 1;
    }
    if (part != 3)
        return false;
    SolarDay day;
    day.year = parts[0];
    day.month = parts[1];
    day.day = parts[2];
    return SolarToDays(day, days);
}

// Value labels of a coded field: the program's own choices first, then the
// other texts the subjects have, most frequent first, each labelled by
// itself.
struct CodeBook {
    QList<QByteArray> texts; // texts[i] has code i + 1

    int codeOf(const RowText& text) const {
        if (text.size == 0)
            return 0;
        for (int i = 0; i < texts.size(); ++i) {
            const QByteArray& known = texts.at(i);
            if (known.size() == text.size &&
                std::memcmp(known.constData(), text.data, text.size) == 0)
                return i + 1;
        }
        return 0;
    }
};

CodeBook codeBook(const QStringList& choices, const QList<CodedText>& found) {
    CodeBook book;
    for (const QString& choice : choices)
        book.texts.append(choice.toUtf8());
    for (const CodedText& text : found)
        if (book.texts.size() < LastCode && !book.texts.contains(text.text))
            book.texts.append(text.text);
    return book;
}

// The writer's bytes, gathered so that its many small writes cost a few
// system calls, go into the output file; a failure there is kept to be told
// instead of ReadStat's plain "write error".
struct Sink {
    static constexpr int Gathered = 1 << 16;

    OutputFile* file;
    QString error;
    QByteArray buffer;

    bool flush() {
        if (!error.isEmpty())
            return false;
        const bool written =
            buffer.isEmpty() || file->write(buffer.constData(), qint64(buffer.size()), &error);
        buffer.clear();
        return written;
    }
};

ssize_t putBytes(const void* data, size_t size, void* context) {
    auto* sink = static_cast<Sink*>(context);
    if (!sink->error.isEmpty())
        return 0;
    sink->buffer.append(static_cast<const char*>(data), qsizetype(size));
    if (sink->buffer.size() >= Sink::Gathered && !sink->flush())
        return 0;
    return ssize_t(size);
}

struct Variables {
    readstat_variable_t* code = nullptr;
    readstat_variable_t* firstName = nullptr;
    readstat_variable_t* lastName = nullptr;
    readstat_variable_t* sex = nullptr;
    readstat_variable_t* age = nullptr;
    readstat_variable_t* marital = nullptr;
    readstat_variable_t* education = nullptr;
    readstat_variable_t* group = nullptr;
    readstat_variable_t* registeredDate = nullptr;
    readstat_variable_t* registeredSolar = nullptr;
    readstat_variable_t* registeredTime = nullptr;
    readstat_variable_t* registeredYear = nullptr;
    readstat_variable_t* administration = nullptr;
    readstat_variable_t* administeredDate = nullptr;
    readstat_variable_t* administeredSolar = nullptr;
    readstat_variable_t* administeredTime = nullptr;
    readstat_variable_t* administeredYear = nullptr;
    std::array<readstat_variable_t*, ItemCount> items{};
    std::array<readstat_variable_t*, ScaleCount> scores{};
};

// One export: the file's dictionary from the survey, then its rows.
class ResearchFile {
public:
    ResearchFile(const ResearchOptions& options, const ResearchSurvey& survey,
                 const Pseudonymiser* pseudonyms)
        : m_options(options), m_limits(limitsOf(options.format)), m_survey(survey),
          m_pseudonyms(pseudonyms), m_writer(readstat_writer_init()) {
        readstat_set_data_writer(m_writer, &putBytes);
    }
    ~ResearchFile() { readstat_writer_free(m_writer); }
    ResearchFile(const ResearchFile&) = delete;
    ResearchFile& operator=(const ResearchFile&) = delete;

    qint64 cutTexts() const { return m_cut; }

    bool begin(Sink* sink, QString* error) {
        describe();
        readstat_writer_set_file_label(m_writer, "Velmora");
        readstat_error_t code;
        if (m_options.format == ResearchFormat::Spss) {
            // Rows compressed as SPSS itself does: blanks and small whole
            // numbers take a byte each.
            readstat_writer_set_compression(m_writer, READSTAT_COMPRESS_ROWS);
            code = readstat_begin_writing_sav(m_writer, sink, long(m_survey.rows));
        } else {
            // Format 118 (Stata 14 and later): UTF-8 throughout.
            readstat_writer_set_file_format_version(m_writer, 118);
            code = readstat_begin_writing_dta(m_writer, sink, long(m_survey.rows));
        }
        if (code == READSTAT_OK)
            code = readstat_validate_metadata(m_writer);
        for (int i = 0; code == READSTAT_OK && i < m_writer->variables_count; ++i)
            code = readstat_validate_variable(m_writer, readstat_get_variable(m_writer, i));
        return succeeded(code, sink, error);
    }

    // Writes the current row of rows (a subject's rows come one after another).
    bool writeRow(ResearchRows& rows, Sink* sink, QString* error) {
        bool null = false;
        const qint64 key = rows.integer(KeyColumn, &null);
        const RowText code = rows.text(CodeColumn);
        if (key != m_subject) {
            m_subject = key;
            m_administration = 0;
            if (m_pseudonyms)
                m_pseudonym = m_pseudonyms->of(code.data, size_t(code.size));
        }
        rows.integer(AdministrationKeyColumn, &null);
        const bool administered = !null;
        if (administered)
            ++m_administration;

        m_status = readstat_begin_row(m_writer);
        if (m_pseudonyms)
            text(m_vars.code, m_pseudonym.pseudonym, Pseudonymiser::PseudonymLength);
        else
            text(m_vars.code, code);
        if (m_options.identified) {
            text(m_vars.firstName, rows.text(FirstNameColumn));
            text(m_vars.lastName, rows.text(LastNameColumn));
        }
        coded(m_vars.sex, m_sexes, rows.text(SexColumn));
        int age = 0;
        const RowText ageText = rows.text(AgeColumn);
        if (wholeNumber(ageText.data, ageText.size, 200, &age))
            number(m_vars.age, m_options.ageBands ? age / 5 * 5 : age);
        else
            missing(m_vars.age);
        coded(m_vars.marital, m_maritalStates, rows.text(MaritalColumn));
        text(m_vars.education, rows.text(EducationColumn));
        coded(m_vars.group, m_groups, rows.text(GroupColumn));
        date(m_vars.registeredDate, m_vars.registeredSolar, m_vars.registeredYear,
             rows.text(RegisteredDateColumn));
        text(m_vars.registeredTime, rows.text(RegisteredTimeColumn));
        if (m_options.perAdministration) {
            if (administered)
                number(m_vars.administration, m_administration);
            else
                missing(m_vars.administration);
        } else {
            number(m_vars.administration, double(rows.integer(AdministrationCountColumn, &null)));
        }
        date(m_vars.administeredDate, m_vars.administeredSolar, m_vars.administeredYear,
             rows.text(AdministeredDateColumn));
        text(m_vars.administeredTime, rows.text(AdministeredTimeColumn));

        std::array<double, ItemCount> values{};
        bool anyAnswer = false;
        for (int item = 0; item < ItemCount; ++item) {
            const RowText answer = rows.text(FirstItemColumn + item);
            anyAnswer = anyAnswer || answer.size > 0;
            values[size_t(item)] = answerValue(m_vars.items[size_t(item)], answer);
        }
        const QVector<Scale>& all = scales();
        for (int s = 0; s < ScaleCount; ++s) {
            if (!anyAnswer) {
                missing(m_vars.scores[size_t(s)]);
                continue;
            }
            // Summed as the scoring window sums them, so the scores agree to the last bit.
            double sum = 0.0;
            for (const int item : all.at(s).items)
                sum += values[size_t(item - 1)];
            number(m_vars.scores[size_t(s)], sum);
        }
        if (m_status == READSTAT_OK)
            m_status = readstat_end_row(m_writer);
        return succeeded(m_status, sink, error);
    }

    bool end(Sink* sink, QString* error) {
        return succeeded(readstat_end_writing(m_writer), sink, error);
    }

private:
    bool succeeded(readstat_error_t code, Sink* sink, QString* error) {
        if (code == READSTAT_OK)
            return true;
        *error =
            !sink->error.isEmpty() ? sink->error : QString::fromUtf8(readstat_error_message(code));
        return false;
    }

    bool spss() const { return m_options.format == ResearchFormat::Spss; }

    readstat_label_set_t* labels(const char* name) {
        return readstat_add_label_set(m_writer, READSTAT_TYPE_INT32, name);
    }
    void label(readstat_label_set_t* set, int value, const QString& text) {
        label(set, value, text.toUtf8());
    }
    void label(readstat_label_set_t* set, int value, const QByteArray& text) {
        const QByteArray shown =
            prefixOf(text.constData(), int(text.size()), m_limits.valueLabelBytes);
        readstat_label_int32_value(set, value, shown.constData());
    }

    readstat_variable_t* variable(const char* name, readstat_type_t type, int width,
                                  const QString& caption, readstat_measure_t measure,
                                  const char* spssFormat = nullptr,
                                  const char* stataFormat = nullptr) {
        readstat_variable_t* v =
            readstat_add_variable(m_writer, name, type, size_t(std::max(1, width)));
        readstat_variable_set_label(
            v, labelText(caption, m_limits.variableLabelBytes, m_limits.variableLabelLetters)
                   .constData());
        readstat_variable_set_measure(v, measure);
        const char* format = spss() ? spssFormat : stataFormat;
        if (format)
            readstat_variable_set_format(v, format);
        return v;
    }
    readstat_variable_t* textVariable(const char* name, int bytes, const QString& caption) {
        return variable(name, READSTAT_TYPE_STRING, std::min(bytes, m_limits.textBytes), caption,
                        READSTAT_MEASURE_NOMINAL);
    }
    readstat_variable_t* codedVariable(const char* name, const QString& caption,
                                       const CodeBook& book) {
        readstat_variable_t* v =
            variable(name, READSTAT_TYPE_INT8, 0, caption, READSTAT_MEASURE_NOMINAL, "F3.0");
        readstat_label_set_t* set = labels(name);
        for (int i = 0; i < book.texts.size(); ++i)
            label(set, i + 1, book.texts.at(i));
        readstat_variable_set_label_set(v, set);
        return v;
    }
    // A date as a date variable and as solar text, or only its solar year.
    void dateVariables(const char* dateName, const char* solarName, const char* yearName,
                       const QString& caption, readstat_variable_t** date,
                       readstat_variable_t** solar, readstat_variable_t** year) {
        if (!m_options.identified && m_options.dates == ResearchDates::Year) {
            *year = variable(yearName, READSTAT_TYPE_INT16, 0,
                             caption + QStringLiteral(" (فقط سال شمسي)"), READSTAT_MEASURE_SCALE,
                             "F4.0");
            return;
        }
        const QString shifted = m_options.identified ? QString() : QStringLiteral(" (جابجا شده)");
        *date = variable(dateName, READSTAT_TYPE_DOUBLE, 0, caption + shifted,
                         READSTAT_MEASURE_SCALE, "SDATE10", "%td");
        *solar = textVariable(solarName, m_options.identified ? DateTextBytes : SolarTextBytes,
                              caption + QStringLiteral(" (شمسي)") + shifted);
    }

    void describe() {
        const QStringList header = exportHeader();
        m_sexes = codeBook(Registration::genderChoices(), m_survey.sexes);
        m_maritalStates = codeBook(Registration::maritalChoices(), m_survey.maritalStates);
        m_groups = codeBook(Registration::groupChoices(), m_survey.groups);

        if (m_options.identified) {
            m_vars.code = textVariable("code", m_survey.codeBytes, header.at(0));
            m_vars.firstName = textVariable("fname", m_survey.firstNameBytes, header.at(1));
            m_vars.lastName = textVariable("lname", m_survey.lastNameBytes, header.at(2));
        } else {
            m_vars.code = textVariable("code", Pseudonymiser::PseudonymLength,
                                       header.at(0) + QStringLiteral(" مستعار"));
        }
        m_vars.sex = codedVariable("sex", header.at(3), m_sexes);
        if (m_options.ageBands) {
            m_vars.age = variable("ageband", READSTAT_TYPE_INT16, 0,
                                  header.at(4) + QStringLiteral(" (گروه پنج ساله)"),
                                  READSTAT_MEASURE_ORDINAL, "F3.0");
            readstat_label_set_t* bands = labels("ageband");
            for (int from = 0; from <= 200; from += 5)
                label(bands, from, QStringLiteral("%1-%2").arg(from).arg(from + 4));
            readstat_variable_set_label_set(m_vars.age, bands);
        } else {
            m_vars.age = variable("age", READSTAT_TYPE_INT16, 0, header.at(4),
                                  READSTAT_MEASURE_SCALE, "F3.0");
        }
        m_vars.marital = codedVariable("marital", header.at(5), m_maritalStates);
        m_vars.education = textVariable("educ", m_survey.educationBytes, header.at(6));
        m_vars.group = codedVariable("group", header.at(7), m_groups);
        dateVariables("regdate", "regsolar", "regyear", header.at(8), &m_vars.registeredDate,
                      &m_vars.registeredSolar, &m_vars.registeredYear);
        m_vars.registeredTime = textVariable("regtime", DateTextBytes, header.at(9));
        m_vars.administration =
            variable("admin", READSTAT_TYPE_INT32, 0,
                     m_options.perAdministration ? QStringLiteral("شماره اجراي تست")
                                                 : QStringLiteral("تعداد اجراهاي نگه داشته تست"),
                     READSTAT_MEASURE_SCALE, "F5.0");
        dateVariables("date", "solar", "year", header.at(10), &m_vars.administeredDate,
                      &m_vars.administeredSolar, &m_vars.administeredYear);
        m_vars.administeredTime = textVariable("time", DateTextBytes, header.at(11));

        readstat_label_set_t* answers = labels("answer");
        for (int value = HighestAnswer; value >= LowestAnswer; --value)
            label(answers, value, answerText(value));
        for (int item = 1; item <= ItemCount; ++item) {
            char name[8];
            std::snprintf(name, sizeof name, "item%02d", item);
            readstat_variable_t* v = variable(name, READSTAT_TYPE_INT8, 0, itemText(item),
                                              READSTAT_MEASURE_ORDINAL, "F1.0");
            readstat_variable_set_label_set(v, answers);
            m_vars.items[size_t(item - 1)] = v;
        }
        for (const Scale& scale : scales()) {
            char name[8];
            std::snprintf(name, sizeof name, "scale%d", scale.number);
            m_vars.scores[size_t(scale.number - 1)] =
                variable(name, READSTAT_TYPE_DOUBLE, 0, scale.name, READSTAT_MEASURE_SCALE, "F6.2");
        }
        // A line for whoever opens the file without this program at hand
        // (SPSS keeps notes of 80 letters, in ASCII here).
        readstat_add_note(m_writer, m_options.identified
                                        ? "Velmora export with names, codes and dates as recorded."
                                    : m_options.dates == ResearchDates::Year
                                        ? "Velmora research export: codes are keyed pseudonyms, "
                                          "dates cut to the year."
                                        : "Velmora research export: codes are keyed pseudonyms, "
                                          "dates shifted per subject.");
    }

    void keep(readstat_error_t code) {
        if (m_status == READSTAT_OK)
            m_status = code;
    }
    void missing(readstat_variable_t* v) { keep(readstat_insert_missing_value(m_writer, v)); }
    void number(readstat_variable_t* v, double value) {
        switch (readstat_variable_get_type(v)) {
        case READSTAT_TYPE_INT8:
            keep(readstat_insert_int8_value(m_writer, v, int8_t(value)));
            break;
        case READSTAT_TYPE_INT16:
            keep(readstat_insert_int16_value(m_writer, v, int16_t(value)));
            break;
        case READSTAT_TYPE_INT32:
            keep(readstat_insert_int32_value(m_writer, v, int32_t(value)));
            break;
        default:
            keep(readstat_insert_double_value(m_writer, v, value));
            break;
        }
    }
    void text(readstat_variable_t* v, const char* data, int size) {
        // The width declared, not the storage ReadStat rounds it up to: a
        // reader takes only the declared bytes.
        const int width = int(v->user_width);
        if (size <= width) {
            keep(readstat_insert_string_value(m_writer, v, data));
            return;
        }
        const QByteArray shortened = prefixOf(data, size, width);
        ++m_cut;
        keep(readstat_insert_string_value(m_writer, v, shortened.constData()));
    }
    void text(readstat_variable_t* v, const RowText& value) {
        if (value.null || value.size == 0)
            keep(readstat_insert_missing_value(m_writer, v));
        else
            text(v, value.data, value.size);
    }
    void coded(readstat_variable_t* v, const CodeBook& book, const RowText& value) {
        const int code = book.codeOf(value);
        if (code > 0)
            number(v, code);
        else
            missing(v);
    }
    void date(readstat_variable_t* dateVariable, readstat_variable_t* solar,
              readstat_variable_t* year, const RowText& stored) {
        qint64 days = 0;
        bool known = solarDays(stored, &days);
        if (year) {
            SolarDay day;
            if (known && DaysToSolar(days, &day))
                number(year, day.year);
            else
                missing(year);
            return;
        }
        if (!m_options.identified) {
            days -= m_pseudonym.shiftDays;
            known = known && days >= 0;
        }
        if (known)
            number(dateVariable,
                   spss() ? double(days + m_spssEpoch) * 86400.0 : double(days + m_stataEpoch));
        else
            missing(dateVariable);
        if (m_options.identified) {
            // As recorded, even where it is not a date the calendar has.
            text(solar, stored);
            return;
        }
        // Never the stored text: it is the real date.
        SolarDay day;
        if (known && DaysToSolar(days, &day) && day.year <= 9999) {
            char shown[SolarTextBytes + 1] = "0000/00/00";
            const auto digits = [&shown](int at, int value, int count) {
                for (int i = count - 1; i >= 0; --i, value /= 10)
                    shown[at + i] = char('0' + value % 10);
            };
            digits(0, day.year, 4);
            digits(5, day.month, 2);
            digits(8, day.day, 2);
            text(solar, shown, SolarTextBytes);
        } else {
            missing(solar);
        }
    }
    // The value of an answer for the scores (as the scoring window reads it),
    // and the answer itself into v: the whole number it is, or missing when
    // unanswered or not a number.
    double answerValue(readstat_variable_t* v, const RowText& answer) {
        if (answer.size == 1 && answer.data[0] >= '0' && answer.data[0] <= '9') {
            const int value = answer.data[0] - '0';
            number(v, value);
            return value;
        }
        if (answer.size == 0) {
            missing(v);
            return 0.0;
        }
        const QString text = QString::fromUtf8(answer.data, answer.size);
        const double value = itemValue(text);
        const QString digits = latinDigits(text);
        bool isNumber = false;
        for (const QChar c : digits)
            isNumber = isNumber || c.isDigit();
        if (isNumber && value == std::floor(value) && value >= 0 && value <= LastCode)
            number(v, value);
        else
            missing(v);
        return value;
    }

    const ResearchOptions& m_options;
    const Limits& m_limits;
    const ResearchSurvey& m_survey;
    const Pseudonymiser* m_pseudonyms;
    readstat_writer_t* m_writer;
    Variables m_vars;
    CodeBook m_sexes, m_maritalStates, m_groups;
    readstat_error_t m_status = READSTAT_OK;
    qint64 m_subject = -1;
    int m_administration = 0;
    Pseudonymiser::Subject m_pseudonym{};
    qint64 m_cut = 0;
    const qint64 m_spssEpoch = spssEpochDays();
    const qint64 m_stataEpoch = stataEpochDays();
};

} // namespace

std::optional<ResearchFormat> researchFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("sav"))
        return ResearchFormat::Spss;
    if (suffix == QLatin1String("dta"))
        return ResearchFormat::Stata;
    return std::nullopt;
}

ExportResult exportResearch(const QString& path, const ResearchOptions& options,
                            const ExportProgress& progress, ResearchSummary* summary,
                            QString* error) {
    QString detail;
    const auto failed = [&]() {
        if (error)
            *error = detail;
        return ExportResult::Failed;
    };
    ResearchQuery query;
    query.filter = options.filter;
    query.perAdministration = options.perAdministration;
    query.withNames = options.identified;
    ResearchSurvey survey;
    if (!surveySubjects(query, &survey, &detail))
        return failed();

    ClinicSecret secret;
    std::optional<Pseudonymiser> pseudonyms;
    if (!options.identified) {
        if (!secret.load(&detail))
            return failed();
        pseudonyms.emplace(secret);
    }

    OutputFile file(path, OutputFile::Streams::WriteThrough);
    Sink sink{&file, QString(), QByteArray()};
    sink.buffer.reserve(Sink::Gathered);
    ResearchFile research(options, survey, pseudonyms ? &*pseudonyms : nullptr);
    if (!file.open(&detail) || !research.begin(&sink, &detail))
        return failed();
    if (progress && !progress(0, survey.subjects))
        return ExportResult::Cancelled;

    std::unique_ptr<ResearchRows> rows = readResearchRows(query, survey, &detail);
    if (!rows)
        return failed();
    qint64 written = 0;
    qint64 subjects = 0;
    qint64 lastSubject = -1;
    int sinceProgress = 0;
    while (rows->next()) {
        bool null = false;
        const qint64 key = rows->integer(KeyColumn, &null);
        if (key != lastSubject) {
            lastSubject = key;
            ++subjects;
        }
        // The survey counted the rows the file's header promises; a restore
        // since then may have changed them.
        if (++written > survey.rows)
            break;
        if (!research.writeRow(*rows, &sink, &detail))
            return failed();
        if (++sinceProgress == RowsBetweenProgress) {
            sinceProgress = 0;
            if (progress && !progress(subjects, survey.subjects))
                return ExportResult::Cancelled;
        }
    }
    if (!rows->error().isEmpty()) {
        detail = rows->error();
        return failed();
    }
    rows.reset();
    if (written != survey.rows) {
        detail = QStringLiteral("آزمودني ها در ميان کار تغيير کردند؛ دوباره خروجي بگيريد.");
        return failed();
    }
    if (!research.end(&sink, &detail))
        return failed();
    if (!sink.flush()) {
        detail = sink.error;
        return failed();
    }
    ResearchSummary done;
    done.subjects = subjects;
    done.rows = written;
    done.cutTexts = research.cutTexts();
    // Recorded before the file takes its name: an export nobody could record
    // leaves no file behind.
    if (!recordResearch(options, done, &detail))
        return failed();
    if (!file.commit(&detail))
        return failed();
    if (summary)
        *summary = done;
    if (progress)
        progress(survey.subjects, survey.subjects);
    return ExportResult::Written;
}

QString researchFailureMessage(const QString& path, const QString& detail) {
    return QStringLiteral("فايل پژوهشي ذخيره نشد و پرونده اي ساخته نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(path), detail);
}

QString researchDoneMessage(const ResearchSummary& summary) {
    QString text = QStringLiteral("فايل پژوهشي ذخيره شد: %1 سطر از %2 آزمودني")
                       .arg(summary.rows)
                       .arg(summary.subjects);
    if (summary.cutTexts > 0)
        text += QStringLiteral("\n%1 متن بلندتر از گنجايش اين قالب بود و کوتاه شد.")
                    .arg(summary.cutTexts);
    return text;
}

QString defaultResearchName(const QDate& date, ResearchFormat format) {
    return QStringLiteral("Velmora research %1.%2")
        .arg(SolarDate(date, 0).replace(QLatin1Char('/'), QLatin1Char('-')),
             format == ResearchFormat::Spss ? QStringLiteral("sav") : QStringLiteral("dta"));
}

int exportResearchCommand(const QString& file, const ResearchOptions& options, QTextStream& out,
                          QTextStream& err) {
    const QString path = file.isEmpty() ? file : QDir::current().absoluteFilePath(file);
    const auto fail = [&](const QString& detail) {
        err << researchFailureMessage(path, detail) << '\n';
        err.flush();
        return 1;
    };
    if (file.isEmpty())
        return fail(QStringLiteral("no file was named"));
    const std::optional<ResearchFormat> format = researchFormatOf(path);
    if (!format)
        return fail(QStringLiteral("نام فايل بايد به .sav (SPSS) يا .dta (Stata) ختم شود. "
                                   "The file name must end in .sav (SPSS) or .dta (Stata)."));
    ResearchOptions chosen = options;
    chosen.format = *format;
    chosen.filter = SubjectFilter();
    if (!Access::permitCommand(researchAction(chosen), err))
        return 1;
    ResearchSummary summary;
    QString detail;
    if (exportResearch(path, chosen, ExportProgress(), &summary, &detail) != ExportResult::Written)
        return fail(detail);
    out << researchDoneMessage(summary) << '\n';
    out.flush();
    return 0;
}

} // namespace velmora
