// The test launch of the main window.
#include "data/DataControl.h"
#include "shell/Frm1.h"

void Frm1::Command2_Click() {
    if (Adodc3->isEmpty())
        return;
    HidePanels();
}
