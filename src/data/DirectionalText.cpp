#include "data/DirectionalText.h"

#include <QDir>

namespace velmora {

namespace {

constexpr char16_t LeftToRightIsolate = 0x2066;
constexpr char16_t FirstStrongIsolate = 0x2068;
constexpr char16_t PopDirectionalIsolate = 0x2069;

} // namespace

QString isolatedPath(const QString& path) {
    // The closing isolate also ends any embedding or override a crafted file
    // name opens inside it: nothing in the name can reorder the text around it.
    return QChar(LeftToRightIsolate) + QDir::toNativeSeparators(path) +
           QChar(PopDirectionalIsolate);
}

QString isolatedText(const QString& text) {
    return QChar(FirstStrongIsolate) + text + QChar(PopDirectionalIsolate);
}

} // namespace velmora
