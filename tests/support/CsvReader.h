#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

namespace velmora {

// A CSV file read strictly as RFC 4180 writes it: records end with CR LF,
// fields that hold a comma, a quote or a line break are quoted, a quote inside
// is doubled. Anything else (a bare line break, a stray quote, bytes that are
// not UTF-8) is an error, so a test sees every way a writer can go wrong.
struct CsvContent {
    bool byteOrderMark = false;
    QList<QStringList> rows;
    QString error; // empty when the file was well-formed
};

inline CsvContent parseCsv(QByteArray bytes) {
    CsvContent result;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        result.byteOrderMark = true;
        bytes.remove(0, 3);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        result.error = QStringLiteral("not UTF-8");
        return result;
    }
    QStringList row;
    QString field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the current field was quoted and has ended
    bool fieldStart = true; // nothing of the current field read yet
    const auto fail = [&result](const QString& why, qsizetype at) {
        result.error = QStringLiteral("%1 at character %2").arg(why).arg(at);
        return result;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char(',')) {
            row.append(field);
            field.clear();
            wasQuoted = false;
            fieldStart = true;
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n'))
                return fail(QStringLiteral("a CR without LF"), i);
            ++i;
            row.append(field);
            result.rows.append(row);
            row.clear();
            field.clear();
            wasQuoted = false;
            fieldStart = true;
        } else if (c == QLatin1Char('\n')) {
            return fail(QStringLiteral("a bare LF"), i);
        } else if (c == QLatin1Char('"')) {
            if (!fieldStart)
                return fail(QStringLiteral("a quote inside an unquoted field"), i);
            quoted = true;
            fieldStart = false;
        } else {
            if (wasQuoted)
                return fail(QStringLiteral("text after a closing quote"), i);
            field += c;
            fieldStart = false;
        }
    }
    if (quoted)
        return fail(QStringLiteral("an unterminated quote"), text.size());
    if (!fieldStart || !row.isEmpty())
        return fail(QStringLiteral("a last record without CR LF"), text.size());
    return result;
}

} // namespace velmora
