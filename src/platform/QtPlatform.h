#pragma once

#include "platform/Platform.h"

namespace velmora {

// The real platform: Qt dialogs, the system printer, QProcess and QDesktopServices.
class QtPlatform : public Platform {
public:
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
};

} // namespace velmora
