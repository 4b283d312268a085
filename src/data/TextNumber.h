#pragma once

#include <QString>

namespace velmora {

// The text with its Arabic-Indic (U+0660..U+0669) and Persian (U+06F0..U+06F9)
// digits written as the digits 0 to 9, which a Persian keyboard's number row
// types in their place. Everything else is left as it is.
QString latinDigits(QString text);

// Reads a number the way a leading decimal number is read from a text: blanks
// are skipped, then an optional sign, digits, a decimal point and an exponent
// are taken as far as they go. Anything else ends the number; a text without a
// leading number reads as 0. ("3" → 3, "3.5" → 3.5, "12abc" → 12, "abc" → 0)
double leadingNumber(const QString& text);

} // namespace velmora
