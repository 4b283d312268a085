#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace velmora {

class DataControl;

// A widget that shows a field of a data control's current record: it follows
// the control as the record changes (read, moved, filtered, a new record, a
// value set by the program), and text typed into a line edit becomes the
// field's pending value. Binding a widget again moves it to another field.
void bind(DataControl* control, QLineEdit* edit, const QString& field);
void bind(DataControl* control, QLabel* label, const QString& field);
void unbind(DataControl* control, QWidget* widget);

} // namespace velmora
