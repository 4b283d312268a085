#pragma once

#include <QString>

class QWidget;

namespace velmora {

class DataControl;

// A window's data control whose failures are shown to the operator in a
// message box over owner; it reads its table at once.
DataControl* makeDataControl(const QString& table, QWidget* owner, const QString& name);

// Shows every failure the control reports in a message box over owner.
void reportFailures(DataControl* control, QWidget* owner);

} // namespace velmora
