#include "scoring/PdfText.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace velmora {

namespace {

// Letters that a font may draw with one glyph in some of their forms: the
// forms (as the text map may name that glyph), the letters it may stand for,
// and whether those forms join the next letter.
struct LookAlike {
    QList<char16_t> forms;
    QList<char16_t> letters;
    bool joined;
};
const QList<LookAlike> LookAlikes = {
    // yeh joined to the next letter: two dots below, Persian or Arabic
    {{0xFBFE, 0xFBFF, 0xFEF3, 0xFEF4}, {0x064A, 0x06CC}, true},
    // yeh at the end of a word without dots: Persian yeh or alef maksura
    {{0x06CC, 0xFBFC, 0xFBFD, 0x0649, 0xFEEF, 0xFEF0}, {0x06CC, 0x0649}, false},
    // kaf joined to the next letter: Arabic kaf or Persian keheh
    {{0xFB90, 0xFB91, 0xFEDB, 0xFEDC}, {0x0643, 0x06A9}, true},
};

bool isArabicLetter(QChar c) {
    return c.isLetter() && c.unicode() >= 0x0600 && c.unicode() <= 0x06FF;
}

class LetterChoice {
public:
    // Counts each letter of the page's text, apart where it joins the next
    // letter and where it ends a word.
    explicit LetterChoice(const QString& drawnText) {
        for (qsizetype i = 0; i < drawnText.size(); ++i) {
            const bool joined = i + 1 < drawnText.size() && isArabicLetter(drawnText.at(i + 1));
            ++(joined ? m_joined : m_end)[drawnText.at(i).unicode()];
        }
    }

    // The letter meant by a glyph the map names by form: of look-alikes, the
    // one the page writes most in that place of a word; otherwise letter.
    QChar choose(QChar form, QChar letter) const {
        for (const LookAlike& group : LookAlikes) {
            if (!group.forms.contains(form.unicode()))
                continue;
            const QHash<char16_t, int>& counts = group.joined ? m_joined : m_end;
            char16_t best = letter.unicode();
            int bestCount = 0;
            for (const char16_t candidate : group.letters)
                if (counts.value(candidate) > bestCount) {
                    best = candidate;
                    bestCount = counts.value(candidate);
                }
            return QChar(best);
        }
        return letter;
    }

private:
    QHash<char16_t, int> m_joined;
    QHash<char16_t, int> m_end;
};

QString logicalText(const QString& mapped, const LetterChoice& choice) {
    QString letters;
    for (const QChar c : mapped) {
        if (c.unicode() > 0 && c.unicode() < 0x20) {
            letters += QLatin1Char(' '); // a tab or line break that shares the blank's glyph
            continue;
        }
        QString letter(c);
        switch (c.decompositionTag()) {
        case QChar::Initial:
        case QChar::Medial:
        case QChar::Final:
        case QChar::Isolated:
            // A ligature (lam-alef) stays the one character it is: readers
            // lay the letters of one glyph out left to right, which would
            // turn a right-to-left pair around.
            if (c.decomposition().size() == 1)
                letter = c.decomposition();
            break;
        default:
            break;
        }
        if (letter.size() == 1)
            letter = choice.choose(c, letter.at(0));
        letters += letter;
    }
    return letters;
}

QString fromUtf16Hex(const QByteArray& hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t((uchar(bytes.at(i)) << 8) | uchar(bytes.at(i + 1))));
    return text;
}

QByteArray toUtf16Hex(const QString& text) {
    QByteArray hex;
    for (const QChar c : text)
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return hex;
}

// The hex strings and brackets of a bfchar or bfrange block.
QList<QByteArray> tokens(const QByteArray& block) {
    QList<QByteArray> list;
    for (qsizetype i = 0; i < block.size(); ++i) {
        const char c = block.at(i);
        if (c == '[' || c == ']') {
            list.append(QByteArray(1, c));
        } else if (c == '<') {
            const qsizetype end = block.indexOf('>', i);
            if (end < 0)
                return {};
            list.append(block.mid(i + 1, end - i - 1));
            i = end;
        }
    }
    return list;
}

// Reads the code-to-text entries of a ToUnicode CMap; false when its form is
// not the one expected.
bool readCMap(const QByteArray& cmap, QMap<uint, QString>* entries) {
    static const QRegularExpression blocks(QStringLiteral("beginbf(char|range)(.*?)endbf\\1"),
                                           QRegularExpression::DotMatchesEverythingOption);
    auto it = blocks.globalMatch(QString::fromLatin1(cmap));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QList<QByteArray> t = tokens(m.captured(2).toLatin1());
        if (m.captured(1) == QLatin1String("char")) {
            if (t.size() % 2 != 0)
                return false;
            for (qsizetype i = 0; i < t.size(); i += 2)
                entries->insert(t.at(i).toUInt(nullptr, 16), fromUtf16Hex(t.at(i + 1)));
            continue;
        }
        for (qsizetype i = 0; i < t.size();) {
            if (i + 2 >= t.size())
                return false;
            const uint low = t.at(i).toUInt(nullptr, 16);
            const uint high = t.at(i + 1).toUInt(nullptr, 16);
            if (high < low)
                return false;
            if (t.at(i + 2) == "[") {
                qsizetype j = i + 3;
                for (uint code = low; code <= high; ++code, ++j) {
                    if (j >= t.size() || t.at(j) == "]")
                        return false;
                    entries->insert(code, fromUtf16Hex(t.at(j)));
                }
                if (j >= t.size() || t.at(j) != "]")
                    return false;
                i = j + 1;
            } else {
                QString text = fromUtf16Hex(t.at(i + 2));
                if (text.isEmpty())
                    return false;
                for (uint code = low; code <= high; ++code) {
                    entries->insert(code, text);
                    text.back() = QChar(char16_t(text.back().unicode() + 1));
                }
                i += 3;
            }
        }
    }
    return true;
}

bool rewriteCMap(const QByteArray& cmap, const LetterChoice& choice, QByteArray* result) {
    static const QRegularExpression firstBlock(QStringLiteral("\\d+\\s+beginbf"));
    const QString text = QString::fromLatin1(cmap);
    const qsizetype start = firstBlock.match(text).capturedStart();
    const qsizetype end = cmap.indexOf("endcmap");
    QMap<uint, QString> entries;
    if (start < 0 || end < start || !readCMap(cmap, &entries))
        return false;
    QByteArray rewritten = cmap.left(start);
    const QList<uint> codes = entries.keys();
    // At most a hundred entries to a block.
    for (qsizetype first = 0; first < codes.size(); first += 100) {
        const qsizetype count = std::min<qsizetype>(100, codes.size() - first);
        rewritten += QByteArray::number(count) + " beginbfchar\n";
        for (qsizetype i = first; i < first + count; ++i)
            rewritten +=
                '<' + QByteArray::number(codes.at(i), 16).rightJustified(4, '0').toUpper() + "> <" +
                toUtf16Hex(logicalText(entries.value(codes.at(i)), choice)) + ">\n";
        rewritten += "endbfchar\n";
    }
    rewritten += cmap.mid(end);
    *result = rewritten;
    return true;
}

struct Splice {
    qsizetype at;
    qsizetype length;
    QByteArray with;
};

} // namespace

bool restoreLogicalText(QByteArray* pdf, const QString& drawnText) {
    const QByteArray& in = *pdf;
    const qsizetype startxref = in.lastIndexOf("startxref");
    if (startxref < 0)
        return false;
    bool ok = false;
    const qsizetype xref = in.mid(startxref + 9, in.indexOf("%%EOF", startxref) - startxref - 9)
                               .trimmed()
                               .toLongLong(&ok);
    if (!ok || xref <= 0 || xref >= startxref || !in.mid(xref).startsWith("xref\n"))
        return false;

    // One table section from object 0, twenty bytes to an entry.
    const qsizetype sectionLine = xref + 5;
    const qsizetype entriesStart = in.indexOf('\n', sectionLine) + 1;
    const QList<QByteArray> section =
        in.mid(sectionLine, entriesStart - sectionLine - 1).split(' ');
    if (entriesStart <= 0 || section.size() != 2 || section.at(0) != "0")
        return false;
    const int objectCount = section.at(1).toInt(&ok);
    const qsizetype entriesEnd = entriesStart + 20 * qsizetype(objectCount);
    if (!ok || objectCount <= 0 || entriesEnd > startxref)
        return false;
    QList<qint64> offsets;
    for (int n = 0; n < objectCount; ++n) {
        const QByteArray entry = in.mid(entriesStart + 20 * n, 20);
        offsets.append(entry.at(17) == 'n' ? entry.left(10).toLongLong() : -1);
    }

    const LetterChoice choice(drawnText);
    QList<Splice> splices;
    QSet<int> seen;
    static const QRegularExpression toUnicode(QStringLiteral("/ToUnicode (\\d+) 0 R"));
    static const QRegularExpression streamHead(
        QStringLiteral("^(\\d+) 0 obj\\n<< /Length (\\d+) >>\\nstream\\n"));
    auto it = toUnicode.globalMatch(QString::fromLatin1(in.left(xref)));
    while (it.hasNext()) {
        const int object = it.next().captured(1).toInt();
        if (seen.contains(object))
            continue;
        seen.insert(object);
        if (object <= 0 || object >= objectCount || offsets.at(object) < 0)
            return false;
        const qsizetype at = offsets.at(object);
        const QRegularExpressionMatch head = streamHead.match(QString::fromLatin1(in.mid(at, 64)));
        if (!head.hasMatch() || head.captured(1).toInt() != object)
            return false;
        const qsizetype dataStart = at + head.capturedLength();
        const qsizetype length = head.captured(2).toLongLong();
        if (!in.mid(dataStart + length).startsWith("\nendstream") &&
            !in.mid(dataStart + length).startsWith("endstream"))
            return false;
        QByteArray cmap;
        if (!rewriteCMap(in.mid(dataStart, length), choice, &cmap))
            return false;
        splices.append({at, dataStart + length - at,
                        QByteArray::number(object) + " 0 obj\n<< /Length " +
                            QByteArray::number(cmap.size()) + " >>\nstream\n" + cmap});
    }
    if (splices.isEmpty())
        return true;
    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.at < b.at; });

    // The objects with the new maps, then the table with every object's new place.
    QByteArray out;
    out.reserve(in.size() + 4096);
    qsizetype from = 0;
    for (const Splice& s : splices) {
        out += in.mid(from, s.at - from);
        out += s.with;
        from = s.at + s.length;
    }
    out += in.mid(from, xref - from);
    const auto moved = [&splices](qint64 offset) {
        qint64 shift = 0;
        for (const Splice& s : splices)
            if (s.at < offset)
                shift += s.with.size() - s.length;
        return offset + shift;
    };
    const qint64 newXref = out.size();
    out += in.mid(xref, entriesStart - xref);
    for (int n = 0; n < objectCount; ++n) {
        QByteArray entry = in.mid(entriesStart + 20 * n, 20);
        if (offsets.at(n) >= 0)
            entry.replace(0, 10, QByteArray::number(moved(offsets.at(n))).rightJustified(10, '0'));
        out += entry;
    }
    out += in.mid(entriesEnd, startxref - entriesEnd);
    out += "startxref\n" + QByteArray::number(newXref) + "\n%%EOF\n";
    *pdf = out;
    return true;
}

} // namespace velmora
