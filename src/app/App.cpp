#include "app/App.h"

#include "app/Frm1.h"
#include "app/QtTranslation.h"
#include "data/Database.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/MainWindow.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <memory>

namespace velmora {

namespace {
std::unique_ptr<QLockFile> s_lock;
}

QString instanceLockPath() {
    return QDir::current().absoluteFilePath(".velmora.lock");
}

bool acquireSingleInstance() {
    if (s_lock)
        return true;
    auto lock = std::make_unique<QLockFile>(instanceLockPath());
    // A lock whose process is gone (a crashed run) is stale and taken over.
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return false;
        // A folder the program cannot write to must not stop the clinic's work.
        return true;
    }
    s_lock = std::move(lock);
    return true;
}

void releaseSingleInstance() {
    s_lock.reset();
}

bool startVelmora() {
    if (!acquireSingleInstance()) {
        platform().messageBox(nullptr, QStringLiteral("Warnnig"),
                              QStringLiteral("برنامه در حال اجراست"), QMessageBox::Information,
                              QMessageBox::Ok);
        return false;
    }
    QString error;
    if (!Database::openAll(&error)) {
        platform().messageBox(nullptr, QStringLiteral("خطا"), error, QMessageBox::Critical,
                              QMessageBox::Ok);
        return false;
    }
    Frm1::showMain();
    return true;
}

void prepareApplication(QApplication& app) {
    setMainWindowLink({[]() -> QWidget* { return Frm1::showMain(); },
                       []() -> QWidget* { return Frm1::instance(); }});
    QApplication::setLayoutDirection(Qt::RightToLeft);
    app.setFont(formFont(12, false));
    installQtTranslation(app);
    presentWindowsAsWindows();
}

int runVelmora(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    // Every path (databases, skins, backups) is relative to the program folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    prepareApplication(app);
    if (!startVelmora())
        return 0;
    const int result = QApplication::exec();
    Database::closeAll();
    releaseSingleInstance();
    return result;
}

} // namespace velmora
