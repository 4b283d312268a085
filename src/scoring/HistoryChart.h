#pragma once

#include "data/History.h"
#include "scoring/PdfText.h"
#include "scoring/Scales.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QPageLayout;
class QPainter;
class QPrinter;

namespace velmora {

// One administration on the chart of change: its solar date and the seven
// scales' values on the profile chart's common range (Frm2: a scale's score
// brought to the range of a two-item scale, 1 to 10).
struct ChartPoint {
    QString date;
    std::array<double, ScaleCount> values{};
};

// The points of administrations given newest first, oldest first.
QList<ChartPoint> chartPoints(const QList<History::Administration>& newestFirst);

// The colour of scale number's line (1..7).
QColor scaleColour(int number);

// Draws the chart into area (device units): the axis from 0 to 10 with the
// values 1 to 10 marked, one line per scale from the oldest administration on
// the left to the newest on the right, solar dates under the axis (as many as
// fit), and the scales' names in their colours. unit: device units per
// screen pixel (1 on the screen).
void paintHistoryChart(QPainter& painter, const QRectF& area, const QList<ChartPoint>& points,
                       double unit);

// What stands over the printed chart: a title, and the subject's names under
// it, each drawn on its own so that each keeps its own letters in a PDF.
struct ChartHeading {
    QString title;
    QStringList names; // first name, last name
};

// The boxes the heading's texts are drawn in on a page of layout at dpi, in
// the device units the page is painted in: the title, then each name.
QList<DrawnLabel> chartHeadingLabels(const ChartHeading& heading, const QPageLayout& layout,
                                     int dpi);

// A page of the chart for the printer and PDF: the heading over the chart.
void paintHistoryChartPage(QPrinter& printer, const ChartHeading& heading,
                           const QList<ChartPoint>& points);

// The chart in a window. Its administrations are read once, after it has
// first been drawn (empty) with the window that holds it.
class HistoryChart : public QWidget {
    Q_OBJECT
public:
    HistoryChart(const QString& code, QWidget* parent);

    // Reads the administrations unless read already; false (and onFailure
    // told) when they could not be read.
    bool load();
    bool isLoaded() const { return m_loaded; }
    const QList<ChartPoint>& points() const { return m_points; }
    std::function<void(const QString&)> onFailure;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_code;
    QList<ChartPoint> m_points;
    bool m_loaded = false;
    bool m_failed = false;
    bool m_loadAsked = false;
};

} // namespace velmora
