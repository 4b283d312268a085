#include "ui/Captions.h"

#include "ui/Twips.h"

#include <QFontMetricsF>
#include <QPaintDevice>

namespace velmora {

QLabel* makeCaption(const QString& name, const QString& caption, QWidget* parent, int left, int top,
                    int width, int height, Qt::Alignment alignment) {
    auto* label = new SkinLabel(name, caption, parent);
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

} // namespace velmora
