#pragma once

#include <QString>

namespace velmora {

// Reads a number the way a leading decimal number is read from a text: blanks
// are skipped, then an optional sign, digits, a decimal point and an exponent
// are taken as far as they go. Anything else ends the number; a text without a
// leading number reads as 0. ("3" → 3, "3.5" → 3.5, "12abc" → 12, "abc" → 0)
double leadingNumber(const QString& text);

} // namespace velmora
