#pragma once

#include "shell/App.h"

#include <QFont>
#include <QLabel>
#include <QString>
#include <Qt>

class QPaintDevice;
class QWidget;

// Captions such as " :نام" were written in the order they are seen: the colon
// stands at the left of the word, next to the field the caption names. Such a
// caption is laid out left to right so it reads as written.
bool writtenLeftToRight(const QString& caption);
// The direction a text is laid out in: a caption written as seen runs left to
// right; any other text runs in the direction of its first letter (Persian
// right to left, a Latin address or name left to right).
Qt::LayoutDirection captionDirection(const QString& caption);

// A label that lays its text out in captionDirection(text) (a plain QLabel
// takes the direction from the first letter, which puts the colon of
// " :نام" on the wrong side).
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A caption label in the form font, named and placed in twips. Its text hugs
// the side given by alignment (Qt::AlignLeft: towards a field on its left).
QLabel* makeCaption(const QString& name, const QString& caption, QWidget* parent, int left, int top,
                    int width, int height, Qt::Alignment alignment = Qt::AlignLeft);

// The font, made smaller in steps of half a point (down to minimum points)
// until text fits into width device pixels of device (the screen when null).
QFont fittedFont(QFont font, const QString& text, double width,
                 const QPaintDevice* device = nullptr, double minimum = 6.0);
