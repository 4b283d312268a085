#pragma once

#include <QLabel>

// A label drawn by the current skin (style sheets select it by this class).
//
// Field captions are written " :Name", the colon first, for a left-to-right
// reading in which the colon stands on the field's side of the word. Such
// captions are drawn left to right; any other text keeps the right-to-left
// reading of the program.
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(const QString& name, const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
