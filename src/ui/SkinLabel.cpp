#include "ui/SkinLabel.h"

#include "ui/Twips.h"

#include <QPainter>
#include <QStyle>

namespace velmora {

bool writtenLeftToRight(const QString& caption) {
    return caption.trimmed().startsWith(QLatin1Char(':'));
}

Qt::LayoutDirection captionDirection(const QString& caption) {
    if (writtenLeftToRight(caption))
        return Qt::LeftToRight;
    return caption.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

SkinLabel::SkinLabel(const QString& name, const QString& caption, QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(name);
    setFont(formFont());
    // Absolute: in the right-to-left program a plain AlignRight would mean the left edge.
    setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
}

void SkinLabel::paintEvent(QPaintEvent* event) {
    // The skin's background and border only: the label's own text drawing is
    // passed over on purpose, since the caption is drawn below with its
    // direction.
    QFrame::paintEvent(event); // NOLINT(bugprone-parent-virtual-call)
    QPainter painter(this);
    const Qt::LayoutDirection direction = captionDirection(text());
    painter.setLayoutDirection(direction);
    int flags =
        int(QStyle::visualAlignment(direction, alignment())) |
        (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    style()->drawItemText(&painter,
                          contentsRect().adjusted(margin(), margin(), -margin(), -margin()), flags,
                          palette(), isEnabled(), text(), foregroundRole());
}

} // namespace velmora
