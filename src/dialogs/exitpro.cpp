#include "dialogs/exitpro.h"

exitpro::exitpro(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("exitpro"));
}

exitpro* exitpro::showWindow() {
    return nullptr;
}
