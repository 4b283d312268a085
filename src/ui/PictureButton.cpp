#include "ui/PictureButton.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace velmora {

PictureKey::PictureKey(QWidget* picture, const QString& name)
    : QAbstractButton(picture->parentWidget()), m_picture(picture) {
    setObjectName(picture->objectName() + QStringLiteral("Key"));
    setAccessibleName(name);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(picture->geometry());
    raise();
    picture->installEventFilter(this);
}

void PictureKey::paintEvent(QPaintEvent*) {
    // Nothing but the focus frame: the picture beneath is the button's face.
    if (!hasFocus())
        return;
    QPainter p(this);
    // A dark line with a light one inside it shows on a light picture and on a
    // dark one alike.
    p.setPen(QPen(QColor(0x10, 0x1c, 0x33), 2));
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    p.setPen(QPen(Qt::white, 1));
    p.drawRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

void PictureKey::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool PictureKey::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_picture && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        setGeometry(m_picture->geometry());
    return QAbstractButton::eventFilter(watched, event);
}

PictureButton::PictureButton(QLabel* resting, QLabel* highlighted, const QString& name,
                             QObject* parent)
    : QObject(parent), m_resting(resting), m_highlighted(highlighted),
      m_key(new PictureKey(resting, name)) {
    m_resting->setMouseTracking(true);
    m_resting->installEventFilter(this);
    m_highlighted->installEventFilter(this);
    connect(m_key, &PictureKey::clicked, this, &PictureButton::clicked);
}

void PictureButton::highlight() {
    m_resting->setVisible(false);
    m_highlighted->setVisible(true);
}

void PictureButton::rest() {
    m_resting->setVisible(true);
    m_highlighted->setVisible(false);
}

bool PictureButton::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == m_resting && (type == QEvent::MouseMove || type == QEvent::Enter)) {
        highlight();
        // The move is taken here, so it does not reach the window's surface as
        // well (which would put the resting picture straight back).
        return type == QEvent::MouseMove;
    }
    if (watched == m_highlighted && type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_highlighted->rect().contains(mouse->position().toPoint()))
            emit clicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace velmora
