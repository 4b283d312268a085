#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QPageLayout;
class QPainter;
class QPrinter;
class QWidget;

namespace velmora {

// Every interaction that waits on the operator or leaves the program (a notice,
// a message box, an input box, the file dialogs, the printer, another program,
// a web page, the end of the run) goes through this seam, so tests can script
// the answers instead of waiting on real dialogs.
class Platform {
public:
    // Draws the page(s) of a print job onto a printer that is already set up.
    using PaintJob = std::function<void(QPrinter& printer)>;

    // A command the print preview offers besides its own: run gets the preview
    // window and the page layout the preview shows.
    struct PreviewAction {
        QString name; // the command's objectName
        QString caption;
        std::function<void(QWidget* preview, const QPageLayout& layout)> run;
    };

    virtual ~Platform();

    // A modal box titled "پيام" with the text, an OK button and no icon, that
    // closes itself after intervalMs exactly as if OK were pressed.
    virtual void notice(QWidget* owner, const QString& text, int intervalMs) = 0;

    virtual QMessageBox::StandardButton
    messageBox(QWidget* owner, const QString& title, const QString& text, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;

    // The typed text, or the empty text when the operator cancels.
    virtual QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;

    // A secret (a password, a passphrase, a recovery key) typed without being
    // shown; the empty text when the operator cancels.
    virtual QString secretBox(QWidget* owner, const QString& prompt, const QString& title) = 0;

    // The chosen path, or the empty text when the operator cancels.
    virtual QString saveFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter, const QString& defaultName) = 0;
    virtual QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter) = 0;

    // Sends a job straight to the default printer. Returns the empty text on
    // success, otherwise the system's description of the failure.
    virtual QString print(QWidget* owner, const QString& jobName, const PaintJob& job) = 0;

    // Shows a modeless print preview of the job, with the extra commands; the
    // operator prints it from there. beforePrint, when given, runs each time
    // the preview sends the job to a printer (or to a file the print dialog
    // names); false from it stops that print.
    virtual void printPreview(QWidget* owner, const QString& title, const PaintJob& job,
                              const QList<PreviewAction>& actions,
                              const std::function<bool()>& beforePrint = {}) = 0;

    // Starts a program without waiting for it. False when it could not start.
    virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;

    virtual bool openUrl(const QUrl& url) = 0;

    virtual void beep() = 0;

    // Ends the run of the program.
    virtual void endProgram() = 0;
};

// The program's name, the title of its own questions and messages.
QString applicationTitle();
// Title of every self-closing notice box.
QString noticeTitle();
// The title of every message box that reports a failure or a refusal.
QString errorTitle();

// The platform every window uses; the real Qt one unless a test installs another.
Platform& platform();
// Installs p (not owned; nullptr restores the real platform).
void setPlatform(Platform* p);

} // namespace velmora
