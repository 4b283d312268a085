#pragma once

#include <QLabel>
#include <QString>

namespace velmora {

// Captions such as " :نام" are written in the order they are seen: the colon
// stands at the left of the word, next to the field the caption names. Such a
// caption is laid out left to right so it reads as written.
bool writtenLeftToRight(const QString& caption);
// The direction a text is laid out in: a caption written as seen runs left to
// right; any other text runs in the direction of its first letter (Persian
// right to left, a Latin address or name left to right).
Qt::LayoutDirection captionDirection(const QString& caption);

// A label drawn by the current skin (style sheets select it by this class). Its
// text is laid out in captionDirection(text).
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(const QString& name, const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace velmora
