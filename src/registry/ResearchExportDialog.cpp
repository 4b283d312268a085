#include "registry/ResearchExportDialog.h"

#include "access/Access.h"

#include "platform/Platform.h"
#include "registry/ExportProgressWindow.h"
#include "registry/ResearchAccess.h"
#include "registry/ResearchExport.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include <algorithm>
#include <climits>

namespace velmora {

namespace {

QGroupBox* makeChoice(const char* name, const QString& title, QWidget* parent, int top,
                      const char* firstName, const QString& first, const char* secondName,
                      const QString& second, QRadioButton** firstButton,
                      QRadioButton** secondButton) {
    QGroupBox* frame = makeFrame(QString::fromLatin1(name), parent);
    frame->setTitle(title);
    frame->setFont(formFont());
    place(frame, 240, top, 5520, 1095);
    const auto option = [frame](const char* objectName, const QString& caption, int left) {
        auto* button = new QRadioButton(caption, frame);
        button->setObjectName(QString::fromLatin1(objectName));
        button->setFont(formFont(11, false));
        place(button, left, 420, 2640, 435);
        return button;
    };
    // Right to left: the first choice on the right.
    *firstButton = option(firstName, first, 2760);
    *secondButton = option(secondName, second, 120);
    (*firstButton)->setChecked(true);
    frame->show();
    return frame;
}

} // namespace

ResearchExportDialog::ResearchExportDialog(const SubjectFilter& filter, const QString& themeNumber,
                                           QWidget* parent)
    : QDialog(parent), m_filter(filter) {
    setObjectName(QStringLiteral("ResearchExportDialog"));
    setWindowTitle(QStringLiteral("خروجي پژوهشي"));
    setClientSize(this, 6000, 6300);
    setFont(formFont());
    Skin1 = new SkinEngine(this);

    FrameFormat = makeChoice("FrameFormat", QStringLiteral("قالب فايل"), this, 120, "OptionSpss",
                             QStringLiteral("SPSS (.sav)"), "OptionStata",
                             QStringLiteral("Stata (.dta)"), &OptionSpss, &OptionStata);
    FramePrivacy = makeChoice("FramePrivacy", QStringLiteral("نام آزمودني ها"), this, 1320,
                              "OptionPseudonymised", QStringLiteral("بي نام، با کد مستعار"),
                              "OptionIdentified", QStringLiteral("با نام، کد و تاريخ واقعي"),
                              &OptionPseudonymised, &OptionIdentified);
    FrameRows = makeChoice("FrameRows", QStringLiteral("سطرها"), this, 2520, "OptionPerSubject",
                           QStringLiteral("هر آزمودني يک سطر"), "OptionPerAdministration",
                           QStringLiteral("هر اجراي تست يک سطر"), &OptionPerSubject,
                           &OptionPerAdministration);
    FrameDates =
        makeChoice("FrameDates", QStringLiteral("تاريخ ها در فايل بي نام"), this, 3720,
                   "OptionShiftDates", QStringLiteral("جابجا براي هر آزمودني"), "OptionYearOnly",
                   QStringLiteral("فقط سال"), &OptionShiftDates, &OptionYearOnly);

    ageBandsCheck = new QCheckBox(QStringLiteral("سن در گروه هاي پنج ساله"), this);
    ageBandsCheck->setObjectName(QStringLiteral("ageBandsCheck"));
    ageBandsCheck->setFont(formFont(11, false));
    place(ageBandsCheck, 2400, 4920, 3360, 435);

    saveButton = makeButton(QStringLiteral("saveButton"), QStringLiteral("ذخيره"), this, 3000, 5520,
                            1275, 555);
    cancelButton = makeButton(QStringLiteral("cancelButton"), QStringLiteral("انصراف"), this, 1560,
                              5520, 1275, 555);
    saveButton->setDefault(true);
    cancelButton->setAutoDefault(false);

    connect(OptionPseudonymised, &QRadioButton::toggled, this,
            &ResearchExportDialog::Privacy_Change);
    connect(saveButton, &QPushButton::clicked, this, &ResearchExportDialog::saveClick);
    connect(cancelButton, &QPushButton::clicked, this, &ResearchExportDialog::cancelClick);

    ApplyTheme(this, themeNumber, Skin1);
    Privacy_Change();
}

void ResearchExportDialog::Privacy_Change() {
    FrameDates->setEnabled(OptionPseudonymised->isChecked());
}

void ResearchExportDialog::cancelClick() {
    reject();
}

void ResearchExportDialog::saveClick() {
    ResearchOptions options;
    options.format = OptionStata->isChecked() ? ResearchFormat::Stata : ResearchFormat::Spss;
    options.identified = OptionIdentified->isChecked();
    options.perAdministration = OptionPerAdministration->isChecked();
    options.dates = OptionYearOnly->isChecked() ? ResearchDates::Year : ResearchDates::Shifted;
    options.ageBands = ageBandsCheck->isChecked();
    options.filter = m_filter;
    if (!Access::permit(researchAction(options), this))
        return;
    const ResearchFormat chosen = options.format;
    QString path =
        platform().saveFileName(this, QStringLiteral("ذخيره فايل پژوهشي"),
                                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                chosen == ResearchFormat::Spss ? QStringLiteral("SPSS (*.sav)")
                                                               : QStringLiteral("Stata (*.dta)"),
                                defaultResearchName(QDate::currentDate(), chosen));
    if (path.isEmpty())
        return;
    // The ending the operator typed decides, as on the command line; a name
    // without one gets the chosen format's.
    if (!researchFormatOf(path))
        path += chosen == ResearchFormat::Spss ? QStringLiteral(".sav") : QStringLiteral(".dta");
    if (QFileInfo::exists(path) &&
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("پرونده %1 وجود دارد. فايل به جاي آن ذخيره شود؟")
                                  .arg(QDir::toNativeSeparators(path)),
                              QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;

    options.format = *researchFormatOf(path);

    ExportProgressWindow progress(QStringLiteral("ذخيره فايل پژوهشي ..."),
                                  QStringLiteral("ResearchExportProgress"), this);
    const ExportProgress step = progress.step();
    ResearchSummary summary;
    QString error;
    const ExportResult result = exportResearch(path, options, step, &summary, &error);
    progress.close();
    if (result == ExportResult::Written) {
        ShowNotice(this, researchDoneMessage(summary),
                   summary.cutTexts > 0 ? LongNoticeInterval : NoticeInterval);
        accept();
    } else if (result == ExportResult::Failed) {
        platform().messageBox(this, errorTitle(), researchFailureMessage(path, error),
                              QMessageBox::Critical);
    }
}

} // namespace velmora
