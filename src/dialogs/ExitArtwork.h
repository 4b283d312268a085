#pragma once

#include <QCursor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace velmora {

// The pictures of the exit confirmation, drawn by the program itself: the
// window's background, its two image buttons in a normal and a highlighted
// look, and the pointer shown over them.
namespace ExitArtwork {

enum class Button {
    Confirm,
    Cancel,
};

// The word written on a button, which also names it to a screen reader.
QString caption(Button which);
QPixmap background(const QSize& size);
QPixmap button(Button which, bool highlighted, const QSize& size);
QCursor pointer();

} // namespace ExitArtwork

} // namespace velmora
