#pragma once

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>
#include <Qt>

class QPageLayout;
class QPainter;
class QPrinter;
class QRectF;
class QWidget;

namespace velmora {

class DataControl;

// A caption on the report page; positions and sizes in twips.
struct ReportLabel {
    QString name;
    int left, top, width, height;
    QString caption;
    double pointSize = 11;
    bool bold = false;
    Qt::Alignment alignment = Qt::AlignHCenter; // the side as seen on the page
    bool wrap = false;                          // long texts run onto more lines
};

struct ReportLine {
    int x1, y1, x2, y2;
};

// A picture on the page; the report's only picture is the background paper,
// which is drawn, not loaded.
struct ReportPicture {
    QString name;
    int left, top, width, height;
};

// One section of the report, with its controls.
struct ReportSection {
    QString name;
    int height = 0; // twips; 0 for a section whose height was never set
    QList<ReportLabel> labels;
    QList<ReportLine> lines;
    QList<ReportPicture> pictures;

    // The label with this name (nullptr when there is none).
    ReportLabel* control(const QString& name);
    const ReportLabel* control(const QString& name) const;
};

// The result report: a one-page summary of a scored subject laid out in
// twips, drawn by one paint function for the preview, the printer and PDF.
class DataRPrint {
public:
    static constexpr int ReportWidth = 6810;
    // Distance of the report from the top of the paper.
    static constexpr int TopMargin = 1440;

    DataRPrint();

    // Section4 (report header), Section2 (page header), Section1 (detail),
    // Section3 (page footer), Section5 (report footer); nullptr for others.
    ReportSection* section(const QString& name);
    const ReportSection* section(const QString& name) const;
    const QList<ReportSection>& sections() const { return m_sections; }

    // The answer sheets the report is printed for: the detail is printed once
    // for each. The count is taken now, so a later search in the scoring
    // window does not change an open preview.
    void setDataSource(DataControl* source);
    // Details printed: one per sheet, and one when the source selects none,
    // so that the page always shows what the scoring window showed.
    int detailCount() const { return m_details; }

    // The code of the subject the report is about; it names a saved PDF.
    void setSubjectCode(const QString& code) { m_code = code; }
    QString subjectCode() const { return m_code; }

    // Shows the modeless preview over owner; it draws a copy of the report as
    // it is now, and offers to save that page as a PDF file.
    void show(QWidget* owner) const;

    // Asks the operator for a file (over the preview window) and saves the
    // report there as a PDF on pages of layout, the pages the preview shows.
    void savePdfAs(QWidget* preview, const QPageLayout& layout) const;
    // Writes the report as a PDF file at path: fonts embedded, its text
    // searchable. The file appears only when it is whole; a failure leaves
    // nothing and says why.
    bool savePdf(const QString& path, const QPageLayout& layout, QString* error) const;
    // The name offered for the PDF: the subject's code and the solar date,
    // with the characters a file name cannot hold replaced.
    static QString defaultPdfName(const QString& code, const QDate& date);
    // objectName of the preview's save-as-PDF command.
    static QString savePdfCommand();

    // Draws the whole report onto printer, one detail per page.
    void paint(QPrinter& printer) const;
    // Draws one page at origin (device units), scale device units per twip;
    // with the report footer below the detail when last is true.
    void paintPage(QPainter& painter, QPointF origin, double scale, bool last) const;

    // The label of the score table that shows scale scaleNumber's score.
    static QString scoreLabel(int scaleNumber);

    // The text of the report footer's line.
    static QString footerText();

private:
    // Every caption on the page, one to a line.
    QString drawnText() const;

    // Where the page lies on paper of layout at dpi: the origin of the page
    // (device units) and device units per twip.
    struct PageGeometry {
        QPointF origin;
        double scale;
        double paperHeight;
    };
    PageGeometry pageGeometry(const QPageLayout& layout, int dpi) const;

    QList<ReportSection> m_sections;
    int m_details = 1;
    QString m_code;
};

// The background paper of the page, drawn into rect (device units): pale
// patterned paper with a dark red, cream-edged band along the left and
// bottom edges.
void paintReportPaper(QPainter& painter, const QRectF& rect);

} // namespace velmora
