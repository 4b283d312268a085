#pragma once

#include "data/Database.h"

#include <QString>

namespace velmora {

// The text of item number (1..ItemCount) as the subject reads it; the empty
// text for any other number.
QString itemText(int number);

} // namespace velmora
