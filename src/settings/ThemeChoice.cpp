// The theme panel of the main window.
#include "shell/Frm1.h"

#include <QGroupBox>

void Frm1::buildThemePanel() {
    Frame6 = makeFrame(QStringLiteral("Frame6"), this);
}

void Frm1::Command68_Click() {
    HidePanels();
}

void Frm1::Command46_Click() {
    Frame6->setVisible(false);
}

void Frm1::changeTheme(int) {}
