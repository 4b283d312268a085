#pragma once

#include "data/Database.h"

#include <QString>

namespace velmora {

// The text of item number (1..ItemCount) as the subject reads it; the empty
// text for any other number.
QString itemText(int number);

// The answers a subject chooses from, by the value stored for them: 5 for the
// strongest agreement down to 1 for the strongest disagreement. The empty
// text for any other value.
constexpr int LowestAnswer = 1;
constexpr int HighestAnswer = 5;
QString answerText(int value);

} // namespace velmora
