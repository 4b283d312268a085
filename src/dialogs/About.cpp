#include "dialogs/About.h"

About::About(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("About"));
}

void About::showModal(QWidget* owner) {
    About window(owner);
    window.exec();
}
