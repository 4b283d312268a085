#pragma once

#include <QString>
#include <Qt>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace velmora {

// Makes a button with the form font, named and placed in twips.
QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent, int left,
                        int top, int width, int height);
// Makes a text box with the form font, named and placed in twips.
QLineEdit* makeTextBox(const QString& name, QWidget* parent, int left, int top, int width,
                       int height, Qt::Alignment alignment = Qt::AlignRight);
// A hidden text box that only carries a bound field.
QLineEdit* makeHiddenBox(const QString& name, QWidget* parent);
// A frame (panel) without a caption.
QGroupBox* makeFrame(const QString& name, QWidget* parent);
// Gives a frame made elsewhere (a panel class) the look of makeFrame.
void setUpFrame(QGroupBox* frame, const QString& name);
// A box that holds a path shows it left to right, from its left edge, in a
// right-to-left window (the text itself: data/DirectionalText).
void showPathLeftToRight(QLineEdit* box);
// Shows a panel at its place (in twips) above its siblings.
void showPanel(QGroupBox* panel, int height, int left, int top, int width);

} // namespace velmora
