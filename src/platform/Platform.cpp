#include "platform/Platform.h"

#include "platform/QtPlatform.h"

namespace velmora {

Platform::~Platform() = default;

QString applicationTitle() {
    return QStringLiteral("Velmora");
}

QString noticeTitle() {
    return QStringLiteral("پيام");
}

QString errorTitle() {
    return QStringLiteral("خطا");
}

namespace {
Platform* installed = nullptr;
}

Platform& platform() {
    static QtPlatform real;
    return installed ? *installed : real;
}

void setPlatform(Platform* p) {
    installed = p;
}

} // namespace velmora
