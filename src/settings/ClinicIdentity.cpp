// The clinic panel of the main window.
#include "shell/Frm1.h"

#include <QGroupBox>

void Frm1::buildClinicPanel() {
    Frame9 = makeFrame(QStringLiteral("Frame9"), this);
}

void Frm1::Command67_Click() {
    HidePanels();
}

void Frm1::Command64_Click() {
    Frame9->setVisible(false);
}

void Frm1::Command7_Click() {
    Frame9->setVisible(false);
}
