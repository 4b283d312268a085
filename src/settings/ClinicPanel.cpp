// The clinic panel of the main window: the clinic's name and address.
#include "settings/ClinicPanel.h"

#include "access/Audit.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/SkinLabel.h"
#include "ui/Twips.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

ClinicPanel::ClinicPanel(QWidget* mainWindow, DataControl* theme, QLabel* titleLine)
    : QGroupBox(mainWindow), m_theme(theme) {
    setUpFrame(this, QStringLiteral("Frame9"));
    QGroupBox* const Frame9 = this;
    // The captions stand right of their boxes and inside the frame, clear of
    // its border, with room to spare for a wider font: the boxes give up 210
    // twips for them (the name caption would otherwise reach past the frame
    // and lose its first letters).
    SkinLabel4 = new SkinLabel(QStringLiteral("SkinLabel4"), QStringLiteral(" :نام"), Frame9);
    place(SkinLabel4, 5310, 420, 675, 375);
    Text2 = makeTextBox(QStringLiteral("Text2"), Frame9, 120, 300, 5145, 615, Qt::AlignHCenter);
    SkinLabel5 = new SkinLabel(QStringLiteral("SkinLabel5"), QStringLiteral(" :آدرس"), Frame9);
    place(SkinLabel5, 5310, 1140, 675, 375);
    Text14 = makeTextBox(QStringLiteral("Text14"), Frame9, 120, 1020, 5145, 615, Qt::AlignHCenter);
    nameByCaption(Text2, SkinLabel4);
    nameByCaption(Text14, SkinLabel5);
    Command64 = makeButton(QStringLiteral("Command64"), QStringLiteral("ذخيره "), Frame9, 3180,
                           1680, 855, 495);
    Command7 = makeButton(QStringLiteral("Command7"), QStringLiteral("انصراف"), Frame9, 2100, 1680,
                          855, 495);

    // The title line follows the name box whoever changes it: the operator's
    // typing, or the data control filling it at load and on every refresh.
    // Connected before binding so that the stored name fills the title too.
    connect(Text2, &QLineEdit::textChanged, titleLine, &QLabel::setText);
    bind(m_theme, Text2, QStringLiteral("Name"));
    bind(m_theme, Text14, QStringLiteral("Adress"));
    titleLine->setText(Text2->text());

    connect(Command64, &QPushButton::clicked, this, &ClinicPanel::Command64_Click);
    connect(Command7, &QPushButton::clicked, this, &ClinicPanel::Command7_Click);
}

void ClinicPanel::open() {
    showPanel(this, 2295, 1620, 840, 6075);
}

void ClinicPanel::Command64_Click() {
    // Nothing is checked: an empty name or address is stored as it is.
    QString error;
    DataControl* const theme = m_theme;
    if (!Audit::recordAround(
            Action::Settings, QString(), QStringLiteral("نام و نشاني کلينيک"),
            [theme] { return theme->save(); }, &error)) {
        if (!error.isEmpty())
            platform().messageBox(window(), errorTitle(), error, QMessageBox::Critical);
        // The data control has told the operator why; the panel stays open
        // with what was typed, so nothing is lost by a refresh.
        return;
    }
    m_theme->refresh();
    m_theme->refresh();
    setVisible(false);
}

void ClinicPanel::Command7_Click() {
    // Only closes the panel: the typed texts stay in the boxes (and the name in
    // the title) until the next refresh or load shows the stored values.
    setVisible(false);
}

} // namespace velmora
