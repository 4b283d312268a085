#include "ui/PictureButton.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

namespace velmora {

PictureButton::PictureButton(QLabel* resting, QLabel* highlighted, QObject* parent)
    : QObject(parent), m_resting(resting), m_highlighted(highlighted) {
    m_resting->setMouseTracking(true);
    m_resting->installEventFilter(this);
    m_highlighted->installEventFilter(this);
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
