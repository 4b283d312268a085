#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace velmora {

// Window layouts are written in twips (1/1440 inch) so that every position reads
// like the form design; at 96 dpi one pixel is 15 twips.
constexpr int TwipsPerPixel = 15;

constexpr int twips(int value) {
    return (value >= 0 ? value + TwipsPerPixel / 2 : value - TwipsPerPixel / 2) / TwipsPerPixel;
}

// Left, Top, Width, Height in twips, relative to the control's container.
void place(QWidget* control, int left, int top, int width, int height);

// A top-level window's position on the screen, in twips.
void placeWindow(QWidget* window, int left, int top);

// A top-level window's client area, in twips.
void setClientSize(QWidget* window, int width, int height);

// The form font: "B Nazanin" where the clinic has it installed, else the
// Persian fonts Debian ships.
QFont formFont(double pointSize = 12, bool bold = true);

} // namespace velmora
