// The theme panel of the main window and the change of the program's theme.
#include "settings/ThemePanel.h"

#include "access/Audit.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "ui/FormKit.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace {

struct ThemeButton {
    const char* name;
    QString caption;
};

// Index = theme number. The captions keep their blanks exactly as the
// operators know them (themes 1 and 5 start with one, theme 10 ends with one).
const ThemeButton& themeButton(int number) {
    static const ThemeButton buttons[12] = {
        {"", QString()},
        {"Command45", QStringLiteral(" تم شماره 1")},
        {"Command44", QStringLiteral("تم شماره 2")},
        {"Command43", QStringLiteral("تم شماره 3")},
        {"Command42", QStringLiteral("تم شماره 4")},
        {"Command50", QStringLiteral(" تم شماره 5")},
        {"Command49", QStringLiteral("تم شماره 6")},
        {"Command48", QStringLiteral("تم شماره 7")},
        {"Command47", QStringLiteral("تم شماره 8")},
        {"Command41", QStringLiteral("تم شماره 9")},
        {"Command52", QStringLiteral("تم شماره 10 ")},
        {"Command53", QStringLiteral("تم شماره 11")},
    };
    return buttons[number];
}

} // namespace

ThemePanel::ThemePanel(QWidget* mainWindow) : QGroupBox(mainWindow) {
    setUpFrame(this, QStringLiteral("Frame6"));
    // The panel covers what lies under it (the help picture), as a panel should.
    // One column: theme n at Top 240 + 600 × (n − 1).
    for (int n = 1; n <= 11; ++n) {
        const ThemeButton& b = themeButton(n);
        themeButtons[n] = makeButton(QString::fromLatin1(b.name), b.caption, this, 240,
                                     240 + 600 * (n - 1), 2145, 555);
        connect(themeButtons[n], &QPushButton::clicked, this, [this, n] { emit themeChosen(n); });
    }
    Command46 =
        makeButton(QStringLiteral("Command46"), QStringLiteral("خروج"), this, 720, 6900, 1185, 435);
    connect(Command46, &QPushButton::clicked, this, &ThemePanel::Command46_Click);
}

void ThemePanel::open() {
    showPanel(this, 7575, 3420, 780, 2595);
}

void ThemePanel::Command46_Click() {
    setVisible(false);
}

bool storeThemeChoice(int number, DataControl* theme, QLineEdit* themeBox, QLineEdit* unloadMode) {
    // The coming unload belongs to the theme change: no exit confirmation.
    unloadMode->setText(QStringLiteral("1"));
    bool stored = theme->refresh();
    if (stored) {
        themeBox->setText(QString::number(number));
        QString error;
        stored = Audit::recordAround(
            Action::Settings, QString(), QStringLiteral("تم %1").arg(number),
            [theme] { return theme->save(); }, &error);
        if (!error.isEmpty())
            platform().messageBox(themeBox->window(), errorTitle(), error, QMessageBox::Critical);
    }
    if (!stored) {
        // The data control has told the operator why. Unloading now would
        // show the confirmation in the old look as if the change had been
        // made; the window stays as it was instead.
        theme->refresh();
        unloadMode->setText(QStringLiteral("2"));
        return false;
    }
    theme->refresh();
    return true;
}

} // namespace velmora
