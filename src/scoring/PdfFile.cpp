#include "scoring/PdfFile.h"

#include "data/DirectionalText.h"
#include "platform/Platform.h"
#include "ui/Notice.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace velmora {

bool writePdfFile(const QString& path, const QPageLayout& layout, const QString& documentName,
                  const PdfPainter& paint, const QString& drawnText,
                  const QList<DrawnLabel>& labels, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Written beside the target under a hidden name and renamed into place
    // once whole, so a full disk or a crash never leaves half a file.
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                             QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return fail(temporary.errorString());
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(PdfResolution);
        printer.setOutputFileName(temporary.fileName());
        printer.setPageLayout(layout);
        printer.setDocName(documentName);
        printer.setCreator(applicationTitle());
        paint(printer);
        if (printer.printerState() == QPrinter::Error)
            return fail(QStringLiteral("the PDF could not be written"));
    }
    // The trailer is written last: a file without it was cut short.
    QFile written(temporary.fileName());
    if (!written.open(QIODevice::ReadWrite))
        return fail(written.errorString());
    QByteArray pdf = written.readAll();
    if (!pdf.right(64).contains("%%EOF"))
        return fail(QStringLiteral("the PDF was cut short; the disk may be full"));
    // Copying or searching the page gives the letters that were drawn.
    if (restoreLogicalText(&pdf, drawnText, labels)) {
        if (!written.seek(0) || !written.resize(0) || written.write(pdf) != pdf.size() ||
            !written.flush())
            return fail(written.errorString());
    }
    written.close();
    if (::fsync(temporary.handle()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    temporary.setAutoRemove(false);
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
    if (QFileInfo(path).suffix().isEmpty())
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
        platform().messageBox(preview, QStringLiteral("خطا"),
                              QStringLiteral("%1 ذخيره نشد و پرونده اي ساخته نشد:\n%2\n\n%3")
                                  .arg(what, isolatedPath(path), error),
                              QMessageBox::Critical);
}

} // namespace velmora
