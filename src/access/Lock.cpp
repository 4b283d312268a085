#include "access/Lock.h"

#include "access/Audit.h"
#include "access/Session.h"
#include "access/SignInWindow.h"
#include "platform/Platform.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace velmora {

namespace Lock {

namespace {

// How often the idle time is looked at: a lock comes at most this late.
constexpr int CheckEveryMs = 1000;

// Covers one window while the program is locked, so nothing of what it
// shows can be read behind the sign-in.
class Cover : public QWidget {
public:
    explicit Cover(QWidget* window) : QWidget(window) {
        setObjectName(QStringLiteral("LockCover"));
        setAutoFillBackground(true);
        setAccessibleName(QStringLiteral("برنامه قفل است"));
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(QStringLiteral("برنامه قفل است"), this);
        text->setFont(formFont(16));
        text->setAlignment(Qt::AlignCenter);
        layout->addWidget(text);
        setGeometry(window->rect());
        window->installEventFilter(this);
        raise();
        show();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return false;
    }
};

class Watcher : public QObject {
public:
    Watcher() {
        m_sinceInput.start();
        m_check.setInterval(CheckEveryMs);
        connect(&m_check, &QTimer::timeout, this, [this] {
            if (idleMs > 0 && !locked && Session::inForce() && m_sinceInput.elapsed() >= idleMs)
                QTimer::singleShot(0, [] { lockNow(); });
        });
        m_check.start();
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            m_sinceInput.restart();
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_L && (key->modifiers() & Qt::ControlModifier) &&
                !(key->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) && Session::inForce() &&
                !locked) {
                // After the key has been delivered nowhere: the lock runs
                // its own window, which must not start inside a key event.
                QTimer::singleShot(0, [] { lockNow(); });
                return true;
            }
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            m_sinceInput.restart();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

    void inputNow() { m_sinceInput.restart(); }

    int idleMs = 0;
    bool locked = false;
    std::function<void()> reset;

private:
    QElapsedTimer m_sinceInput;
    QTimer m_check;
};

Watcher* s_watcher = nullptr;

Watcher& watcher() {
    if (!s_watcher)
        s_watcher = new Watcher;
    return *s_watcher;
}

} // namespace

void install(int idleMinutes) {
    setIdle(idleMinutes > 0 ? idleMinutes * 60 * 1000 : 0);
}

void setIdle(int milliseconds) {
    watcher().idleMs = milliseconds;
    watcher().inputNow();
}

int idleMilliseconds() {
    return s_watcher ? s_watcher->idleMs : 0;
}

bool lockNow() {
    Watcher& w = watcher();
    if (w.locked || !Session::inForce())
        return false;
    w.locked = true;
    const Role before = Session::role();
    // Locking is never refused: an entry that cannot be written does not
    // keep the program open.
    Audit::record(Action::Lock, QString(), Outcome::Done, QString());
    Session::signOut();
    QList<QPointer<Cover>> covers;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && !qobject_cast<SignInWindow*>(window))
            covers.append(new Cover(window));
    const bool signedIn = SignInWindow::signIn(SignInWindow::Purpose::Unlock, nullptr);
    if (!signedIn) {
        // Left without a sign-in: the program ends, still covered.
        platform().endProgram();
        return true;
    }
    for (const QPointer<Cover>& cover : std::as_const(covers))
        delete cover.data();
    w.locked = false;
    w.inputNow();
    if (static_cast<int>(Session::role()) < static_cast<int>(before) && w.reset)
        w.reset();
    return true;
}

bool isLocked() {
    return s_watcher && s_watcher->locked;
}

void reset() {
    if (!s_watcher)
        return;
    s_watcher->locked = false;
    s_watcher->idleMs = 0;
    s_watcher->reset = nullptr;
}

void setLowerRoleReset(std::function<void()> reset) {
    watcher().reset = std::move(reset);
}

} // namespace Lock

} // namespace velmora
