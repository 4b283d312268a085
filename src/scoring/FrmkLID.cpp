#include "scoring/FrmkLID.h"

#include "shell/Frm1.h"

#include <QTimer>

FrmkLID::FrmkLID(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FrmkLID"));
}

FrmkLID* FrmkLID::showWindow() {
    QTimer::singleShot(0, [] {
        if (Frm1* main = Frm1::instance())
            main->show();
    });
    return nullptr;
}
