#include "shell/SkinLabel.h"

#include "shell/Twips.h"

SkinLabel::SkinLabel(const QString& name, const QString& caption, QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(name);
    setFont(formFont());
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
}
