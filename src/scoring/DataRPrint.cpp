#include "scoring/DataRPrint.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "calendar/SolarCalendar.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "scoring/PdfFile.h"
#include "scoring/PdfText.h"
#include "scoring/Scales.h"
#include "ui/Captions.h"
#include "ui/Notice.h"
#include "ui/Twips.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

const QColor Ink(0x22, 0x1c, 0x18);
const QColor HeaderInk(0x6a, 0x17, 0x1f);
const QColor RuleInk(0x4a, 0x3a, 0x30);

// The rows of the score table, in scale order.
struct ScoreRow {
    int top;
    const char* value;
    int valueLeft, valueWidth;
    const char* name;
    int nameLeft, nameWidth;
};
constexpr ScoreRow ScoreRows[ScaleCount] = {
    {3402, "Label2", 2457, 948, "Label17", 3401, 1203},
    {3843, "Label18", 2457, 948, "Label19", 3401, 1203},
    {4283, "Label20", 2456, 948, "Label21", 3401, 1203},
    {4725, "Label22", 2457, 828, "Label23", 3275, 1338},
    {5166, "Label24", 2457, 900, "Label25", 3339, 1290},
    {5607, "Label26", 2457, 900, "Label27", 3338, 1275},
    {6048, "Label28", 2457, 900, "Label29", 3338, 1275},
};

ReportLabel label(const char* name, int left, int top, int width, int height,
                  const QString& caption, double points = 11, bool bold = false,
                  Qt::Alignment alignment = Qt::AlignHCenter, bool wrap = false) {
    return ReportLabel{QString::fromLatin1(name),
                       left,
                       top,
                       width,
                       height,
                       caption,
                       points,
                       bold,
                       alignment,
                       wrap};
}

ReportSection detailSection() {
    ReportSection s;
    s.name = QStringLiteral("Section1");
    s.height = 9510;
    s.pictures.append({QStringLiteral("Image3"), 0, 0, 6810, 9507});

    // Header.
    s.labels.append(label("Label9", 630, 189, 6108, 510, QString(), 16, true));
    s.labels.append(label("Label3", 630, 693, 6105, 510,
                          QStringLiteral("گزارش نتيجه تست  ولمورا هاي دفاعي در برابر تغيير "), 13,
                          true));

    // Subject grid: a heading row over a value row, six columns read from
    // right to left.
    for (const int y : {1701, 2268, 2835})
        s.lines.append({567, y, 6740, y});
    for (const int x : {567, 1890, 2772, 4095, 4725, 5796, 6741})
        s.lines.append({x, 1701, x, 2835});
    const QString blank = QStringLiteral(" ");
    s.labels.append(label("Label4", 5795, 1764, 906, 465, QStringLiteral("نام "), 11, true));
    s.labels.append(label("Label5", 5795, 2268, 903, 465, blank));
    s.labels.append(
        label("Label1", 4724, 1764, 1032, 465, QStringLiteral("نام خانوادگي"), 11, true));
    s.labels.append(label("Label10", 4724, 2268, 1071, 465, blank));
    s.labels.append(label("Label7", 4095, 1701, 591, 465, QStringLiteral("سن"), 11, true));
    s.labels.append(label("Label11", 4095, 2268, 591, 465, blank));
    s.labels.append(
        label("Label6", 2772, 1701, 1287, 465, QStringLiteral("ميزان تحصيلات"), 11, true));
    s.labels.append(label("Label12", 2772, 2268, 1281, 465, blank));
    s.labels.append(label("Label32", 1952, 1764, 780, 465, QStringLiteral("گروه"), 11, true));
    s.labels.append(label("Label33", 1952, 2331, 777, 465, blank));
    s.labels.append(label("Label8", 630, 1701, 1260, 465, QStringLiteral("تاريخ"), 11, true));
    s.labels.append(label("Label13", 630, 2268, 1218, 465, blank));

    // Score table: the value on the left, the scale's name on the right.
    for (const Scale& scale : scales()) {
        const ScoreRow& r = ScoreRows[scale.number - 1];
        s.labels.append(label(r.value, r.valueLeft, r.top, r.valueWidth, 375,
                              QStringLiteral("Label2"), 12, true));
        s.labels.append(
            label(r.name, r.nameLeft, r.top, r.nameWidth, 375, scale.reportName, 11, true));
    }

    // Address.
    s.labels.append(
        label("Label15", 6047, 8001, 555, 375, QStringLiteral(":آدرس"), 11, true, Qt::AlignRight));
    s.labels.append(
        label("Label14", 1008, 8001, 5040, 627, QString(), 11, false, Qt::AlignRight, true));
    return s;
}

QRectF twipsRect(QPointF origin, double scale, double left, double top, double width,
                 double height) {
    return QRectF(origin.x() + left * scale, origin.y() + top * scale, width * scale,
                  height * scale);
}

// Room kept between a caption and the rules of its cell.
constexpr double LabelMargin = 60;
// The smallest size a caption is shrunk to before it is cut.
constexpr double SmallestPoints = 6;

// Breaks layout into lines of width, between words where it can and inside a
// word longer than a line. At most maxLines lines (all when negative); returns
// their height.
double breakLines(QTextLayout& layout, double width, int maxLines = -1) {
    layout.beginLayout();
    double height = 0;
    for (int n = 0; maxLines < 0 || n < maxLines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

// A text that runs onto more lines (the address): smaller until it fits its
// frame; at the smallest size, as many lines as the frame holds, the last one
// ending in an ellipsis.
void paintWrapped(QPainter& painter, QString text, QFont font, const QRectF& box,
                  const QTextOption& option) {
    QPaintDevice* const device = painter.device();
    for (;;) {
        QTextLayout layout(text, font, device);
        layout.setTextOption(option);
        if (breakLines(layout, box.width()) <= box.height() ||
            font.pointSizeF() - 0.5 < SmallestPoints)
            break;
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    int lines = 0;
    {
        QTextLayout layout(text, font, device);
        layout.setTextOption(option);
        layout.beginLayout();
        double height = 0;
        int lastStart = 0;
        bool cut = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(box.width());
            if (lines > 0 && height + line.height() > box.height()) {
                cut = true;
                break;
            }
            lastStart = line.textStart();
            height += line.height();
            ++lines;
        }
        layout.endLayout();
        if (cut)
            text = text.left(lastStart) +
                   QFontMetricsF(font, device)
                       .elidedText(text.mid(lastStart), Qt::ElideRight, box.width());
    }
    QTextLayout layout(text, font, device);
    layout.setTextOption(option);
    breakLines(layout, box.width(), lines);
    layout.draw(&painter, box.topLeft());
}

// The left and right edges (twips) of the part of a label's frame that keeps
// LabelMargin clear of the upright rules at or near its sides.
QPair<double, double> clearOfRules(const ReportLabel& l, const QList<ReportLine>& lines) {
    double left = l.left, right = l.left + l.width;
    for (const ReportLine& line : lines) {
        if (line.x1 != line.x2 || std::max(line.y1, line.y2) <= l.top ||
            std::min(line.y1, line.y2) >= l.top + l.height)
            continue;
        if (std::abs(line.x1 - l.left) <= LabelMargin)
            left = std::max(left, double(line.x1) + LabelMargin);
        if (std::abs(line.x1 - (l.left + l.width)) <= LabelMargin)
            right = std::min(right, double(line.x1) - LabelMargin);
    }
    return {left, right};
}

void paintLabel(QPainter& painter, const ReportLabel& l, const QList<ReportLine>& lines,
                QPointF origin, double scale) {
    // A value cell that holds nothing stays a plain gap under its heading.
    if (l.caption.trimmed().isEmpty())
        return;
    const QRectF frame = twipsRect(origin, scale, l.left, l.top, l.width, l.height);
    // A caption keeps clear of the rules beside it, and however long it is,
    // it stays within its frame (and so on the page).
    const auto [left, right] = clearOfRules(l, lines);
    const QRectF box = twipsRect(origin, scale, left, l.top, right - left, l.height);
    const Qt::LayoutDirection direction = captionDirection(l.caption);
    QFont font = formFont(l.pointSize, l.bold);
    painter.save();
    painter.setClipRect(frame, Qt::IntersectClip);
    painter.setLayoutDirection(direction);
    if (l.wrap) {
        QTextOption option(l.alignment | Qt::AlignAbsolute);
        option.setTextDirection(direction);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        paintWrapped(painter, l.caption, font, box, option);
    } else {
        font = fittedFont(font, l.caption, box.width(), painter.device(), SmallestPoints);
        const QFontMetricsF metrics(font, painter.device());
        // Still too long at the smallest size: cut, and the ellipsis says so.
        const QString text = metrics.horizontalAdvance(l.caption) <= box.width()
                                 ? l.caption
                                 : metrics.elidedText(l.caption, Qt::ElideRight, box.width());
        const int flags =
            static_cast<int>(l.alignment) | Qt::AlignAbsolute | Qt::AlignVCenter |
            Qt::TextDontClip |
            (direction == Qt::RightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
        painter.setFont(font);
        painter.drawText(box, flags, text);
    }
    painter.restore();
}

void paintSection(QPainter& painter, const ReportSection& section, QPointF origin, double scale) {
    for (const ReportPicture& picture : section.pictures)
        paintReportPaper(painter, twipsRect(origin, scale, picture.left, picture.top, picture.width,
                                            picture.height));
    painter.setPen(QPen(RuleInk, std::max(1.0, 15 * scale), Qt::SolidLine, Qt::SquareCap));
    for (const ReportLine& line : section.lines)
        painter.drawLine(QPointF(origin.x() + line.x1 * scale, origin.y() + line.y1 * scale),
                         QPointF(origin.x() + line.x2 * scale, origin.y() + line.y2 * scale));
    for (const ReportLabel& l : section.labels) {
        painter.setPen(l.name == QLatin1String("Label9") ? HeaderInk : Ink);
        paintLabel(painter, l, section.lines, origin, scale);
    }
}

} // namespace

ReportLabel* ReportSection::control(const QString& name) {
    for (ReportLabel& l : labels)
        if (l.name == name)
            return &l;
    return nullptr;
}

const ReportLabel* ReportSection::control(const QString& name) const {
    for (const ReportLabel& l : labels)
        if (l.name == name)
            return &l;
    return nullptr;
}

QString DataRPrint::scoreLabel(int scaleNumber) {
    return QString::fromLatin1(ScoreRows[scaleNumber - 1].value);
}

QString DataRPrint::footerText() {
    return QStringLiteral("Velmora - counselling clinic software - help: help/index.html");
}

DataRPrint::DataRPrint() {
    ReportSection reportHeader;
    reportHeader.name = QStringLiteral("Section4");
    ReportSection pageHeader;
    pageHeader.name = QStringLiteral("Section2");
    ReportSection pageFooter;
    pageFooter.name = QStringLiteral("Section3");
    pageFooter.height = 3;
    ReportSection reportFooter;
    reportFooter.name = QStringLiteral("Section5");
    reportFooter.height = 222;
    reportFooter.labels.append(
        label("Label16", 0, 0, ReportWidth, 222, footerText(), 7, false, Qt::AlignHCenter));
    m_sections = {reportHeader, pageHeader, detailSection(), pageFooter, reportFooter};
}

ReportSection* DataRPrint::section(const QString& name) {
    for (ReportSection& s : m_sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

const ReportSection* DataRPrint::section(const QString& name) const {
    for (const ReportSection& s : m_sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

void DataRPrint::setDataSource(DataControl* source) {
    const qint64 sheets = source ? source->recordCount() : 0;
    m_details = static_cast<int>(std::clamp<qint64>(sheets, 1, 100));
}

void DataRPrint::show(QWidget* owner) const {
    const DataRPrint copy = *this;
    const Platform::PreviewAction save{
        savePdfCommand(), QStringLiteral("ذخيره به صورت PDF"),
        [copy](QWidget* preview, const QPageLayout& layout) { copy.savePdfAs(preview, layout); }};
    // A print nobody could record is not made.
    const QString code = m_code;
    const auto beforePrint = [code, owner = QPointer<QWidget>(owner)] {
        QString error;
        if (Access::allowed(Action::PrintReport) &&
            Audit::record(Action::PrintReport, code, Outcome::Done, QString(), &error))
            return true;
        if (!error.isEmpty())
            platform().messageBox(owner, errorTitle(), error, QMessageBox::Critical);
        return false;
    };
    platform().printPreview(
        owner, QString(), [copy](QPrinter& printer) { copy.paint(printer); }, {save}, beforePrint);
}

QString DataRPrint::drawnText() const {
    QStringList captions;
    for (const ReportSection& s : m_sections)
        for (const ReportLabel& l : s.labels)
            captions.append(l.caption);
    return captions.join(QLatin1Char('\n'));
}

QString DataRPrint::savePdfCommand() {
    return QStringLiteral("SavePdf");
}

QString DataRPrint::defaultPdfName(const QString& code, const QDate& date) {
    QString name = code;
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('-');
    if (name.startsWith(QLatin1Char('.')))
        name.replace(0, 1, QLatin1Char('-'));
    const QString day = SolarDate(date, 0).replace(QLatin1Char('/'), QLatin1Char('-'));
    return (name.isEmpty() ? day : name + QLatin1Char(' ') + day) + QStringLiteral(".pdf");
}

void DataRPrint::savePdfAs(QWidget* preview, const QPageLayout& layout) const {
    if (!Access::permit(Action::SaveReportPdf, preview, m_code))
        return;
    savePdfFromPreview(
        preview, QStringLiteral("ذخيره گزارش به صورت PDF"),
        defaultPdfName(m_code, QDate::currentDate()), QStringLiteral("گزارش"),
        [this, layout](const QString& path, QString* error) {
            // The file stays only once its saving is recorded.
            if (!savePdf(path, layout, error))
                return false;
            if (Audit::record(Action::SaveReportPdf, m_code, Outcome::Done, QString(), error))
                return true;
            QFile::remove(path);
            return false;
        });
}

bool DataRPrint::savePdf(const QString& path, const QPageLayout& layout, QString* error) const {
    // Every caption keeps its own letters: a name typed with Persian yeh
    // reads with Persian yeh, beside captions that write it the Arabic way.
    const PageGeometry page = pageGeometry(layout, PdfResolution);
    QList<DrawnLabel> labels;
    double y = 0;
    for (const char* name : {"Section4", "Section2", "Section1"}) {
        const ReportSection* s = section(QString::fromLatin1(name));
        for (const ReportLabel& l : s->labels)
            if (!l.caption.trimmed().isEmpty())
                labels.append({twipsRect(QPointF(page.origin.x(), page.origin.y() + y * page.scale),
                                         page.scale, l.left, l.top, l.width, l.height),
                               l.caption});
        y += s->height;
    }
    return writePdfFile(
        path, layout, QStringLiteral("%1 %2").arg(applicationTitle(), m_code),
        [this](QPrinter& printer) { paint(printer); }, drawnText(), labels, error);
}

DataRPrint::PageGeometry DataRPrint::pageGeometry(const QPageLayout& layout, int dpi) const {
    const QRectF paper = layout.fullRectPixels(dpi);
    const double body =
        section(QStringLiteral("Section1"))->height + section(QStringLiteral("Section5"))->height;
    // Actual size, unless the paper is too small for the page and its margins.
    double scale = dpi / 1440.0;
    scale = std::min({scale, paper.width() / (ReportWidth + 2 * 720.0),
                      paper.height() / (TopMargin + body + 720.0)});
    return {QPointF((paper.width() - ReportWidth * scale) / 2, TopMargin * scale), scale,
            paper.height()};
}

void DataRPrint::paintPage(QPainter& painter, QPointF origin, double scale, bool last) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    double y = 0;
    for (const char* name : {"Section4", "Section2", "Section1"}) {
        const ReportSection* s = section(QString::fromLatin1(name));
        paintSection(painter, *s, QPointF(origin.x(), origin.y() + y * scale), scale);
        y += s->height;
    }
    if (last) {
        const ReportSection* s = section(QStringLiteral("Section5"));
        paintSection(painter, *s, QPointF(origin.x(), origin.y() + y * scale), scale);
    }
    painter.restore();
}

void DataRPrint::paint(QPrinter& printer) const {
    printer.setFullPage(true);
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    const PageGeometry page = pageGeometry(printer.pageLayout(), printer.resolution());
    const ReportSection* pageFooter = section(QStringLiteral("Section3"));
    for (int i = 0; i < m_details; ++i) {
        if (i > 0)
            printer.newPage();
        paintPage(painter, page.origin, page.scale, i == m_details - 1);
        paintSection(
            painter, *pageFooter,
            QPointF(page.origin.x(), page.paperHeight - (720.0 + pageFooter->height) * page.scale),
            page.scale);
    }
}

void paintReportPaper(QPainter& painter, const QRectF& rect) {
    painter.save();
    painter.setClipRect(rect);
    painter.setRenderHint(QPainter::Antialiasing);
    const double u = rect.width() / 6810.0; // device units per twip of the picture

    // Paper with a faint diamond lattice and a dot in every diamond.
    painter.fillRect(rect, QColor(0xf9, 0xf4, 0xe7));
    const double step = 300 * u;
    painter.setPen(QPen(QColor(0xeb, 0xe0, 0xc6), std::max(1.0, 6 * u)));
    for (double d = -rect.height(); d <= rect.width() + step; d += step) {
        painter.drawLine(QPointF(rect.left() + d, rect.top()),
                         QPointF(rect.left() + d + rect.height(), rect.bottom()));
        painter.drawLine(QPointF(rect.left() + d, rect.bottom()),
                         QPointF(rect.left() + d + rect.height(), rect.top()));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xe8, 0xdb, 0xbc));
    const int columns = static_cast<int>(std::ceil(rect.width() / (step / 2))) + 1;
    const int rows = static_cast<int>(std::ceil(rect.height() / (step / 2))) + 1;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i)
            if ((i + j) % 2 == 1) {
                // Diamond centres lie between the crossings, half a step apart.
                const double x = rect.left() + i * step / 2;
                const double y = rect.bottom() - j * step / 2;
                painter.drawEllipse(QPointF(x, y), 16 * u, 16 * u);
            }

    // The dark red band along the left and bottom edges, edged in cream on
    // the side of the paper, with a thin cream rule near its outer edge.
    const QColor red(0x7a, 0x1c, 0x24);
    const QColor cream(0xf2, 0xe2, 0xba);
    const double band = 330 * u;
    QPainterPath bandPath;
    bandPath.addRect(QRectF(rect.left(), rect.top(), band, rect.height()));
    bandPath.addRect(QRectF(rect.left(), rect.bottom() - band, rect.width(), band));
    bandPath.setFillRule(Qt::WindingFill);
    painter.fillPath(bandPath.simplified(), red);

    const double inner = band - 50 * u;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(cream, 36 * u, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPolyline(QPolygonF{QPointF(rect.left() + inner, rect.top()),
                                   QPointF(rect.left() + inner, rect.bottom() - inner),
                                   QPointF(rect.right(), rect.bottom() - inner)});
    painter.setPen(QPen(cream, 12 * u, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPolyline(QPolygonF{QPointF(rect.left() + 80 * u, rect.top()),
                                   QPointF(rect.left() + 80 * u, rect.bottom() - 80 * u),
                                   QPointF(rect.right(), rect.bottom() - 80 * u)});

    // Small cream diamonds along the middle of the band.
    const double mid = (80 * u + inner) / 2;
    const double size = 42 * u;
    const auto diamond = [&painter, size](QPointF c) {
        painter.drawPolygon(QPolygonF{QPointF(c.x(), c.y() - size), QPointF(c.x() + size, c.y()),
                                      QPointF(c.x(), c.y() + size), QPointF(c.x() - size, c.y())});
    };
    painter.setPen(Qt::NoPen);
    painter.setBrush(cream);
    for (double y = rect.top() + 240 * u; y < rect.bottom() - band; y += 480 * u)
        diamond(QPointF(rect.left() + mid, y));
    for (double x = rect.left() + band + 240 * u; x < rect.right(); x += 480 * u)
        diamond(QPointF(x, rect.bottom() - mid));
    diamond(QPointF(rect.left() + mid, rect.bottom() - mid));
    painter.restore();
}

} // namespace velmora
