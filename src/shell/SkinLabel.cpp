#include "shell/SkinLabel.h"

#include "shell/Twips.h"

#include <QPainter>
#include <QStyle>

SkinLabel::SkinLabel(const QString& name, const QString& caption, QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(name);
    setFont(formFont());
    // Absolute: in the right-to-left program a plain AlignRight would mean the left edge.
    setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
}

void SkinLabel::paintEvent(QPaintEvent* event) {
    if (!text().startsWith(QLatin1String(" :"))) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event); // the skin's background and border
    QPainter painter(this);
    int flags =
        int(QStyle::visualAlignment(Qt::LeftToRight, alignment())) | Qt::TextForceLeftToRight;
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    style()->drawItemText(&painter,
                          contentsRect().adjusted(margin(), margin(), -margin(), -margin()), flags,
                          palette(), isEnabled(), text(), foregroundRole());
}
