#include "support/ProgramFolder.h"

#include "access/Lock.h"
#include "access/Session.h"
#include "app/App.h"
#include "app/QtTranslation.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

namespace velmora {

namespace {

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    const QDir source(from);
    for (const QString& name : source.entryList(QDir::Files))
        QFile::copy(source.filePath(name), QDir(to).filePath(name));
}

} // namespace

ProgramFolder::ProgramFolder(bool openDatabases) : CaseFolder(openDatabases) {
    copyFolder(QStringLiteral(VELMORA_ASSETS_DIR "/skins"), path());
    copyFolder(QStringLiteral(VELMORA_ASSETS_DIR "/help"), file(QStringLiteral("help")));
    m_platform.printFolder = path();
    setPlatform(&m_platform);
    // Nobody signed in and no operators known: each case sets up its own.
    Session::reset();
    Lock::reset();
}

ProgramFolder::~ProgramFolder() {
    deleteAllWindows();
    Session::reset();
    Lock::reset();
    releaseSingleInstance();
    setPlatform(nullptr);
}

void whenModal(const std::function<void(QWidget*)>& action, int timeoutMs) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action, started, timeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (started->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            qWarning("whenModal: no modal window appeared");
        }
    });
    timer->start();
}

namespace {

QWidget* keyTarget(QWidget* window) {
    QWidget* focused = window->focusWidget();
    return focused && focused->isVisible() ? focused : window;
}

} // namespace

QWidget* pressKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = keyTarget(window);
    QTest::keyClick(target, key, modifiers);
    return target;
}

QWidget* typeKeys(QWidget* window, const QString& text) {
    QWidget* target = keyTarget(window);
    QTest::keyClicks(target, text);
    return target;
}

bool tabTo(QWidget* window, const QWidget* target, int limit) {
    for (int i = 0; i < limit && !target->hasFocus(); ++i)
        pressKey(window, Qt::Key_Tab);
    return target->hasFocus();
}

void deleteAllWindows() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows.append(w);
    for (const QPointer<QWidget>& w : windows)
        if (w)
            delete w.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int runVelmoraTest(int argc, char** argv, QObject* test) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-test"));
    QApplication::setQuitOnLastWindowClosed(false);
    prepareApplication(app);
    // The suite gives the same results whether Qt's Persian translation is
    // installed or not (Qt's own texts, such as a file error, stay English);
    // the tests of the translation install it themselves.
    removeQtTranslation(app);
    return QTest::qExec(test, argc, argv);
}

} // namespace velmora
