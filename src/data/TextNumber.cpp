#include "data/TextNumber.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace velmora {

QString latinDigits(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x0660 && u <= 0x0669)
            c = QChar(u'0' + (u - 0x0660));
        else if (u >= 0x06F0 && u <= 0x06F9)
            c = QChar(u'0' + (u - 0x06F0));
    }
    return text;
}

double leadingNumber(const QString& text) {
    std::string compact;
    compact.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue; // blanks are skipped anywhere inside the number
        if (c.unicode() > 127)
            break;
        compact.push_back(c.toLatin1());
    }
    size_t i = 0;
    const size_t n = compact.size();
    std::string number;
    if (i < n && (compact[i] == '+' || compact[i] == '-'))
        number.push_back(compact[i++]);
    size_t digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(compact[i]))) {
        number.push_back(compact[i++]);
        ++digits;
    }
    if (i < n && compact[i] == '.') {
        number.push_back(compact[i++]);
        while (i < n && std::isdigit(static_cast<unsigned char>(compact[i]))) {
            number.push_back(compact[i++]);
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < n &&
        (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' || compact[i] == 'D')) {
        std::string exponent = "e";
        size_t j = i + 1;
        if (j < n && (compact[j] == '+' || compact[j] == '-'))
            exponent.push_back(compact[j++]);
        const size_t start = j;
        while (j < n && std::isdigit(static_cast<unsigned char>(compact[j])))
            exponent.push_back(compact[j++]);
        if (j > start)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

} // namespace velmora
