#pragma once

#include <QString>

class QLineEdit;
class QWidget;

namespace velmora {

// The notice for a key that is not a digit.
QString digitsOnlyNotice();

// A box that takes only digits: Backspace, Enter and the digits pass (Persian and
// Arabic-Indic digits too, which the box turns into 0 to 9); any other
// typed key is dropped with a beep and a notice over owner. Pasted text cannot
// bring in anything but digits either. At most maxLength characters.
void makeDigitsOnly(QLineEdit* box, QWidget* owner, int maxLength);

} // namespace velmora
