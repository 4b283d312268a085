#include "scoring/ScoringUi.h"

#include "shell/Twips.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

bool writtenLeftToRight(const QString& caption) {
    const QString text = caption.trimmed();
    return text.startsWith(QLatin1Char(':'));
}

Qt::LayoutDirection captionDirection(const QString& caption) {
    if (writtenLeftToRight(caption))
        return Qt::LeftToRight;
    return caption.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

void CaptionLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const Qt::LayoutDirection direction = captionDirection(text());
    painter.setLayoutDirection(direction);
    painter.setFont(font());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const int flags =
        static_cast<int>(alignment()) | Qt::AlignAbsolute |
        (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
    painter.drawText(contentsRect(), flags, text());
}

QLabel* makeCaption(const QString& name, const QString& caption, QWidget* parent, int left, int top,
                    int width, int height, Qt::Alignment alignment) {
    auto* label = new CaptionLabel(caption, parent);
    label->setObjectName(name);
    label->setLayoutDirection(captionDirection(caption));
    label->setFont(fittedFont(formFont(), caption, twips(width)));
    // Absolute: the side is meant as seen, whatever the text's direction.
    label->setAlignment(alignment | Qt::AlignAbsolute | Qt::AlignVCenter);
    place(label, left, top, width, height);
    return label;
}

QFont fittedFont(QFont font, const QString& text, double width, const QPaintDevice* device,
                 double minimum) {
    for (;;) {
        const QFontMetricsF metrics = device ? QFontMetricsF(font, device) : QFontMetricsF(font);
        if (metrics.horizontalAdvance(text) <= width || font.pointSizeF() - 0.5 < minimum)
            return font;
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
}

