#pragma once

#include <QLabel>

// A label drawn by the current skin (style sheets select it by this class).
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(const QString& name, const QString& caption, QWidget* parent);
};
