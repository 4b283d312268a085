#include "shell/Platform.h"

#include "shell/QtPlatform.h"

Platform::~Platform() = default;

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
