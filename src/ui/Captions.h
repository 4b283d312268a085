#pragma once

#include "platform/Platform.h"
#include "ui/SkinLabel.h"

#include <QFont>
#include <QLabel>
#include <QString>
#include <Qt>

class QPaintDevice;
class QWidget;

namespace velmora {

// A caption label in the form font, named and placed in twips. Its text hugs
// the side given by alignment (Qt::AlignLeft: towards a field on its left).
QLabel* makeCaption(const QString& name, const QString& caption, QWidget* parent, int left, int top,
                    int width, int height, Qt::Alignment alignment = Qt::AlignLeft);

// The font, made smaller in steps of half a point (down to minimum points)
// until text fits into width device pixels of device (the screen when null).
QFont fittedFont(QFont font, const QString& text, double width,
                 const QPaintDevice* device = nullptr, double minimum = 6.0);

} // namespace velmora
