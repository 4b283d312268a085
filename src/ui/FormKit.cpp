#include "ui/FormKit.h"

#include "ui/Twips.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent, int left,
                        int top, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFont(formFont());
    place(button, left, top, width, height);
    return button;
}

QLineEdit* makeTextBox(const QString& name, QWidget* parent, int left, int top, int width,
                       int height, Qt::Alignment alignment) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFont(formFont());
    // Left and right are meant as seen on the screen, not mirrored by the
    // right-to-left layout.
    if (alignment & (Qt::AlignLeft | Qt::AlignRight))
        alignment |= Qt::AlignAbsolute;
    box->setAlignment(alignment | Qt::AlignVCenter);
    place(box, left, top, width, height);
    return box;
}

QLineEdit* makeHiddenBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setVisible(false);
    return box;
}

void setUpFrame(QGroupBox* frame, const QString& name) {
    frame->setObjectName(name);
    frame->setFont(formFont());
    // A panel covers what lies under it (the help picture, other panels).
    frame->setAutoFillBackground(true);
}

QGroupBox* makeFrame(const QString& name, QWidget* parent) {
    auto* frame = new QGroupBox(parent);
    setUpFrame(frame, name);
    return frame;
}

void showPanel(QGroupBox* panel, int height, int left, int top, int width) {
    panel->setVisible(true);
    place(panel, left, top, width, height);
    panel->raise();
}

void showPathLeftToRight(QLineEdit* box) {
    box->setLayoutDirection(Qt::LeftToRight);
    box->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
}

} // namespace velmora
