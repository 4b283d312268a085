#pragma once

#include <QString>

// The questionnaire's fourteen items, numbered from 1.
constexpr int ItemCount = 14;

// The text of item number (1..ItemCount) as the subject reads it; the empty
// text for any other number.
QString itemText(int number);
