#include "platform/QtPlatform.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

namespace velmora {

void QtPlatform::notice(QWidget* owner, const QString& text, int intervalMs) {
    QMessageBox box(QMessageBox::NoIcon, noticeTitle(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    // The timer belongs to the box, so a box closed early by the operator takes
    // its timer with it and nothing fires afterwards.
    QTimer::singleShot(intervalMs, &box, [&box] {
        if (QAbstractButton* ok = box.button(QMessageBox::Ok))
            ok->click();
    });
    box.exec();
}

QMessageBox::StandardButton QtPlatform::messageBox(QWidget* owner, const QString& title,
                                                   const QString& text, QMessageBox::Icon icon,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, owner);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtPlatform::inputBox(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& defaultText) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

QString QtPlatform::secretBox(QWidget* owner, const QString& prompt, const QString& title) {
    QInputDialog dialog(owner);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    // Neither a screen reader's echo of each letter nor an input method's
    // memory of what was typed.
    dialog.setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhHiddenText);
    const bool ok = dialog.exec() == QDialog::Accepted;
    return ok ? dialog.textValue() : QString();
}

QString QtPlatform::saveFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter, const QString& defaultName) {
    QFileDialog dialog(owner, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // the caller asks its own question
    dialog.selectFile(defaultName);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().constFirst()
               : QString();
}

QString QtPlatform::openFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter) {
    return QFileDialog::getOpenFileName(owner, title, folder, filter);
}

QString QtPlatform::print(QWidget*, const QString& jobName, const PaintJob& job) {
    const QPrinterInfo target = QPrinterInfo::defaultPrinter();
    if (target.isNull())
        return QStringLiteral("No printer is installed.");
    QPrinter printer(target, QPrinter::HighResolution);
    printer.setDocName(jobName);
    job(printer);
    if (printer.printerState() == QPrinter::Error)
        return QStringLiteral("The printer reported an error.");
    return QString();
}

namespace {

// Qt opens the preview at two thirds of the screen's width: at 1024×768 that
// folds the tool bar's last commands (Print, Page setup) behind a chevron. The
// preview opens wide enough for every command instead, as far as the screen
// allows.
void fitToolBar(QWidget* preview) {
    auto* tools = preview->findChild<QToolBar*>();
    const QScreen* screen = preview->screen();
    if (!tools || !screen)
        return;
    QMargins margins;
    if (QLayout* layout = preview->layout())
        margins = layout->contentsMargins();
    // Room for the frame the window system draws around the window.
    constexpr int Frame = 16;
    const QRect available = screen->availableGeometry();
    const int wanted = tools->sizeHint().width() + margins.left() + margins.right();
    // As tall as Qt would open it: two thirds of the screen.
    preview->resize(
        std::min(std::max(available.width() * 2 / 3, wanted), available.width() - Frame),
        available.height() * 2 / 3);
}

} // namespace

void QtPlatform::printPreview(QWidget* owner, const QString& title, const PaintJob& job,
                              const QList<PreviewAction>& actions,
                              const std::function<bool()>& beforePrint) {
    auto* preview = new QPrintPreviewDialog(owner);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(title);
    QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                     [job, beforePrint](QPrinter* printer) {
                         // The preview draws its pages through an engine of
                         // pictures; any other engine is a print.
                         const QPaintEngine* engine = printer->paintEngine();
                         const bool printing = engine && engine->type() != QPaintEngine::Picture;
                         if (printing && beforePrint && !beforePrint()) {
                             printer->abort();
                             return;
                         }
                         job(*printer);
                     });
    // The extra commands lead the preview's own tool bar, so a narrow window
    // folds other commands away before them.
    if (auto* tools = preview->findChild<QToolBar*>(); tools && !actions.isEmpty()) {
        QAction* first = tools->actions().value(0);
        tools->insertSeparator(first);
        for (const PreviewAction& action : actions) {
            auto* command = new QAction(action.caption, tools);
            command->setObjectName(action.name);
            tools->insertAction(first, command);
            const auto run = action.run;
            QObject::connect(command, &QAction::triggered, preview,
                             [preview, run] { run(preview, preview->printer()->pageLayout()); });
            if (QWidget* button = tools->widgetForAction(command))
                button->setObjectName(action.name);
        }
    }
    fitToolBar(preview);
    preview->setWindowModality(Qt::NonModal);
    preview->show();
}

bool QtPlatform::startProgram(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

bool QtPlatform::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void QtPlatform::beep() {
    QApplication::beep();
}

void QtPlatform::endProgram() {
    QCoreApplication::exit(0);
}

} // namespace velmora
