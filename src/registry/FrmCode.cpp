#include "registry/FrmCode.h"

FrmCode::FrmCode(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmCode"));
}

void FrmCode::showModal(QWidget* owner) {
    FrmCode window(owner);
    window.exec();
}
