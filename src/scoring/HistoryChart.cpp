#include "scoring/HistoryChart.h"

#include "ui/Twips.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// The top of the common range: a two-item scale at its highest.
constexpr double Top = 10;

// Above this many administrations the points are not marked one by one.
constexpr int MarkedPoints = 60;

} // namespace

QList<ChartPoint> chartPoints(const QList<History::Administration>& newestFirst) {
    QList<ChartPoint> points;
    points.reserve(newestFirst.size());
    for (auto it = newestFirst.crbegin(); it != newestFirst.crend(); ++it) {
        ChartPoint point;
        point.date = it->date;
        for (const Scale& scale : scales())
            point.values[std::size_t(scale.number - 1)] =
                scaleScore(scale, it->answers) / scale.chartDivisor * scale.chartFactor;
        points.append(point);
    }
    return points;
}

QColor scaleColour(int number) {
    // Seven colours that stay apart on the screen and on a grey printout.
    static const QColor colours[ScaleCount] = {QColor(0xc0, 0x1c, 0x28), QColor(0x1c, 0x5f, 0xb8),
                                               QColor(0x2e, 0x8b, 0x3a), QColor(0xe0, 0x7b, 0x00),
                                               QColor(0x7b, 0x3f, 0xa0), QColor(0x6d, 0x4c, 0x2e),
                                               QColor(0x10, 0x90, 0x9c)};
    return colours[std::clamp(number, 1, ScaleCount) - 1];
}

void paintHistoryChart(QPainter& painter, const QRectF& area, const QList<ChartPoint>& points,
                       double unit) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = formFont(9, false);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double line = metrics.height();

    // The names of the scales in their colours, from the right as Persian
    // reads, on as many rows as they need.
    const double swatch = line * 0.8;
    QList<QPair<int, double>> entries; // scale number, width
    for (const Scale& scale : scales())
        entries.append(
            {scale.number, swatch + 4 * unit + metrics.horizontalAdvance(scale.name) + 12 * unit});
    QList<QList<QPair<int, double>>> rows(1);
    double rowWidth = 0;
    for (const auto& entry : std::as_const(entries)) {
        if (rowWidth + entry.second > area.width() && !rows.last().isEmpty()) {
            rows.append(QList<QPair<int, double>>());
            rowWidth = 0;
        }
        rows.last().append(entry);
        rowWidth += entry.second;
    }
    const double legendHeight = rows.size() * line * 1.3;
    double y = area.bottom() - legendHeight;
    for (const auto& row : std::as_const(rows)) {
        double width = 0;
        for (const auto& entry : row)
            width += entry.second;
        double right = area.center().x() + width / 2;
        for (const auto& [number, entryWidth] : row) {
            const QRectF box(right - swatch, y + (line * 1.3 - swatch) / 2, swatch, swatch);
            painter.fillRect(box, scaleColour(number));
            painter.setPen(Qt::black);
            painter.drawText(
                QRectF(right - entryWidth, y, entryWidth - swatch - 4 * unit, line * 1.3),
                Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextForceRightToLeft,
                scaleNumber(number).name);
            right -= entryWidth;
        }
        y += line * 1.3;
    }

    // The plot: the values on the left, the dates under it.
    const double valueWidth = metrics.horizontalAdvance(QStringLiteral("10")) + 8 * unit;
    const QRectF plot(area.left() + valueWidth, area.top() + line / 2,
                      area.width() - valueWidth - 8 * unit,
                      area.height() - legendHeight - line * 1.8 - line / 2);
    if (plot.width() <= 0 || plot.height() <= 0) {
        painter.restore();
        return;
    }
    const auto yOf = [&plot](double value) {
        return plot.bottom() - std::clamp(value, 0.0, Top) / Top * plot.height();
    };
    painter.setPen(QPen(QColor(0xd8, 0xd8, 0xd8), unit));
    for (int v = 1; v <= int(Top); ++v)
        painter.drawLine(QPointF(plot.left(), yOf(v)), QPointF(plot.right(), yOf(v)));
    painter.setPen(QPen(Qt::black, 1.5 * unit));
    painter.drawLine(plot.topLeft(), plot.bottomLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    for (int v = 1; v <= int(Top); ++v) {
        painter.drawLine(QPointF(plot.left() - 4 * unit, yOf(v)), QPointF(plot.left(), yOf(v)));
        painter.drawText(QRectF(area.left(), yOf(v) - line / 2, valueWidth - 6 * unit, line),
                         Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter, QString::number(v));
    }

    const qsizetype n = points.size();
    if (n == 0) {
        painter.restore();
        return;
    }
    const double margin = std::min(plot.width() / 10, 24 * unit);
    const auto xOf = [&](qsizetype i) {
        return n == 1
                   ? plot.center().x()
                   : plot.left() + margin + double(i) * (plot.width() - 2 * margin) / double(n - 1);
    };

    // As many dates as fit side by side, the newest always among them.
    const double dateWidth = metrics.horizontalAdvance(QStringLiteral("0000/00/00")) + 12 * unit;
    const qsizetype fitting = std::max<qsizetype>(1, qsizetype(plot.width() / dateWidth));
    const qsizetype step = std::max<qsizetype>(1, (n + fitting - 1) / fitting);
    QList<qsizetype> dated;
    for (qsizetype i = 0; i < n; i += step)
        dated.append(i);
    if (dated.last() != n - 1) {
        if (dated.size() > 1 && xOf(n - 1) - xOf(dated.last()) < dateWidth)
            dated.removeLast();
        dated.append(n - 1);
    }
    painter.setPen(QPen(Qt::black, unit));
    for (const qsizetype i : std::as_const(dated)) {
        const double x = xOf(i);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4 * unit));
        painter.drawText(QRectF(x - dateWidth / 2, plot.bottom() + 5 * unit, dateWidth, line),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextForceLeftToRight,
                         points.at(i).date);
    }

    // One line per scale, its points marked while they are few enough to see
    // (the marks round the corners). The line is drawn as its separate,
    // square-ended segments: stroked as one path, or with round ends, a line
    // that turns back on itself hundreds of times takes seconds to draw.
    for (const Scale& scale : scales()) {
        const std::size_t s = std::size_t(scale.number - 1);
        const QColor colour = scaleColour(scale.number);
        QVector<QLineF> segments;
        segments.reserve(n);
        for (qsizetype i = 1; i < n; ++i)
            segments.append(QLineF(xOf(i - 1), yOf(points.at(i - 1).values[s]), xOf(i),
                                   yOf(points.at(i).values[s])));
        painter.setPen(QPen(colour, 2 * unit, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawLines(segments);
        if (n <= MarkedPoints) {
            painter.setBrush(colour);
            painter.setPen(Qt::NoPen);
            for (qsizetype i = 0; i < n; ++i)
                painter.drawEllipse(QPointF(xOf(i), yOf(points.at(i).values[s])), 3 * unit,
                                    3 * unit);
        }
    }
    painter.restore();
}

namespace {

QFont titleFont() {
    return formFont(14);
}

QFont nameFont() {
    return formFont(13, false);
}

// The heading's boxes and the chart's area on a page whose paint rectangle is
// page (device units), at dpi.
struct PageParts {
    QList<DrawnLabel> heading; // the title, then each name
    QRectF chart;
};

// A device that measures text as a page at dpi does.
QImage measuringDevice(int dpi) {
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(int(dpi / 0.0254));
    device.setDotsPerMeterY(int(dpi / 0.0254));
    return device;
}

PageParts pageParts(const ChartHeading& heading, const QRectF& page, const QPaintDevice* device) {
    PageParts parts;
    const QRectF area(0, 0, page.width(), page.height());
    const QFontMetricsF title(titleFont(), device);
    const QFontMetricsF names(nameFont(), device);
    double y = area.top();
    parts.heading.append(
        {QRectF(area.left(), y, area.width(), title.height() * 1.5), heading.title});
    y += title.height() * 1.5;
    // The names side by side, the first on the right as Persian reads,
    // together in the middle.
    const double gap = names.horizontalAdvance(QStringLiteral("  "));
    double total = 0;
    for (const QString& name : heading.names)
        total += names.horizontalAdvance(name) + gap;
    double right = area.center().x() + total / 2;
    for (const QString& name : heading.names) {
        const double width = names.horizontalAdvance(name) + gap;
        parts.heading.append({QRectF(right - width, y, width, names.height() * 1.4), name});
        right -= width;
    }
    if (!heading.names.isEmpty())
        y += names.height() * 1.4;
    // Wider than tall, as on the screen; the rest of a tall page stays empty.
    parts.chart =
        QRectF(area.left(), y, area.width(), std::min(area.bottom() - y, area.width() * 0.62));
    return parts;
}

} // namespace

QList<DrawnLabel> chartHeadingLabels(const ChartHeading& heading, const QPageLayout& layout,
                                     int dpi) {
    const QImage device = measuringDevice(dpi);
    return pageParts(heading, layout.paintRectPixels(dpi), &device).heading;
}

void paintHistoryChartPage(QPrinter& printer, const ChartHeading& heading,
                           const QList<ChartPoint>& points) {
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    const int dpi = printer.resolution();
    // Laid out as chartHeadingLabels() lays it out, whatever the printer.
    const QImage device = measuringDevice(dpi);
    const PageParts parts = pageParts(heading, printer.pageLayout().paintRectPixels(dpi), &device);
    for (qsizetype i = 0; i < parts.heading.size(); ++i) {
        const DrawnLabel& text = parts.heading.at(i);
        painter.setFont(i == 0 ? titleFont() : nameFont());
        painter.drawText(text.box, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextForceRightToLeft,
                         text.text);
    }
    paintHistoryChart(painter, parts.chart, points, dpi / 96.0);
}

HistoryChart::HistoryChart(const QString& code, QWidget* parent) : QWidget(parent), m_code(code) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool HistoryChart::load() {
    if (m_loaded)
        return true;
    QList<History::Administration> administrations;
    QString error;
    if (!History::ofSubject(m_code, &administrations, &error)) {
        m_failed = true;
        if (onFailure)
            onFailure(error);
        return false;
    }
    m_points = chartPoints(administrations);
    m_loaded = true;
    m_failed = false;
    update();
    return true;
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    paintHistoryChart(painter, QRectF(rect()).adjusted(6, 6, -6, -6), m_points, 1.0);
    // The administrations are read once the window holding the chart has
    // been drawn, axis and all: it appears as soon with five hundred as
    // with two, and the lines follow.
    if (!m_loaded && !m_failed && !m_loadAsked) {
        m_loadAsked = true;
        QTimer::singleShot(0, this, [this] { load(); });
    }
}

} // namespace velmora
