#include "settings/SettingsPanel.h"

#include "ui/FormKit.h"

#include <QPushButton>

namespace velmora {

SettingsPanel::SettingsPanel(QWidget* mainWindow) : QGroupBox(mainWindow) {
    setUpFrame(this, QStringLiteral("Frame8"));
    Command68 = makeButton(QStringLiteral("Command68"), QStringLiteral("تغيير تم برنامه"), this,
                           120, 240, 1905, 555);
    Command67 = makeButton(QStringLiteral("Command67"), QStringLiteral(" تعريف نام کلينيک"), this,
                           120, 840, 1905, 555);
    Command69 =
        makeButton(QStringLiteral("Command69"), QStringLiteral("خروج"), this, 480, 1500, 1185, 435);
    Command66 =
        makeButton(QStringLiteral("Command66"), QStringLiteral(" "), this, 120, 2160, 1905, 555);
    Command65 =
        makeButton(QStringLiteral("Command65"), QStringLiteral(" "), this, 120, 2760, 1905, 555);
    // Below the panel's shown height, never seen and doing nothing: the
    // keyboard passes them by.
    Command66->setFocusPolicy(Qt::NoFocus);
    Command65->setFocusPolicy(Qt::NoFocus);
}

void SettingsPanel::open() {
    showPanel(this, 2055, 6060, 3780, 2175);
}

} // namespace velmora
