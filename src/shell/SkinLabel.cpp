#include "shell/SkinLabel.h"

#include "shell/Twips.h"

SkinLabel::SkinLabel(const QString& name, const QString& caption, QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(name);
    setFont(formFont());
    // Absolute: in the right-to-left program a plain AlignRight would mean the left edge.
    setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
}
