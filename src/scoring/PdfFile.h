#pragma once

#include "scoring/PdfText.h"

#include <QList>
#include <QString>
#include <functional>

class QPageLayout;
class QPrinter;
class QWidget;

namespace velmora {

// The resolution a PDF file is drawn at (device units per inch), so that the
// boxes of its texts can be known before it is drawn.
constexpr int PdfResolution = 1200;

// Draws the pages of a document onto a printer that is set up for them.
using PdfPainter = std::function<void(QPrinter& printer)>;

// Writes a PDF file at path on pages of layout: fonts embedded, its text
// searchable and mapped back to the letters drawn (drawnText: every text the
// pages show). Written through OutputFile: a target that is no file is
// refused, a stream is written through, and a file appears only once whole;
// a failure leaves nothing and says why.
// labels: texts whose own letters the file keeps wherever the page's other
// texts write a look-alike letter differently (see restoreLogicalText).
bool writePdfFile(const QString& path, const QPageLayout& layout, const QString& documentName,
                  const PdfPainter& paint, const QString& drawnText,
                  const QList<DrawnLabel>& labels, QString* error);

// The operator's "save as PDF" from a print preview: asks for a file over the
// preview (defaultName in the documents folder), asks before replacing one,
// writes it (write, as writePdfFile does) and says how it went. what names the
// document in the messages ("گزارش", "نمودار").
void savePdfFromPreview(QWidget* preview, const QString& dialogTitle, const QString& defaultName,
                        const QString& what,
                        const std::function<bool(const QString& path, QString* error)>& write);

} // namespace velmora
