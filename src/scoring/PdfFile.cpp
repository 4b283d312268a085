#include "scoring/PdfFile.h"

#include "data/DirectionalText.h"
#include "files/OutputFile.h"
#include "platform/Platform.h"
#include "ui/Notice.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QStandardPaths>

namespace velmora {

bool writePdfFile(const QString& path, const QPageLayout& layout, const QString& documentName,
                  const PdfPainter& paint, const QString& drawnText,
                  const QList<DrawnLabel>& labels, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // The target is checked first (a folder, a device or a link to nothing
    // is refused); the document goes there only once it is whole.
    OutputFile out(path, OutputFile::Streams::WriteThrough);
    if (!out.open(nullptr))
        return fail(out.failureReason());
    // The printer writes the file by its name and the file is read back: in a
    // folder only this user can enter, so nobody can put another file under
    // that name in between.
    const PrivateFolder folder;
    if (!folder.isValid())
        return fail(folder.errorString());
    const QString printed = folder.filePath(QStringLiteral("document.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(PdfResolution);
        printer.setOutputFileName(printed);
        printer.setPageLayout(layout);
        printer.setDocName(documentName);
        printer.setCreator(applicationTitle());
        paint(printer);
        if (printer.printerState() == QPrinter::Error)
            return fail(QStringLiteral("the PDF could not be written"));
    }
    // The trailer is written last: a file without it was cut short.
    QFile written(printed);
    if (!written.open(QIODevice::ReadOnly))
        return fail(written.errorString());
    QByteArray pdf = written.readAll();
    written.close();
    if (!pdf.right(64).contains("%%EOF"))
        return fail(QStringLiteral("the PDF was cut short; the disk may be full"));
    // Copying or searching the page gives the letters that were drawn.
    restoreLogicalText(&pdf, drawnText, labels);
    if (!out.write(pdf.constData(), pdf.size(), nullptr) || !out.commit(nullptr))
        return fail(out.failureReason());
    return true;
}

void savePdfFromPreview(QWidget* preview, const QString& dialogTitle, const QString& defaultName,
                        const QString& what,
                        const std::function<bool(const QString& path, QString* error)>& write) {
    QString path = platform().saveFileName(
        preview, dialogTitle, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("PDF (*.pdf)"), defaultName);
    if (path.isEmpty())
        return;
    // A name typed without its suffix gets it; a name already there (a file,
    // a pipe, a device) is meant as it stands.
    const QFileInfo chosen(path);
    if (chosen.suffix().isEmpty() && !chosen.exists() && !chosen.isSymLink())
        path += QStringLiteral(".pdf");
    if (QFileInfo::exists(path) &&
        platform().messageBox(preview, applicationTitle(),
                              QStringLiteral("پرونده %1 وجود دارد. %2 به جاي آن ذخيره شود؟")
                                  .arg(isolatedPath(path), what),
                              QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    QString error;
    if (write(path, &error))
        ShowNotice(preview, QStringLiteral("%1 ذخيره شد").arg(what));
    else
        platform().messageBox(preview, errorTitle(),
                              QStringLiteral("%1 ذخيره نشد و پرونده اي ساخته نشد:\n%2\n\n%3")
                                  .arg(what, isolatedPath(path), error),
                              QMessageBox::Critical);
}

} // namespace velmora
