// The registration panel of the main window.
#include "shell/Frm1.h"

#include <QGroupBox>

void Frm1::buildRegistrationPanel() {
    Frame10 = makeFrame(QStringLiteral("Frame10"), this);
}

void Frm1::Command1_Click() {
    HidePanels();
}

void Frm1::Command8_Click() {}

void Frm1::Command10_Click() {
    HidePanels();
}
