#pragma once

#include <QString>

class QWidget;

namespace velmora {

// Asks for a subject code, restricts the test window to that subject's answer
// sheet and registration row, and runs the test modally over owner.
void launchTest(QWidget* owner);

// What the launch asks when the subject's sheet is complete and kept in the
// history: a new administration, or the same sheet again.
QString newAdministrationQuestion();

} // namespace velmora
