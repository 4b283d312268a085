#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace velmora {

// The name a caption gives its field: the caption's text without the blanks
// and the colon that stand between them on the screen (" :کد" names "کد").
QString nameFromCaption(const QString& caption);

// Names field after the caption beside it, for a screen reader, and makes
// the caption the field's label. An editable list's text part takes the name
// too. Nothing on the screen changes.
void nameByCaption(QWidget* field, QLabel* caption);

// Names a field that has no caption of its own.
void nameField(QWidget* field, const QString& name);

// Makes the program's own windows that are not dialogs (the main window, the
// scoring, backup, exit and theme windows) windows to a screen reader, which
// announces a window by its title when it comes up. Qt would present them
// as mere fillers. Call once at start-up.
void presentWindowsAsWindows();

} // namespace velmora
