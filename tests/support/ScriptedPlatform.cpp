#include "support/ScriptedPlatform.h"

#include <QDir>
#include <QPrinter>

namespace velmora {

ScriptedPlatform::ScriptedPlatform() : printFolder(QDir::currentPath()) {}

ScriptedPlatform::~ScriptedPlatform() = default;

QList<ScriptedPlatform::Interaction> ScriptedPlatform::ofKind(const QString& kind) const {
    QList<Interaction> found;
    for (const Interaction& i : interactions)
        if (i.kind == kind)
            found.append(i);
    return found;
}

QStringList ScriptedPlatform::noticeTexts() const {
    QStringList texts;
    for (const Interaction& i : ofKind(QStringLiteral("notice")))
        texts.append(i.text);
    return texts;
}

QStringList ScriptedPlatform::messageTexts() const {
    QStringList texts;
    for (const Interaction& i : ofKind(QStringLiteral("messageBox")))
        texts.append(i.text);
    return texts;
}

void ScriptedPlatform::clear() {
    interactions.clear();
    printedFiles.clear();
    previewFiles.clear();
    previewActions.clear();
    previewLayouts.clear();
    m_previewOwners.clear();
    m_previewJobs.clear();
    m_beforePrints.clear();
    beeps = 0;
    endCount = 0;
}

void ScriptedPlatform::record(const Interaction& i) {
    interactions.append(i);
    if (onModal && (i.kind == QLatin1String("notice") || i.kind == QLatin1String("messageBox")))
        onModal(i);
}

void ScriptedPlatform::notice(QWidget* owner, const QString& text, int intervalMs) {
    Interaction i;
    i.kind = QStringLiteral("notice");
    i.title = QStringLiteral("پيام");
    i.text = text;
    i.interval = intervalMs;
    i.owner = owner;
    record(i);
}

QMessageBox::StandardButton
ScriptedPlatform::messageBox(QWidget* owner, const QString& title, const QString& text,
                             QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                             QMessageBox::StandardButton defaultButton) {
    Interaction i;
    i.kind = QStringLiteral("messageBox");
    i.title = title;
    i.text = text;
    i.icon = icon;
    i.buttons = buttons;
    i.owner = owner;
    record(i);
    if (!messageAnswers.isEmpty())
        return messageAnswers.dequeue();
    return defaultButton != QMessageBox::NoButton ? defaultButton : QMessageBox::Ok;
}

QString ScriptedPlatform::inputBox(QWidget* owner, const QString& prompt, const QString& title,
                                   const QString& defaultText) {
    Interaction i;
    i.kind = QStringLiteral("inputBox");
    i.title = title;
    i.text = prompt;
    i.defaultName = defaultText;
    i.owner = owner;
    record(i);
    return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
}

QString ScriptedPlatform::secretBox(QWidget* owner, const QString& prompt, const QString& title) {
    Interaction i;
    i.kind = QStringLiteral("secretBox");
    i.title = title;
    i.text = prompt;
    i.owner = owner;
    record(i);
    return secretAnswers.isEmpty() ? QString() : secretAnswers.dequeue();
}

QString ScriptedPlatform::saveFileName(QWidget* owner, const QString& title, const QString& folder,
                                       const QString& filter, const QString& defaultName) {
    Interaction i;
    i.kind = QStringLiteral("saveFileName");
    i.title = title;
    i.folder = folder;
    i.filter = filter;
    i.defaultName = defaultName;
    i.owner = owner;
    record(i);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
}

QString ScriptedPlatform::openFileName(QWidget* owner, const QString& title, const QString& folder,
                                       const QString& filter) {
    Interaction i;
    i.kind = QStringLiteral("openFileName");
    i.title = title;
    i.folder = folder;
    i.filter = filter;
    i.owner = owner;
    record(i);
    return openAnswers.isEmpty() ? QString() : openAnswers.dequeue();
}

QString ScriptedPlatform::renderPdf(const QString& name, const PaintJob& job, QPageLayout* layout) {
    const QString path = QDir(printFolder).filePath(name);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    job(printer);
    if (layout)
        *layout = printer.pageLayout();
    return path;
}

QString ScriptedPlatform::print(QWidget* owner, const QString& jobName, const PaintJob& job) {
    Interaction i;
    i.kind = QStringLiteral("print");
    i.title = jobName;
    i.owner = owner;
    record(i);
    if (!printFailure.isEmpty())
        return printFailure;
    printedFiles.append(
        renderPdf(QStringLiteral("print-%1.pdf").arg(printedFiles.size() + 1), job));
    return QString();
}

void ScriptedPlatform::printPreview(QWidget* owner, const QString& title, const PaintJob& job,
                                    const QList<PreviewAction>& actions,
                                    const std::function<bool()>& beforePrint) {
    Interaction i;
    i.kind = QStringLiteral("printPreview");
    i.title = title;
    i.owner = owner;
    for (const PreviewAction& action : actions)
        i.arguments.append(action.name);
    record(i);
    QPageLayout layout;
    previewFiles.append(
        renderPdf(QStringLiteral("preview-%1.pdf").arg(previewFiles.size() + 1), job, &layout));
    previewActions.append(actions);
    previewLayouts.append(layout);
    m_previewOwners.append(owner);
    m_previewJobs.append(job);
    m_beforePrints.append(beforePrint);
}

bool ScriptedPlatform::printFromPreview() {
    if (m_previewJobs.isEmpty())
        return false;
    if (m_beforePrints.constLast() && !m_beforePrints.constLast()())
        return false;
    printedFiles.append(renderPdf(QStringLiteral("print-%1.pdf").arg(printedFiles.size() + 1),
                                  m_previewJobs.constLast()));
    return true;
}

bool ScriptedPlatform::runPreviewAction(const QString& name) {
    if (previewActions.isEmpty())
        return false;
    for (const PreviewAction& action : previewActions.constLast())
        if (action.name == name) {
            action.run(m_previewOwners.constLast(), previewLayouts.constLast());
            return true;
        }
    return false;
}

bool ScriptedPlatform::startProgram(const QString& program, const QStringList& arguments) {
    Interaction i;
    i.kind = QStringLiteral("startProgram");
    i.text = program;
    i.arguments = arguments;
    record(i);
    return startAll || startablePrograms.contains(program);
}

bool ScriptedPlatform::openUrl(const QUrl& url) {
    Interaction i;
    i.kind = QStringLiteral("openUrl");
    i.text = url.toString();
    record(i);
    return urlsOpen;
}

void ScriptedPlatform::beep() {
    ++beeps;
}

void ScriptedPlatform::endProgram() {
    Interaction i;
    i.kind = QStringLiteral("endProgram");
    record(i);
    ++endCount;
}

} // namespace velmora
