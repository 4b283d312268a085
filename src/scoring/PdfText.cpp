#include "scoring/PdfText.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <vector>

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

// The ToUnicode map cmap with its entries replaced by letters (code to text),
// in blocks of at most a hundred entries.
QByteArray withEntries(const QByteArray& cmap, const QMap<uint, QString>& letters) {
    static const QRegularExpression firstBlock(QStringLiteral("\\d+\\s+beginbf"));
    const qsizetype start = firstBlock.match(QString::fromLatin1(cmap)).capturedStart();
    const qsizetype end = cmap.indexOf("endcmap");
    QByteArray rewritten = cmap.left(start);
    const QList<uint> codes = letters.keys();
    for (qsizetype first = 0; first < codes.size(); first += 100) {
        const qsizetype count = std::min<qsizetype>(100, codes.size() - first);
        rewritten += QByteArray::number(count) + " beginbfchar\n";
        for (qsizetype i = first; i < first + count; ++i)
            rewritten += '<' +
                         QByteArray::number(codes.at(i), 16).rightJustified(4, '0').toUpper() +
                         "> <" + toUtf16Hex(letters.value(codes.at(i))) + ">\n";
        rewritten += "endbfchar\n";
    }
    rewritten += cmap.mid(end);
    return rewritten;
}

// A PDF as Qt writes it: a header, the objects one after the other (the
// table's offsets say where), one table from object 0 and the trailer. Objects
// can be replaced and added; write() lays the file out again with a new table.
class PdfObjects {
public:
    bool read(const QByteArray& pdf) {
        const qsizetype startxref = pdf.lastIndexOf("startxref");
        if (startxref < 0)
            return false;
        bool ok = false;
        const qsizetype xref =
            pdf.mid(startxref + 9, pdf.indexOf("%%EOF", startxref) - startxref - 9)
                .trimmed()
                .toLongLong(&ok);
        if (!ok || xref <= 0 || xref >= startxref || !pdf.mid(xref).startsWith("xref\n"))
            return false;
        const qsizetype sectionLine = xref + 5;
        const qsizetype entriesStart = pdf.indexOf('\n', sectionLine) + 1;
        const QList<QByteArray> section =
            pdf.mid(sectionLine, entriesStart - sectionLine - 1).split(' ');
        if (entriesStart <= 0 || section.size() != 2 || section.at(0) != "0")
            return false;
        const int count = section.at(1).toInt(&ok);
        const qsizetype entriesEnd = entriesStart + 20 * qsizetype(count);
        if (!ok || count <= 0 || entriesEnd > startxref)
            return false;
        QList<QPair<qint64, int>> placed;
        for (int n = 1; n < count; ++n) {
            const QByteArray entry = pdf.mid(entriesStart + 20 * n, 20);
            if (entry.size() == 20 && entry.at(17) == 'n')
                placed.append({entry.left(10).toLongLong(), n});
        }
        std::sort(placed.begin(), placed.end());
        if (placed.isEmpty() || placed.first().first <= 0)
            return false;
        m_header = pdf.left(placed.first().first);
        m_bodies.assign(std::size_t(count), QByteArray());
        for (qsizetype i = 0; i < placed.size(); ++i) {
            const auto [offset, n] = placed.at(i);
            const qint64 next = i + 1 < placed.size() ? placed.at(i + 1).first : xref;
            const QByteArray raw = pdf.mid(offset, next - offset);
            const QByteArray opening = QByteArray::number(n) + " 0 obj\n";
            const qsizetype end = raw.lastIndexOf("endobj");
            if (!raw.startsWith(opening) || end < 0)
                return false;
            m_bodies[std::size_t(n)] = raw.mid(opening.size(), end - opening.size());
            m_order.append(n);
        }
        m_trailer = pdf.mid(entriesEnd, startxref - entriesEnd);
        return m_trailer.startsWith("trailer");
    }

    int count() const { return int(m_bodies.size()); }
    QByteArray body(int n) const {
        return n > 0 && n < count() ? m_bodies[std::size_t(n)] : QByteArray();
    }
    void setBody(int n, const QByteArray& body) { m_bodies[std::size_t(n)] = body; }
    int add(const QByteArray& body) {
        m_bodies.push_back(body);
        m_order.append(count() - 1);
        return count() - 1;
    }
    // The objects in the file's order.
    const QList<int>& order() const { return m_order; }

    QByteArray write() const {
        QByteArray out = m_header;
        std::vector<qint64> offsets(m_bodies.size(), -1);
        for (const int n : m_order) {
            offsets[std::size_t(n)] = out.size();
            out += QByteArray::number(n) + " 0 obj\n" + m_bodies[std::size_t(n)] + "endobj\n";
        }
        const qint64 xref = out.size();
        out += "xref\n0 " + QByteArray::number(count()) + '\n';
        out += "0000000000 65535 f \n";
        for (int n = 1; n < count(); ++n)
            out += offsets[std::size_t(n)] < 0
                       ? QByteArray("0000000000 65535 f \n")
                       : QByteArray::number(offsets[std::size_t(n)]).rightJustified(10, '0') +
                             " 00000 n \n";
        static const QRegularExpression size(QStringLiteral("/Size \\d+"));
        out += QString::fromLatin1(m_trailer)
                   .replace(size, QStringLiteral("/Size %1").arg(count()))
                   .toLatin1();
        out += "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return out;
    }

private:
    QByteArray m_header;
    std::vector<QByteArray> m_bodies;
    QList<int> m_order;
    QByteArray m_trailer;
};

// The data of a stream object's body as Qt writes it ("<< /Length n >>" or a
// length in another object), and where it lies in the body.
struct StreamData {
    qsizetype start = -1;
    qsizetype length = -1;
    int lengthObject = 0; // the object that holds the length, when not in place
    bool compressed = false;
};

StreamData streamData(const PdfObjects& objects, const QByteArray& body) {
    StreamData data;
    static const QRegularExpression direct(QStringLiteral("^<<\\s*/Length (\\d+)\\s"));
    static const QRegularExpression indirect(QStringLiteral("^<<\\s*/Length (\\d+) 0 R\\s"));
    const qsizetype start = body.indexOf("stream\n");
    if (start < 0)
        return data;
    const QString head = QString::fromLatin1(body.left(start));
    data.compressed = head.contains(QLatin1String("/FlateDecode"));
    if (const QRegularExpressionMatch m = indirect.match(head); m.hasMatch()) {
        data.lengthObject = m.captured(1).toInt();
        data.length = objects.body(data.lengthObject).trimmed().toLongLong();
    } else if (const QRegularExpressionMatch d = direct.match(head); d.hasMatch()) {
        data.length = d.captured(1).toLongLong();
    }
    data.start = start + 7;
    if (data.length < 0 || data.start + data.length > body.size())
        data.start = -1;
    return data;
}

QByteArray inflated(const QByteArray& compressed) {
    // qUncompress wants the size ahead; a page's text compresses well.
    for (qint64 guess = 16 * compressed.size() + 4096; guess < (qint64(1) << 31); guess *= 4) {
        QByteArray sized(4, '\0');
        sized[0] = char((guess >> 24) & 0xff);
        sized[1] = char((guess >> 16) & 0xff);
        sized[2] = char((guess >> 8) & 0xff);
        sized[3] = char(guess & 0xff);
        QByteArray data = qUncompress(sized + compressed);
        if (!data.isEmpty())
            return data;
    }
    return QByteArray();
}

// One text object of a page's content: the font resource it names, where
// that name stands, where its first glyph is drawn (device units) and the
// glyph codes it shows.
struct TextObject {
    QByteArray font;
    qsizetype fontAt = -1;
    QPointF origin;
    QSet<uint> codes;
};

QList<TextObject> textObjects(const QByteArray& content) {
    static const QRegularExpression fontUse(QStringLiteral("/(F\\d+) [-0-9.]+ Tf"));
    static const QRegularExpression move(QStringLiteral("([-0-9.]+) ([-0-9.]+) Td"));
    static const QRegularExpression glyph(QStringLiteral("<([0-9A-Fa-f]{4})> Tj"));
    QList<TextObject> found;
    const QString text = QString::fromLatin1(content);
    qsizetype at = 0;
    for (;;) {
        const qsizetype begin = text.indexOf(QLatin1String("BT\n"), at);
        if (begin < 0)
            break;
        const qsizetype end = text.indexOf(QLatin1String("ET\n"), begin);
        if (end < 0)
            break;
        const QString block = text.mid(begin, end - begin);
        TextObject object;
        if (const QRegularExpressionMatch f = fontUse.match(block); f.hasMatch()) {
            object.font = f.captured(1).toLatin1();
            object.fontAt = begin + f.capturedStart(1);
        }
        // The text matrix turns the page upside down: a move down is negative.
        if (const QRegularExpressionMatch m = move.match(block); m.hasMatch())
            object.origin = QPointF(m.captured(1).toDouble(), -m.captured(2).toDouble());
        auto glyphs = glyph.globalMatch(block);
        while (glyphs.hasNext())
            object.codes.insert(glyphs.next().captured(1).toUInt(nullptr, 16));
        if (object.fontAt >= 0 && !object.codes.isEmpty())
            found.append(object);
        at = end + 3;
    }
    return found;
}

// The fonts a page's resources name: resource name to object.
QMap<QByteArray, int> pageFonts(const QByteArray& resources) {
    QMap<QByteArray, int> fonts;
    const qsizetype start = resources.indexOf("/Font <<");
    if (start < 0)
        return fonts;
    const qsizetype end = resources.indexOf(">>", start);
    static const QRegularExpression entry(QStringLiteral("/(F\\d+) (\\d+) 0 R"));
    auto it = entry.globalMatch(QString::fromLatin1(resources.mid(start, end - start)));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        fonts.insert(m.captured(1).toLatin1(), m.captured(2).toInt());
    }
    return fonts;
}

// The text the label at point shows: the smallest box around it.
const DrawnLabel* labelAt(const QList<DrawnLabel>& labels, QPointF point) {
    const DrawnLabel* best = nullptr;
    for (const DrawnLabel& label : labels) {
        // A glyph's origin may lie a hair outside its box (its baseline on
        // the box's edge).
        const QRectF box = label.box.adjusted(-2, -2, 2, 2);
        if (box.contains(point) &&
            (!best || box.width() * box.height() < best->box.width() * best->box.height()))
            best = &label;
    }
    return best;
}

} // namespace

bool restoreLogicalText(QByteArray* pdf, const QString& drawnText,
                        const QList<DrawnLabel>& labels) {
    PdfObjects objects;
    if (!objects.read(*pdf))
        return false;

    // Every font's map: the letters its glyphs stand for, chosen for the page.
    struct Font {
        int mapObject = 0;
        QMap<uint, QString> mapped;  // as the font maps its glyphs
        QMap<uint, QString> letters; // as the page's text writes them
    };
    QMap<int, Font> fonts;
    const LetterChoice pageChoice(drawnText);
    static const QRegularExpression toUnicode(QStringLiteral("/ToUnicode (\\d+) 0 R"));
    for (const int n : objects.order()) {
        const QRegularExpressionMatch m = toUnicode.match(QString::fromLatin1(objects.body(n)));
        if (!m.hasMatch())
            continue;
        Font font;
        font.mapObject = m.captured(1).toInt();
        const QByteArray map = objects.body(font.mapObject);
        const StreamData data = streamData(objects, map);
        if (data.start < 0 || data.compressed || data.lengthObject != 0)
            return false;
        if (!readCMap(map.mid(data.start, data.length), &font.mapped))
            return false;
        for (auto it = font.mapped.cbegin(); it != font.mapped.cend(); ++it)
            font.letters.insert(it.key(), logicalText(it.value(), pageChoice));
        fonts.insert(n, font);
    }
    const auto writeMap = [&objects](int object, const QMap<uint, QString>& letters) {
        const QByteArray map = objects.body(object);
        const StreamData data = streamData(objects, map);
        const QByteArray cmap = withEntries(map.mid(data.start, data.length), letters);
        objects.setBody(object, "<< /Length " + QByteArray::number(cmap.size()) + " >>\nstream\n" +
                                    cmap + "\nendstream\n");
    };
    for (auto it = fonts.cbegin(); it != fonts.cend(); ++it)
        writeMap(it->mapObject, it->letters);

    // A label whose letters the page's choice would misname gets a copy of
    // its font of its own, with a map that follows the label's text: two
    // letters drawn with one glyph read as typed in each label.
    if (!labels.isEmpty()) {
        QMap<QByteArray, int> copies; // font and its letters -> the copy's object
        for (const int page : objects.order()) {
            const QString body = QString::fromLatin1(objects.body(page));
            static const QRegularExpression isPage(QStringLiteral("/Type /Page\\s"));
            static const QRegularExpression contents(QStringLiteral("/Contents (\\d+) 0 R"));
            static const QRegularExpression resources(QStringLiteral("/Resources (\\d+) 0 R"));
            const QRegularExpressionMatch c = contents.match(body);
            const QRegularExpressionMatch r = resources.match(body);
            if (!isPage.match(body).hasMatch() || !c.hasMatch() || !r.hasMatch())
                continue;
            const int contentObject = c.captured(1).toInt();
            const int resourceObject = r.captured(1).toInt();
            const QByteArray contentBody = objects.body(contentObject);
            const StreamData data = streamData(objects, contentBody);
            if (data.start < 0)
                return false;
            QByteArray content = contentBody.mid(data.start, data.length);
            if (data.compressed)
                content = inflated(content);
            if (content.isEmpty())
                return false;
            const QMap<QByteArray, int> resourceFonts = pageFonts(objects.body(resourceObject));
            QList<QPair<qsizetype, QByteArray>> renames; // where a font's name is replaced
            QMap<QByteArray, int> added;                 // resource names the page gains
            for (const TextObject& text : textObjects(content)) {
                const DrawnLabel* label = labelAt(labels, text.origin);
                const int fontObject = resourceFonts.value(text.font);
                if (!label || !fonts.contains(fontObject))
                    continue;
                const Font& font = fonts[fontObject];
                const LetterChoice labelChoice(label->text);
                QMap<uint, QString> letters = font.letters;
                bool differs = false;
                for (const uint code : text.codes) {
                    if (!font.mapped.contains(code))
                        continue;
                    const QString own = logicalText(font.mapped.value(code), labelChoice);
                    if (own != letters.value(code)) {
                        letters.insert(code, own);
                        differs = true;
                    }
                }
                if (!differs)
                    continue;
                QByteArray key = QByteArray::number(fontObject);
                for (auto it = letters.cbegin(); it != letters.cend(); ++it)
                    key += ';' + QByteArray::number(it.key()) + '=' + it.value().toUtf8();
                int copy = copies.value(key);
                if (!copy) {
                    const int map = objects.add(QByteArray());
                    objects.setBody(map, objects.body(font.mapObject));
                    writeMap(map, letters);
                    copy = objects.add(
                        QString::fromLatin1(objects.body(fontObject))
                            .replace(toUnicode, QStringLiteral("/ToUnicode %1 0 R").arg(map))
                            .toLatin1());
                    copies.insert(key, copy);
                }
                const QByteArray name = "F" + QByteArray::number(copy);
                renames.append({text.fontAt, name});
                added.insert(name, copy);
            }
            if (renames.isEmpty())
                continue;
            // From the end, so the earlier places stay where they were.
            std::sort(renames.begin(), renames.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
            for (const auto& [at, name] : std::as_const(renames)) {
                const qsizetype end = content.indexOf(' ', at);
                content.replace(at, end - at, name);
            }
            QByteArray stored = content;
            if (data.compressed)
                stored = qCompress(content).mid(4); // the zlib stream without Qt's size
            QByteArray newBody =
                contentBody.left(data.start) + stored + contentBody.mid(data.start + data.length);
            if (data.lengthObject)
                objects.setBody(data.lengthObject, QByteArray::number(stored.size()) + '\n');
            else
                newBody.replace(contentBody.indexOf("/Length ") + 8,
                                QByteArray::number(data.length).size(),
                                QByteArray::number(stored.size()));
            objects.setBody(contentObject, newBody);
            QByteArray resourceBody = objects.body(resourceObject);
            const qsizetype fontDictionary = resourceBody.indexOf("/Font <<");
            if (fontDictionary < 0)
                return false;
            QByteArray entries;
            for (auto it = added.cbegin(); it != added.cend(); ++it)
                entries += '/' + it.key() + ' ' + QByteArray::number(it.value()) + " 0 R\n";
            resourceBody.insert(fontDictionary + 8, "\n" + entries.chopped(1));
            objects.setBody(resourceObject, resourceBody);
        }
    }
    *pdf = objects.write();
    return true;
}

} // namespace velmora
