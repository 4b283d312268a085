#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QPageLayout>
#include <QQueue>

namespace velmora {

// A platform that answers from a script and records every interaction, for the
// tests and the benchmark. Nothing waits on a real dialog.
class ScriptedPlatform : public Platform {
public:
    struct Interaction {
        QString kind; // "notice", "messageBox", "inputBox", "saveFileName", ...
        QString title;
        QString text;
        int interval = 0;                             // notices
        QMessageBox::Icon icon = QMessageBox::NoIcon; // message boxes
        QMessageBox::StandardButtons buttons;         // message boxes
        QString folder, filter, defaultName;          // file dialogs
        QStringList arguments;                        // programs; a preview's extra commands
        QWidget* owner = nullptr;
    };

    ScriptedPlatform();
    ~ScriptedPlatform() override;

    // Answers, taken in order. An input box with no scripted answer returns the
    // empty text (as on cancel), a message box returns its default button (or
    // Ok), a file dialog returns the empty text.
    QQueue<QString> inputAnswers;
    QQueue<QString> secretAnswers;
    QQueue<QMessageBox::StandardButton> messageAnswers;
    QQueue<QString> saveAnswers;
    QQueue<QString> openAnswers;

    // Printing renders to PDF files in printFolder (print-1.pdf, print-2.pdf, ...;
    // previews: preview-1.pdf, ...) unless printFailure is set, which print()
    // then returns as the system's description.
    QString printFolder;
    QString printFailure;
    QStringList printedFiles;
    QStringList previewFiles;
    // The extra commands each preview offered and the page layout it was drawn
    // with, one entry per preview shown.
    QList<QList<PreviewAction>> previewActions;
    QList<QPageLayout> previewLayouts;
    // Runs the command of the last preview as the operator would from the
    // preview window (here: its owner); false when it offers none by that name.
    bool runPreviewAction(const QString& name);
    // Prints the last preview as the operator would with the preview's own
    // print command (to print-N.pdf); false when its beforePrint stopped it.
    bool printFromPreview();

    // startProgram succeeds for programs in this list (all when empty and
    // startAll is true).
    bool startAll = true;
    QStringList startablePrograms;
    // What openUrl answers: false as when no program can show the page.
    bool urlsOpen = true;

    // Run inside a notice or a message box, while it would be open (for
    // example to check what the owner window shows at that moment).
    std::function<void(const Interaction&)> onModal;

    QList<Interaction> interactions;
    int beeps = 0;
    int endCount = 0;

    QList<Interaction> ofKind(const QString& kind) const;
    QStringList noticeTexts() const;
    QStringList messageTexts() const;
    bool programEnded() const { return endCount > 0; }
    void clear();

    void notice(QWidget* owner, const QString& text, int intervalMs) override;
    QMessageBox::StandardButton messageBox(QWidget* owner, const QString& title,
                                           const QString& text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) override;
    QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString secretBox(QWidget* owner, const QString& prompt, const QString& title) override;
    QString saveFileName(QWidget* owner, const QString& title, const QString& folder,
                         const QString& filter, const QString& defaultName) override;
    QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString print(QWidget* owner, const QString& jobName, const PaintJob& job) override;
    void printPreview(QWidget* owner, const QString& title, const PaintJob& job,
                      const QList<PreviewAction>& actions,
                      const std::function<bool()>& beforePrint = {}) override;
    bool startProgram(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QUrl& url) override;
    void beep() override;
    void endProgram() override;

private:
    void record(const Interaction& i);
    QString renderPdf(const QString& name, const PaintJob& job, QPageLayout* layout = nullptr);
    QList<QWidget*> m_previewOwners;
    QList<PaintJob> m_previewJobs;
    QList<std::function<bool()>> m_beforePrints;
};

} // namespace velmora
