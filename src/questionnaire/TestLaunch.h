#pragma once

class QWidget;

namespace velmora {

// Asks for a subject code, restricts the test window to that subject's answer
// sheet and registration row, and runs the test modally over owner.
void launchTest(QWidget* owner);

} // namespace velmora
